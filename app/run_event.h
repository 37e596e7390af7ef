// What an unattended run leaves in the Application log: one event per pass
// or restore, from the source VelkorUSBCleaner, registered on first use.
#pragma once

#include <string>

#include "diag/log.h"

namespace vk {

extern const char* const kEventSource;
// Below HKEY_LOCAL_MACHINE.
extern const char* const kEventSourceKey;
// The source's message file: Windows' own EventCreate.exe, whose message
// table gives every ID from 1 to 1000 as its first string, and which stays
// where it is when an installer deletes the program's temporary copy.
extern const char* const kEventMessageFile;

// Registers the source when its key has no message file yet, then writes the
// event of a run of `mode` ("pass" or "restore") that ended with
// `exitStatus`. Both go to `log`'s record; what fails goes to its log, and
// the run's status stays as it is.
void ReportRunEvent(IPlatform& platform, CDiagnosticLog& log, const char* mode, int exitStatus,
                    const std::string& logPath, const std::string& reportPath);

}  // namespace vk
