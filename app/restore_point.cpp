#include "app/restore_point.h"

#include "diag/messages.h"
#include "res/resource.h"

namespace vk {

const char* const kRestorePointDescription = "Nettoyage des lecteurs VELKOR";

namespace {

// Removing or installing a driver: DEVICE_DRIVER_INSTALL is the type that
// Microsoft gives for a device driver's change
// (learn.microsoft.com/windows/win32/api/srrestoreptapi/ns-srrestoreptapi-restorepointinfow,
// and learn.microsoft.com/windows/win32/sr/restore-point-description-text).
constexpr DWORD kRestorePointType = DEVICE_DRIVER_INSTALL;

// Why System Restore said no, in words, where its code is one of those it
// documents; 0 for the others, which the code's system text explains.
unsigned ReasonOf(DWORD code) {
    switch (code) {
        case ERROR_SERVICE_DISABLED:
            return IDS_RESTORE_POINT_DISABLED;
        case ERROR_BAD_ENVIRONMENT:
            return IDS_RESTORE_POINT_SAFE_MODE;
        case ERROR_CALL_NOT_IMPLEMENTED:
        case ERROR_MOD_NOT_FOUND:
        case ERROR_PROC_NOT_FOUND:
            return IDS_RESTORE_POINT_UNAVAILABLE;
        default:
            return 0;
    }
}

RunEntry Numbered(RunEntry entry, std::int64_t number) {
    entry.number = number;
    return entry;
}

}  // namespace

std::string CRestorePoint::Name() const {
    std::string name = kRestorePointDescription;
    if (m_sequenceNumber != 0) name += " (" + std::to_string(m_sequenceNumber) + ")";
    return name;
}

void CRestorePoint::Begin() {
    // Windows makes one point a day: asked for another, it gives the earlier
    // one's number. Only the newest number seen before tells them apart.
    bool anyBefore = false;
    std::int64_t newestBefore = 0;
    const bool known = m_platform.GetNewestRestorePoint(&anyBefore, &newestBefore);
    std::int64_t sequenceNumber = 0;
    if (!m_platform.SetRestorePoint(BEGIN_SYSTEM_CHANGE, kRestorePointType, 0, kRestorePointDescription,
                                    &sequenceNumber)) {
        const DWORD code = m_platform.GetLastError();
        std::string text = NamedMessage(m_platform, kRestorePointDescription, IDS_RESTORE_POINT_FAILED);
        if (const unsigned reason = ReasonOf(code)) text += LoadResourceString(m_platform, reason);
        text += LoadResourceString(m_platform, IDS_RESTORE_POINT_GOES_ON);
        m_log.Log(code, text, LogLevelError);
        m_log.Record(RunEntry::Failed(RunAction::CreateRestorePoint, kRestorePointDescription, code));
        return;
    }
    m_sequenceNumber = sequenceNumber;
    if (known && anyBefore && sequenceNumber <= newestBefore) {
        // Someone else's point: ending or cancelling it is not this run's to do.
        m_log.Record(Numbered(RunEntry::Kept(RunAction::CreateRestorePoint, kRestorePointDescription,
                                             IDS_LOG_RESTORE_POINT_RECENT),
                              sequenceNumber));
        return;
    }
    m_state = known ? State::Ours : State::Unsure;
    m_log.Record(
        Numbered(RunEntry::Done(RunAction::CreateRestorePoint, kRestorePointDescription), sequenceNumber));
    m_passStart = m_log.m_record.Entries().size();
}

void CRestorePoint::End() {
    if (m_state == State::None) return;
    // A cancelled point is removed: only one known to be this run's is, so
    // that an earlier point is never taken for it and lost.
    const bool cancel = m_state == State::Ours && !m_log.m_record.ChangedFrom(m_passStart);
    const RunAction action = cancel ? RunAction::CancelRestorePoint : RunAction::EndRestorePoint;
    if (!m_platform.SetRestorePoint(END_SYSTEM_CHANGE, cancel ? CANCELLED_OPERATION : kRestorePointType,
                                    m_sequenceNumber, kRestorePointDescription, nullptr)) {
        const DWORD code = m_platform.GetLastError();
        m_log.Log(code, NamedMessage(m_platform, Name().c_str(), IDS_RESTORE_POINT_END_FAILED),
                  LogLevelError);
        m_log.Record(Numbered(RunEntry::Failed(action, kRestorePointDescription, code), m_sequenceNumber));
    } else {
        m_log.Record(Numbered(RunEntry::Done(action, kRestorePointDescription), m_sequenceNumber));
    }
    m_state = State::None;
}

}  // namespace vk
