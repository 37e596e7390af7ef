// The files a run writes besides its changes: the diagnostic log, appended
// to, and the JSON report, replaced by each run. Either is the file named
// with its switch or, without a name, the one in the Windows directory's
// Temp folder, where deployment engines collect them.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "app/switches.h"
#include "diag/log.h"

namespace vk {

constexpr const char* kDefaultLogName = "VelkorUSBCleaner.log";
constexpr const char* kDefaultReportName = "VelkorUSBCleaner.json";

struct OutputFiles {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using File = std::unique_ptr<std::FILE, Closer>;

    File log;
    File report;
    FileTime start = 0;  // when the run started, for the report
};

// Opens what the switches ask for. The report is opened as the run starts,
// so that a person hears at once that it cannot be written; a file that
// cannot be opened is told of and the run goes on without it.
OutputFiles OpenOutputs(IPlatform& platform, const RunOptions& options);

// Turns the diagnostic log on into the opened log file, if any.
void AttachLog(CDiagnosticLog& log, const OutputFiles& outputs);

// Writes the report of a run of mode `mode` ("pass", "list", "check",
// "restore") from its record, when one was opened.
void WriteReport(IPlatform& platform, const RunOptions& options, OutputFiles& outputs, const char* mode,
                 const CRunRecord& record, int exitStatus);

}  // namespace vk
