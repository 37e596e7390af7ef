#include "app/output_files.h"

#include <algorithm>

#include "app/tell.h"
#include "backup/trust.h"
#include "diag/messages.h"
#include "platform/ansi_text.h"
#include "res/resource.h"
#include "views/report.h"

namespace vk {

namespace {

// Where deployment engines collect diagnostics, in the Windows directory.
constexpr const char* kCollectedFolder = "\\Temp\\";

// <Windows directory>\Temp\<name>; when the Windows directory cannot be
// read, %WINDIR% stands for it, so the file cannot be opened and the message
// still says where it was meant to go.
std::string CollectedPath(IPlatform& platform, const char* name) {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = platform.GetWindowsDirectory(folder, MAX_PATH);
    std::string path = length == 0 || length > MAX_PATH ? std::string("%WINDIR%")
                                                        : std::string(folder, BoundedLength(folder, length));
    return path + kCollectedFolder + name;
}

std::string OutputPath(IPlatform& platform, bool named, const std::string& namedPath,
                       const char* defaultName) {
    return named ? namedPath : CollectedPath(platform, defaultName);
}

constexpr DWORD kLooked = READ_CONTROL | FILE_READ_ATTRIBUTES;

// Opens `path` for `access` without following a link, creating it when
// missing (with the program's own security in the collected place), and
// keeps it only when what was opened may be written: a plain file with one
// name and, in the collected place, a file that was there must be owned and
// protected as a trusted folder must be. The user is told otherwise.
std::unique_ptr<FileHolder> OpenChecked(IPlatform& platform, const RunOptions& options,
                                        const std::string& path, DWORD access, bool collected, bool replace,
                                        bool isLog) {
    const DWORD protect = collected ? kProtectNew : 0;
    const auto opened = [&](DWORD disposition) {
        return std::make_unique<FileHolder>(
            platform, path.empty() ? kInvalidFileHandle
                                   : platform.CreateFileNoFollow(path.c_str(), access | kLooked,
                                                                 FILE_SHARE_READ, disposition, protect));
    };
    std::unique_ptr<FileHolder> file = opened(OPEN_ALWAYS);
    const unsigned consequence = isLog ? IDS_TRUST_NO_LOG : IDS_TRUST_NO_REPORT;
    if (!file->valid()) {
        Tell(platform, options,
             isLog ? MsgLogOpenFailed(platform, path.c_str()) : MsgReportOpenFailed(platform, path.c_str()),
             MB_ICONEXCLAMATION);
        return nullptr;
    }
    const bool existed = platform.GetLastError() == ERROR_ALREADY_EXISTS;
    CTrust trust(platform);
    TrustCheck check = trust.OpenedFile(file->get(), path, collected && existed);
    // A report replaces the one before, once that one is known to be the
    // program's: emptied only after it was looked at.
    if (check.Trusted() && existed && replace) {
        file->reset();
        file = opened(CREATE_ALWAYS);
        if (!file->valid()) {
            Tell(platform, options, MsgReportOpenFailed(platform, path.c_str()), MB_ICONEXCLAMATION);
            return nullptr;
        }
        check = trust.OpenedFile(file->get(), path, collected);
    }
    if (check.Trusted()) return file;
    Tell(platform, options, WithSystemReason(platform, RefusalText(platform, check, consequence), check.code),
         MB_ICONEXCLAMATION);
    return nullptr;
}

std::string ComputerName(IPlatform& platform) {
    char name[64] = {};
    DWORD size = sizeof name;
    if (!platform.GetComputerName(name, &size)) return std::string();
    return std::string(name, BoundedLength(name, size));
}

}  // namespace

OutputFiles OpenOutputs(IPlatform& platform, const RunOptions& options) {
    OutputFiles outputs;
    outputs.files = &platform;
    if (options.log) {
        // Appended to: each write goes to its end.
        outputs.log = OpenChecked(platform, options,
                                  OutputPath(platform, options.logNamed, options.logPath, kDefaultLogName),
                                  FILE_APPEND_DATA, !options.logNamed, false, true);
    }
    if (options.report) {
        outputs.start = platform.GetSystemTimeAsFileTime();
        outputs.report =
            OpenChecked(platform, options,
                        OutputPath(platform, options.reportNamed, options.reportPath, kDefaultReportName),
                        GENERIC_WRITE, !options.reportNamed, true, false);
    }
    return outputs;
}

void AttachLog(CDiagnosticLog& log, const OutputFiles& outputs) {
    if (!outputs.log) return;
    log.m_logFile = outputs.log->get();
    log.m_logFiles = outputs.files;
    log.m_logEnabled = true;
}

void WriteReport(IPlatform& platform, const RunOptions& options, OutputFiles& outputs, const char* mode,
                 const CRunRecord& record, int exitStatus) {
    if (!outputs.report) return;
    ReportRun run;
    run.mode = mode;
    run.switches = options.arguments;
    run.start = outputs.start;
    run.end = platform.GetSystemTimeAsFileTime();
    run.computerName = ComputerName(platform);
    run.exitStatus = exitStatus;
    const std::string json = ReportJson(platform, run, record);
    bool written = true;
    for (std::size_t at = 0; written && at < json.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(json.size() - at, 1u << 20));
        DWORD count = 0;
        written = platform.WriteFile(outputs.report->get(), json.data() + at, piece, &count) && count != 0;
        at += count;
    }
    if (!written) {
        const std::string path =
            OutputPath(platform, options.reportNamed, options.reportPath, kDefaultReportName);
        Tell(platform, options, MsgReportOpenFailed(platform, path.c_str()), MB_ICONEXCLAMATION);
    }
}

std::string LogFilePath(IPlatform& platform, const RunOptions& options, const OutputFiles& outputs) {
    if (!outputs.log) return std::string();
    return OutputPath(platform, options.logNamed, options.logPath, kDefaultLogName);
}

std::string ReportFilePath(IPlatform& platform, const RunOptions& options, const OutputFiles& outputs) {
    if (!outputs.report) return std::string();
    return OutputPath(platform, options.reportNamed, options.reportPath, kDefaultReportName);
}

}  // namespace vk
