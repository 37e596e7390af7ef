#include "app/run_event.h"

#include <cstring>

#include "diag/messages.h"
#include "inventory/registry_key.h"
#include "res/resource.h"
#include "views/event_text.h"

namespace vk {

const char* const kEventSource = "VelkorUSBCleaner";
const char* const kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VelkorUSBCleaner";
const char* const kEventMessageFile = "%SystemRoot%\\System32\\EventCreate.exe";

namespace {

// The three levels the program writes.
constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// 0 once the source's key names a message file (made now, or before:
// someone else's choice is left alone), else the code of what failed;
// *registered tells whether this run wrote it.
LONG RegisterSource(IPlatform& platform, bool* registered) {
    RegKey key = kNullRegKey;
    bool created = false;
    LONG code = platform.RegCreateKeyEx(RegRoot::LocalMachine, kEventSourceKey, &key, &created);
    if (code != 0) return code;
    const CRegKeyHolder held(platform, key);
    DWORD type = 0;
    DWORD size = 0;
    code = platform.RegQueryValueEx(key, "EventMessageFile", &type, nullptr, &size);
    if (code == static_cast<LONG>(ERROR_FILE_NOT_FOUND)) {
        const std::size_t length = std::strlen(kEventMessageFile) + 1;
        const std::uint8_t* file = reinterpret_cast<const std::uint8_t*>(kEventMessageFile);
        std::uint8_t types[4] = {static_cast<std::uint8_t>(kTypesSupported), 0, 0, 0};
        code =
            platform.RegSetValueEx(key, "EventMessageFile", REG_EXPAND_SZ, file, static_cast<DWORD>(length));
        if (code == 0) code = platform.RegSetValueEx(key, "TypesSupported", REG_DWORD, types, sizeof types);
        *registered = code == 0;
    }
    return code;
}

}  // namespace

void ReportRunEvent(IPlatform& platform, CDiagnosticLog& log, const char* mode, int exitStatus,
                    const std::string& logPath, const std::string& reportPath) {
    // Composed first: the event says what the run did, not that it wrote it.
    const RunEvent event = EventOfRun(platform, log.m_record, mode, exitStatus, logPath, reportPath);

    bool registered = false;
    if (const LONG code = RegisterSource(platform, &registered)) {
        // Windows still writes the event, under the Application log, without
        // a message file to show it by.
        log.Log(static_cast<DWORD>(code), NamedMessage(platform, kEventSourceKey, IDS_EVENT_SOURCE_FAILED),
                LogLevelError);
        log.Record(
            RunEntry::Failed(RunAction::RegisterEventSource, kEventSourceKey, static_cast<DWORD>(code)));
    } else if (registered) {
        log.Record(RunEntry::Done(RunAction::RegisterEventSource, kEventSourceKey));
    }

    RunEntry written = RunEntry::Done(RunAction::WriteEvent, kEventSource);
    if (!platform.ReportEvent(kEventSource, event.type, event.eventId, event.text.c_str())) {
        const std::string text = NamedMessage(platform, kEventSource, IDS_EVENT_WRITE_FAILED);
        const DWORD code = platform.GetLastError();
        log.Log(code, text, LogLevelError);
        written = RunEntry::Failed(RunAction::WriteEvent, kEventSource, code);
    }
    written.number = event.eventId;
    log.Record(written);
}

}  // namespace vk
