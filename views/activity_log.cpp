#include "views/activity_log.h"

#include "res/resource.h"
#include "views/plan_text.h"

namespace vk {

namespace {

// The resource that says an action was done; 0 when the log does not say it.
unsigned DoneResource(RunAction action) {
    switch (action) {
        case RunAction::RemoveDevice:
            return IDS_LOG_DEVICE_REMOVED;
        case RunAction::DeleteFile:
            return IDS_LOG_FILE_DELETED;
        case RunAction::DeleteService:
            return IDS_LOG_SERVICE_DELETED;
        case RunAction::UninstallInf:
            return IDS_LOG_STORE_UNINSTALLED;
        case RunAction::DeleteAtRestart:
            return IDS_DELETE_AT_RESTART;
        case RunAction::ScanInfFolder:
            return IDS_LOG_INF_UNKNOWN;
        case RunAction::MatchInf:
            return IDS_LOG_INF_NAMES_READER;
        case RunAction::SaveFile:
        case RunAction::SavePackage:
        case RunAction::SaveService:
        case RunAction::SaveDevice:
            return IDS_LOG_SAVED;
        case RunAction::RestoreItem:
            return IDS_LOG_RESTORED;
        case RunAction::CreateRestorePoint:
            return IDS_LOG_RESTORE_POINT_CREATED;
        case RunAction::EndRestorePoint:
            return IDS_LOG_RESTORE_POINT_ENDED;
        case RunAction::CancelRestorePoint:
            return IDS_LOG_RESTORE_POINT_CANCELLED;
        case RunAction::RegisterEventSource:
            return IDS_LOG_EVENT_SOURCE_REGISTERED;
        case RunAction::WriteEvent:
            return IDS_LOG_EVENT_WRITTEN;
        default:
            return 0;
    }
}

// What an entry names: its subject, with a backup's copy or the number that
// Windows gave (a restore point's, an event's).
std::string NameOf(const RunEntry& entry) {
    std::string name = entry.subject;
    if (!entry.copy.empty()) name += " -> " + entry.copy;
    if (entry.number != 0) name += " (" + std::to_string(entry.number) + ")";
    return name;
}

}  // namespace

void CActivityLog::Write(const std::string& name, unsigned resource, std::uint32_t errorCode) {
    std::string text;
    ExpandMessagePattern(m_platform, text, kPatternNameColon, name.c_str());
    text += LoadResourceString(m_platform, resource);
    // With a code, the entry ends after the system's text.
    if (errorCode == 0) text += "\r\n";
    m_log.LogOwnEntry(errorCode, text, LogLevelInfo);
}

void CActivityLog::DeviceSelected(const SelectedDevice& device) {
    Write(device.instanceId + " (" + OrNone(m_platform, device.hardwareId) + ")", IDS_LOG_DEVICE_SELECTED);
}

void CActivityLog::EntryAdded(const RunEntry& entry) {
    switch (entry.outcome) {
        case RunOutcome::Kept: {
            std::string text;
            ExpandMessagePattern(m_platform, text, kPatternNameColon, NameOf(entry).c_str());
            m_log.LogOwnEntry(0, text + KeptText(m_platform, entry) + "\r\n", LogLevelInfo);
            break;
        }
        case RunOutcome::Failed:
            if (entry.action == RunAction::RemoveDevice)
                Write(entry.subject, IDS_LOG_DEVICE_NOT_REMOVED, entry.code);
            // The item is kept: there is no message of its own elsewhere.
            if (IsSave(entry.action)) Write(entry.subject, IDS_NOT_SAVED, entry.code);
            if (entry.action == RunAction::RestoreItem) Write(entry.subject, IDS_RESTORE_FAILED, entry.code);
            break;
        case RunOutcome::Done:
            if (const unsigned resource = DoneResource(entry.action)) Write(NameOf(entry), resource);
            break;
        case RunOutcome::Planned:
            break;
    }
}

}  // namespace vk
