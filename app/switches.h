// The command line: one table of every switch, the parser that turns the
// arguments into run options, and the splitter of the raw command line.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vk {

enum class SwitchId { List, Quiet, Log, Report, Check, Help, Backup, Restore, RestorePoint };

struct SwitchEntry {
    SwitchId id;
    const char* name;            // without the leading / or -, compared case-insensitively
    bool takesValue;             // written name:value
    unsigned helpString;         // string resource of its help line; 0 for an alias
    bool valueOptional = false;  // written name or name:value
};

extern const SwitchEntry kSwitches[];
extern const std::size_t kSwitchCount;

struct RunOptions {
    bool list = false;
    bool quiet = false;
    bool help = false;
    bool log = false;       // a /log switch was given, with a name or not
    bool logNamed = false;  // the last one was /log:<name>, even an empty one
    std::string logPath;    // the last /log: value
    bool report = false;    // the same for /report
    bool reportNamed = false;
    std::string reportPath;
    bool check = false;
    bool backup = false;
    std::string backupFolder;  // empty: the default folder
    bool restore = false;
    std::string restoreFolder;
    // A System Restore point before the pass's first change.
    bool restorePoint = false;
    // The arguments as given, for the report.
    std::vector<std::string> arguments;
    // Not a switch: no prompt could be seen where the program runs, so it
    // runs as under /quiet (quiet is set too) and says so in the log.
    bool promptsUnseen = false;
};

// Arguments that are not switches, or not ours, are ignored, as the program
// always did with its arguments.
RunOptions ParseSwitches(const std::vector<std::string>& arguments);

// Splits a command line (without the program name) into arguments by the
// rules of the Microsoft C runtime: blanks separate, double quotes group,
// backslashes escape a quote only when they precede one.
std::vector<std::string> SplitCommandLine(const char* commandLine);

// The help text, from the switch table and the exit statuses (French, CR LF
// line ends).
std::string HelpText(IPlatform& platform);

}  // namespace vk
