#include "diag/run_record.h"

#include <algorithm>

namespace vk {

bool ChangesWorkstation(RunAction action) {
    switch (action) {
        case RunAction::ScanInfFolder:
        case RunAction::MatchInf:
            return false;
        default:
            return true;
    }
}

bool IsRestorePoint(RunAction action) {
    return action == RunAction::CreateRestorePoint || action == RunAction::EndRestorePoint ||
           action == RunAction::CancelRestorePoint;
}

bool IsSave(RunAction action) {
    return action == RunAction::SaveFile || action == RunAction::SavePackage ||
           action == RunAction::SaveService || action == RunAction::SaveDevice;
}

RunEntry RunEntry::Done(RunAction action, std::string subject, std::uint32_t attributes) {
    RunEntry entry;
    entry.action = action;
    entry.subject = std::move(subject);
    entry.attributes = attributes;
    return entry;
}

RunEntry RunEntry::Failed(RunAction action, std::string subject, std::uint32_t code) {
    RunEntry entry = Done(action, std::move(subject));
    entry.outcome = RunOutcome::Failed;
    entry.code = code;
    return entry;
}

RunEntry RunEntry::Kept(RunAction action, std::string subject, unsigned reason, std::string keptBy) {
    RunEntry entry = Done(action, std::move(subject));
    entry.outcome = RunOutcome::Kept;
    entry.reason = reason;
    entry.keptBy = std::move(keptBy);
    return entry;
}

void CRunRecord::Start(bool planning, IRunRecordObserver* observer) {
    m_on = true;
    m_planning = planning;
    m_observer = observer;
}

void CRunRecord::AddDevice(SelectedDevice device) {
    if (!m_on) return;
    m_devices.push_back(std::move(device));
    if (m_observer) m_observer->DeviceSelected(m_devices.back());
}

void CRunRecord::Add(RunEntry entry) {
    if (!m_on) return;
    if (m_planning && entry.outcome == RunOutcome::Done && ChangesWorkstation(entry.action))
        entry.outcome = RunOutcome::Planned;
    m_entries.push_back(std::move(entry));
    if (m_observer) m_observer->EntryAdded(m_entries.back());
}

std::size_t CRunRecord::ChangeCount() const {
    return static_cast<std::size_t>(std::count_if(m_entries.begin(), m_entries.end(), [](const RunEntry& e) {
        return ChangesWorkstation(e.action) &&
               (e.outcome == RunOutcome::Planned || e.outcome == RunOutcome::Done);
    }));
}

bool CRunRecord::ChangedFrom(std::size_t first) const {
    for (std::size_t i = first; i < m_entries.size(); ++i) {
        const RunEntry& e = m_entries[i];
        if (ChangesWorkstation(e.action) && !IsSave(e.action) && !IsRestorePoint(e.action) &&
            (e.outcome == RunOutcome::Planned || e.outcome == RunOutcome::Done))
            return true;
    }
    return false;
}

}  // namespace vk
