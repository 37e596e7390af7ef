// The command line: the splitter and the switch parser. Input: one byte of
// options (bit 0: the rest is a list of arguments separated by 0x01, else a
// raw command line). Arguments quoted as the C runtime expects and joined
// must split back into themselves; the parser must read each argument on
// its own, and take a switch only where its name is written in full.
#include <cstdint>
#include <string>
#include <vector>

#include "app/switches.h"
#include "fuzz_support.h"

namespace {

using namespace vk;

// The quoting that the runtime's splitting undoes: backslashes count only
// before a quote, so they are doubled there and before the closing quote.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        for (; i < argument.size() && argument[i] == '\\'; ++i) ++backslashes;
        if (i == argument.size()) {
            quoted.append(backslashes * 2, '\\');
            break;
        }
        quoted.append(argument[i] == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += argument[i];
    }
    return quoted + "\"";
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return text;
}

int Flags(const RunOptions& options) {
    return options.list + 2 * options.quiet + 4 * options.help + 8 * options.log + 16 * options.report +
           32 * options.check + 64 * options.backup + 128 * options.restore + 256 * options.restorePoint;
}

void CheckOneArgument(const std::string& argument) {
    const RunOptions alone = ParseSwitches({argument});
    const int flags = Flags(alone);
    // At most one switch per argument.
    FUZZ_CHECK((flags & (flags - 1)) == 0);
    const std::size_t colon = argument.find(':');
    if (flags != 0) {
        FUZZ_CHECK(argument[0] == '/' || argument[0] == '-');
        const std::string name = Lower(argument.substr(1, colon == std::string::npos ? colon : colon - 1));
        bool known = false;
        for (std::size_t i = 0; i < kSwitchCount; ++i) {
            known = known ||
                    (name == kSwitches[i].name &&
                     (kSwitches[i].valueOptional || kSwitches[i].takesValue == (colon != std::string::npos)));
        }
        FUZZ_CHECK(known);
        FUZZ_CHECK(alone.log == (name == "log"));
    }
    const std::string value = colon == std::string::npos ? std::string() : argument.substr(colon + 1);
    FUZZ_CHECK(alone.logPath == (alone.log ? value : std::string()) &&
               alone.logNamed == (alone.log && colon != std::string::npos));
    FUZZ_CHECK(alone.reportPath == (alone.report ? value : std::string()));
    FUZZ_CHECK(alone.backupFolder == (alone.backup ? value : std::string()));
    FUZZ_CHECK(alone.restoreFolder == (alone.restore ? value : std::string()));
    // The name's case does not matter; the value's is kept.
    std::string flipped = argument;
    for (std::size_t i = 0; i < flipped.size() && i < colon; ++i) {
        const char c = flipped[i];
        if (c >= 'a' && c <= 'z') flipped[i] = static_cast<char>(c - 32);
        if (c >= 'A' && c <= 'Z') flipped[i] = static_cast<char>(c + 32);
    }
    const RunOptions other = ParseSwitches({flipped});
    FUZZ_CHECK(Flags(other) == flags && other.logPath == alone.logPath &&
               other.reportPath == alone.reportPath && other.backupFolder == alone.backupFolder &&
               other.restoreFolder == alone.restoreFolder);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    // Command lines and arguments are zero-terminated texts.
    const std::string rest = std::string(reinterpret_cast<const char*>(bytes + 1), size - 1).c_str();
    std::vector<std::string> arguments = (bytes[0] & 1) ? fuzz::Fields(rest) : SplitCommandLine(rest.c_str());

    std::string line;
    for (const std::string& argument : arguments) line += (line.empty() ? "" : " ") + Quoted(argument);
    FUZZ_CHECK(SplitCommandLine(line.c_str()) == arguments);
    if (!(bytes[0] & 1) && rest.find_first_of("\"\\") == std::string::npos) {
        // Without quotes or backslashes, blanks alone separate.
        std::vector<std::string> words;
        std::size_t start = rest.find_first_not_of(" \t");
        while (start != std::string::npos) {
            const std::size_t end = rest.find_first_of(" \t", start);
            words.push_back(rest.substr(start, end == std::string::npos ? end : end - start));
            start = end == std::string::npos ? end : rest.find_first_not_of(" \t", end);
        }
        FUZZ_CHECK(arguments == words);
    }

    // The whole line reads as its arguments one by one: each switch counts
    // wherever it stands, and the last /log: names the log.
    RunOptions expected;
    for (const std::string& argument : arguments) {
        CheckOneArgument(argument);
        const RunOptions alone = ParseSwitches({argument});
        expected.list |= alone.list;
        expected.quiet |= alone.quiet;
        expected.help |= alone.help;
        expected.report |= alone.report;
        expected.check |= alone.check;
        expected.restorePoint |= alone.restorePoint;
        if (alone.log) {
            expected.log = true;
            expected.logPath = alone.logPath;
        }
        if (alone.backup) {
            expected.backup = true;
            expected.backupFolder = alone.backupFolder;
        }
        if (alone.restore) {
            expected.restore = true;
            expected.restoreFolder = alone.restoreFolder;
        }
    }
    const RunOptions options = ParseSwitches(arguments);
    FUZZ_CHECK(Flags(options) == Flags(expected) && options.logPath == expected.logPath &&
               options.backupFolder == expected.backupFolder &&
               options.restoreFolder == expected.restoreFolder);
    return 0;
}
