#include "app/output_files.h"

#include "app/tell.h"
#include "diag/messages.h"
#include "platform/ansi_text.h"
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

OutputFiles::File OpenOutput(IPlatform& platform, const RunOptions& options, const std::string& path,
                             const char* mode, bool isLog) {
    OutputFiles::File file(path.empty() ? nullptr : std::fopen(path.c_str(), mode));
    if (!file) {
        Tell(platform, options,
             isLog ? MsgLogOpenFailed(platform, path.c_str()) : MsgReportOpenFailed(platform, path.c_str()),
             MB_ICONEXCLAMATION);
    }
    return file;
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
    if (options.log) {
        outputs.log =
            OpenOutput(platform, options,
                       OutputPath(platform, options.logNamed, options.logPath, kDefaultLogName), "ab", true);
    }
    if (options.report) {
        outputs.start = platform.GetSystemTimeAsFileTime();
        outputs.report = OpenOutput(
            platform, options,
            OutputPath(platform, options.reportNamed, options.reportPath, kDefaultReportName), "wb", false);
    }
    return outputs;
}

void AttachLog(CDiagnosticLog& log, const OutputFiles& outputs) {
    if (!outputs.log) return;
    log.m_logFile = outputs.log.get();
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
    std::FILE* file = outputs.report.get();
    if (std::fwrite(json.data(), 1, json.size(), file) != json.size() || std::fflush(file) != 0) {
        const std::string path =
            OutputPath(platform, options.reportNamed, options.reportPath, kDefaultReportName);
        Tell(platform, options, MsgReportOpenFailed(platform, path.c_str()), MB_ICONEXCLAMATION);
    }
}

}  // namespace vk
