#include "views/event_text.h"

#include "res/resource.h"
#include "views/plan_text.h"

namespace vk {

namespace {

// Exit statuses, as the program's own table gives them.
constexpr int kWrongArchitecture = 2;
constexpr int kBackupFailed = 4;
constexpr int kRestoreFailed = 5;
constexpr int kRestartRequired = 3010;
constexpr int kAlreadyRunning = 1618;

struct Counts {
    std::size_t done = 0;
    std::size_t failed = 0;
    std::size_t kept = 0;
};

Counts CountOf(const CRunRecord& record) {
    Counts counts;
    for (const RunEntry& entry : record.Entries()) {
        if (entry.outcome == RunOutcome::Done && ChangesWorkstation(entry.action)) ++counts.done;
        if (entry.outcome == RunOutcome::Failed) ++counts.failed;
        // A device's record, which Windows makes again itself, is no item left.
        if (entry.outcome == RunOutcome::Kept && entry.reason != IDS_LOG_DEVICE_RECORD_ONLY) ++counts.kept;
    }
    return counts;
}

struct Outcome {
    DWORD eventId;
    DWORD type;
    unsigned sentence;
};

Outcome OutcomeOf(const CRunRecord& record, const std::string& mode, int exitStatus, const Counts& counts) {
    switch (exitStatus) {
        case kWrongArchitecture:
            return {EventWrongArchitecture, EVENTLOG_ERROR_TYPE, IDS_EVENT_WRONG_ARCHITECTURE};
        case kBackupFailed:
            return {EventBackupFailed, EVENTLOG_ERROR_TYPE, IDS_EVENT_BACKUP_FAILED};
        case kRestoreFailed:
            return {EventRestoreFailed, EVENTLOG_ERROR_TYPE, IDS_EVENT_RESTORE_FAILED};
        case kAlreadyRunning:
            return {EventAlreadyRunning, EVENTLOG_ERROR_TYPE, IDS_EVENT_ALREADY_RUNNING};
        default:
            break;
    }
    const bool somethingLeft = counts.failed != 0 || counts.kept != 0;
    if (mode == "restore") {
        return somethingLeft
                   ? Outcome{EventRestoreKept, EVENTLOG_WARNING_TYPE, IDS_EVENT_RESTORE_KEPT}
                   : Outcome{EventRestoreCompleted, EVENTLOG_INFORMATION_TYPE, IDS_EVENT_RESTORE_DONE};
    }
    if (exitStatus == kRestartRequired || record.RestartNeeded())
        return {EventPassRestart, EVENTLOG_WARNING_TYPE, IDS_EVENT_PASS_RESTART};
    return somethingLeft ? Outcome{EventPassKept, EVENTLOG_WARNING_TYPE, IDS_EVENT_PASS_KEPT}
                         : Outcome{EventPassCompleted, EVENTLOG_INFORMATION_TYPE, IDS_EVENT_PASS_DONE};
}

}  // namespace

RunEvent EventOfRun(IPlatform& platform, const CRunRecord& record, const std::string& mode, int exitStatus,
                    const std::string& logPath, const std::string& reportPath) {
    const Counts counts = CountOf(record);
    const Outcome outcome = OutcomeOf(record, mode, exitStatus, counts);
    const auto text = [&platform](unsigned id) { return LoadResourceString(platform, id); };
    RunEvent event;
    event.eventId = outcome.eventId;
    event.type = outcome.type;
    event.text =
        text(outcome.sentence) + text(IDS_EVENT_STATUS) + std::to_string(exitStatus) +
        text(IDS_EVENT_DEVICES) + std::to_string(record.Devices().size()) + text(IDS_EVENT_DONE) +
        std::to_string(counts.done) + text(IDS_EVENT_FAILED) + std::to_string(counts.failed) +
        text(IDS_EVENT_KEPT) + std::to_string(counts.kept) + text(IDS_EVENT_RESTART) +
        text(record.RestartNeeded() || exitStatus == kRestartRequired ? IDS_EVENT_YES : IDS_EVENT_NO) +
        text(IDS_EVENT_LOG) + OrNone(platform, logPath) + text(IDS_EVENT_REPORT) +
        OrNone(platform, reportPath) + ".";
    return event;
}

}  // namespace vk
