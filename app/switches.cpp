#include "app/switches.h"

#include <cstring>

#include "diag/log.h"
#include "res/resource.h"

namespace vk {

const SwitchEntry kSwitches[] = {
    {SwitchId::List, "list", false, IDS_HELP_LIST},
    {SwitchId::Quiet, "quiet", false, IDS_HELP_QUIET},
    {SwitchId::Log, "log", true, IDS_HELP_LOG_OPTIONAL, true},
    {SwitchId::Report, "report", true, IDS_HELP_REPORT, true},
    {SwitchId::Check, "check", false, IDS_HELP_CHECK},
    {SwitchId::Backup, "backup", true, IDS_HELP_BACKUP, true},
    {SwitchId::Restore, "restore", true, IDS_HELP_RESTORE},
    {SwitchId::RestorePoint, "restorepoint", false, IDS_HELP_RESTOREPOINT},
    {SwitchId::Help, "?", false, IDS_HELP_HELP},
    {SwitchId::Help, "help", false, 0},
};
const std::size_t kSwitchCount = sizeof kSwitches / sizeof kSwitches[0];

namespace {

// The exit statuses, in the order the help lists them.
constexpr unsigned kStatusHelp[] = {IDS_STATUS_COMPLETED,        IDS_STATUS_CANCELLED,
                                    IDS_STATUS_CHECK_FOUND,      IDS_STATUS_WRONG_ARCHITECTURE,
                                    IDS_STATUS_BACKUP_FAILED,    IDS_STATUS_RESTORE_FAILED,
                                    IDS_STATUS_RESTART_REQUIRED, IDS_STATUS_ALREADY_RUNNING};
constexpr const char* kLineEnd = "\r\n";

}  // namespace

namespace {

bool SameNameNoCase(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        char ca = a[i];
        char cb = b[i];
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca + 32);
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb + 32);
        if (ca != cb) return false;
    }
    return true;
}

}  // namespace

RunOptions ParseSwitches(const std::vector<std::string>& arguments) {
    RunOptions options;
    options.arguments = arguments;
    for (const std::string& argument : arguments) {
        if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) continue;
        const char* body = argument.c_str() + 1;
        const std::size_t colon = argument.find(':', 1);
        const std::size_t nameLength = (colon == std::string::npos ? argument.size() : colon) - 1;
        for (const SwitchEntry& entry : kSwitches) {
            if (std::strlen(entry.name) != nameLength || !SameNameNoCase(body, entry.name, nameLength))
                continue;
            // A value where none is taken, or none where one is needed, is not this switch.
            const bool named = colon != std::string::npos;
            if (!entry.valueOptional && entry.takesValue != named) break;
            const std::string value = named ? argument.substr(colon + 1) : std::string();
            switch (entry.id) {
                case SwitchId::List:
                    options.list = true;
                    break;
                case SwitchId::Quiet:
                    options.quiet = true;
                    break;
                case SwitchId::Help:
                    options.help = true;
                    break;
                case SwitchId::Log:
                    options.log = true;
                    options.logNamed = named;
                    options.logPath = value;
                    break;
                case SwitchId::Report:
                    options.report = true;
                    options.reportNamed = named;
                    options.reportPath = value;
                    break;
                case SwitchId::Check:
                    options.check = true;
                    break;
                case SwitchId::Backup:
                    options.backup = true;
                    options.backupFolder = value;
                    break;
                case SwitchId::Restore:
                    options.restore = true;
                    options.restoreFolder = value;
                    break;
                case SwitchId::RestorePoint:
                    options.restorePoint = true;
                    break;
            }
            break;
        }
    }
    return options;
}

std::vector<std::string> SplitCommandLine(const char* commandLine) {
    std::vector<std::string> arguments;
    if (commandLine == nullptr) return arguments;
    const char* p = commandLine;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') break;
        std::string argument;
        bool quoted = false;
        while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '\\') {
                std::size_t backslashes = 0;
                while (*p == '\\') {
                    ++backslashes;
                    ++p;
                }
                if (*p == '"') {
                    argument.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        argument += '"';
                        ++p;
                    }
                } else {
                    argument.append(backslashes, '\\');
                }
                continue;
            }
            if (*p == '"') {
                // Inside quotes, "" stands for one quote and the quotes go on.
                if (quoted && p[1] == '"') {
                    argument += '"';
                    p += 2;
                    continue;
                }
                quoted = !quoted;
                ++p;
                continue;
            }
            argument += *p++;
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::string HelpText(IPlatform& platform) {
    std::string text = LoadResourceString(platform, IDS_HELP_TITLE) + kLineEnd + kLineEnd;
    text += LoadResourceString(platform, IDS_HELP_USAGE_ALL) + kLineEnd;
    for (std::size_t i = 0; i < kSwitchCount; ++i) {
        if (kSwitches[i].helpString != 0)
            text += LoadResourceString(platform, kSwitches[i].helpString) + kLineEnd;
    }
    text += kLineEnd;
    text += LoadResourceString(platform, IDS_HELP_STATUSES) + kLineEnd;
    for (unsigned status : kStatusHelp) text += LoadResourceString(platform, status) + kLineEnd;
    return text;
}

}  // namespace vk
