// The files a run writes besides its changes: the diagnostic log, appended
// to, and the JSON report, replaced by each run. Either is the file named
// with its switch or, without a name, the one in the Windows directory's
// Temp folder, where deployment engines collect them.
#pragma once

#include <memory>
#include <string>

#include "app/switches.h"
#include "cleanup/handles.h"
#include "diag/log.h"

namespace vk {

constexpr const char* kDefaultLogName = "VelkorUSBCleaner.log";
constexpr const char* kDefaultReportName = "VelkorUSBCleaner.json";

struct OutputFiles {
    // Open on the platform that opened them, closed with it.
    std::unique_ptr<FileHolder> log;
    std::unique_ptr<FileHolder> report;
    IFileSystem* files = nullptr;
    FileTime start = 0;  // when the run started, for the report
};

// Opens what the switches ask for. The report is opened as the run starts,
// so that a person hears at once that it cannot be written; a file that
// cannot be opened, or is not to be trusted, is told of and the run goes on
// without it. Neither is ever followed through a link (a reparse point), nor
// written when it has other names (hard links). In the Temp folder, where
// anyone may create files, a new one gets the program's own security and
// one that is there is written only when it is owned and protected as a
// trusted folder must be; a file named with /log: or /report: is the
// administrator's choice.
OutputFiles OpenOutputs(IPlatform& platform, const RunOptions& options);

// Turns the diagnostic log on into the opened log file, if any.
void AttachLog(CDiagnosticLog& log, const OutputFiles& outputs);

// Writes the report of a run of mode `mode` ("pass", "list", "check",
// "restore") from its record, when one was opened.
void WriteReport(IPlatform& platform, const RunOptions& options, OutputFiles& outputs, const char* mode,
                 const CRunRecord& record, int exitStatus);

// Where the log and the report are written, for the run's event: the file
// named, or the one in Temp; empty for one that was not opened.
std::string LogFilePath(IPlatform& platform, const RunOptions& options, const OutputFiles& outputs);
std::string ReportFilePath(IPlatform& platform, const RunOptions& options, const OutputFiles& outputs);

}  // namespace vk
