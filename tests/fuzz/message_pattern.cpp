// ExpandMessagePattern with fuzzed patterns and inserts, formatted by the
// simulated workstation as FormatMessageA would. Input: one byte of options
// (bit 0: reduce the pattern to the rules the catalogue relies on and check
// the result against them; bit 1: a null insert, which reads as the empty
// name), then the pattern and the insert separated by 0x01.
#include <cstdint>
#include <string>
#include <vector>

#include "diag/log.h"
#include "diag/messages.h"
#include "fuzz_support.h"
#include "platform/simulated/simulated.h"
#include "res/resource.h"

namespace {

using namespace vk;

// Keeps "%1", "% ", line feeds and plain characters; drops any other "%"
// sequence, carriage returns, and a digit or "!" right after "%1" (which
// would name another insert or a format).
std::string Reduced(const std::string& pattern) {
    std::string kept;
    bool afterInsert = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%') {
            const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
            if (next == '1' || next == ' ') {
                kept += pattern.substr(i++, 2);
                afterInsert = next == '1';
            }
            continue;
        }
        if (c == '\r' || (afterInsert && ((c >= '0' && c <= '9') || c == '!'))) continue;
        kept += c;
        afterInsert = false;
    }
    return kept;
}

// "%1" gives the insert unchanged, "% " a space, a line feed CR LF.
std::string Expanded(const std::string& pattern, const std::string& insert) {
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%') {
            text += pattern[++i] == '1' ? insert : " ";
        } else if (pattern[i] == '\n') {
            text += "\r\n";
        } else {
            text += pattern[i];
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    const std::vector<std::string> fields =
        fuzz::Fields(std::string(reinterpret_cast<const char*>(bytes + 1), size - 1));
    // Both are zero-terminated texts in the program.
    std::string pattern = fields[0].c_str();
    const bool nullInsert = (bytes[0] & 2) != 0;
    const std::string insert = fields.size() > 1 && !nullInsert ? fields[1].c_str() : "";
    const bool reduce = (bytes[0] & 1) != 0;
    if (reduce) pattern = Reduced(pattern);

    sim::SimulatedWorkstation ws;
    std::string target = "previous";
    ExpandMessagePattern(ws, target, pattern.c_str(), nullInsert ? nullptr : insert.c_str());
    // Any other pattern only has to be expanded without fault.
    if (reduce) {
        // An expansion to nothing counts as a failure, and so does one that
        // FormatMessage's buffer (64K bytes at most) cannot hold; a failure
        // keeps the name.
        const std::string expected = Expanded(pattern, insert);
        FUZZ_CHECK(target == (expected.empty() || expected.size() >= 0x10000 ? insert : expected));
    }

    // The catalogue's two compositions name their subject verbatim, "%" and
    // line ends included.
    FUZZ_CHECK(MsgFileDeleteFailed(ws, insert.c_str()) ==
               insert + " : " + LoadResourceString(ws, IDS_FILE_DELETE_FAILED));
    FUZZ_CHECK(MsgServiceOpenFailed(ws, insert.c_str()) ==
               LoadResourceString(ws, IDS_SERVICE_UNINSTALL) + " " + insert + " :\r\n" +
                   LoadResourceString(ws, IDS_SERVICE_OPEN_FAILED));
    return 0;
}
