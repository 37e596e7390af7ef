// An unattended run as one event of the Application log: its ID and level by
// outcome, and a paragraph that says what the report says in summary.
#pragma once

#include <string>

#include "diag/log.h"

namespace vk {

// The IDs stay within 1-1000, the range Windows' EventCreate.exe message
// table gives as "%1".
enum RunEventId : DWORD {
    EventPassCompleted = 100,      // Information
    EventPassKept = 101,           // Warning: something was kept or failed
    EventPassRestart = 102,        // Warning: a restart finishes the pass
    EventRestoreCompleted = 110,   // Information
    EventRestoreKept = 111,        // Warning: something was left as it was
    EventWrongArchitecture = 200,  // Error: status 2
    EventBackupFailed = 201,       // Error: status 4
    EventRestoreFailed = 202,      // Error: status 5
    EventAlreadyRunning = 203,     // Error: status 1618
};

struct RunEvent {
    DWORD eventId = 0;
    DWORD type = 0;    // EVENTLOG_INFORMATION_TYPE, _WARNING_TYPE or _ERROR_TYPE
    std::string text;  // French, Windows-1252
};

// The event of a run of `mode` ("pass" or "restore") that ended with
// `exitStatus`; `logPath` and `reportPath` are empty when there is none.
RunEvent EventOfRun(IPlatform& platform, const CRunRecord& record, const std::string& mode, int exitStatus,
                    const std::string& logPath, const std::string& reportPath);

}  // namespace vk
