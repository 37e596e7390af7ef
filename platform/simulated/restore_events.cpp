// The simulated System Restore and event log.
#include <algorithm>

#include "platform/simulated/state.h"

namespace vk::sim {

namespace {

constexpr FileTime kOneDay = 24ull * 3600 * 10000000;

const char* EventTypeName(DWORD type) {
    switch (type) {
        case BEGIN_SYSTEM_CHANGE:
            return "BEGIN_SYSTEM_CHANGE";
        case END_SYSTEM_CHANGE:
            return "END_SYSTEM_CHANGE";
        default:
            return "?";
    }
}

}  // namespace

void SimulatedWorkstation::SetSystemRestore(SystemRestore state) {
    m_state->systemRestore = state;
}

RestorePoint& SimulatedWorkstation::AddRestorePoint(std::int64_t sequenceNumber, FileTime created,
                                                    const std::string& description) {
    RestorePoint point;
    point.sequenceNumber = sequenceNumber;
    point.description = description;
    point.type = 0;  // APPLICATION_INSTALL
    point.created = created;
    point.ended = true;
    m_state->restorePoints.push_back(point);
    m_state->nextRestorePoint = std::max(m_state->nextRestorePoint, sequenceNumber + 1);
    return m_state->restorePoints.back();
}

const std::vector<RestorePoint>& SimulatedWorkstation::RestorePoints() const {
    return m_state->restorePoints;
}

const std::vector<LoggedEvent>& SimulatedWorkstation::Events() const {
    return m_state->events;
}

// As documented: the status codes of STATEMGRSTATUS
// (learn.microsoft.com/windows/win32/api/srrestoreptapi/ns-srrestoreptapi-statemgrstatus),
// and, with no SystemRestorePointCreationFrequency value, no new point when
// one was made in the last 24 hours: the call succeeds and gives the sequence
// number of that earlier point
// (learn.microsoft.com/windows/win32/sr/calling-srsetrestorepoint). Ending a
// point with CANCELLED_OPERATION removes it.
bool SimulatedWorkstation::SetRestorePoint(DWORD eventType, DWORD restorePointType,
                                           std::int64_t sequenceNumber, const char* description,
                                           std::int64_t* pointSequenceNumber) {
    const std::string text = description ? description : "";
    if (m_state->Injected("SetRestorePoint", std::string(EventTypeName(eventType)) + " " + text))
        return false;
    switch (m_state->systemRestore) {
        case SystemRestore::Off:
            return m_state->Error(ERROR_SERVICE_DISABLED, false);
        case SystemRestore::SafeMode:
            return m_state->Error(ERROR_BAD_ENVIRONMENT, false);
        case SystemRestore::Missing:
            return m_state->Error(ERROR_MOD_NOT_FOUND, false);
        case SystemRestore::On:
            break;
    }
    auto& points = m_state->restorePoints;
    const FileTime now = m_state->clock;
    if (eventType == BEGIN_SYSTEM_CHANGE) {
        for (auto it = points.rbegin(); it != points.rend(); ++it) {
            if (it->created + kOneDay > now) {
                if (pointSequenceNumber) *pointSequenceNumber = it->sequenceNumber;
                return true;
            }
        }
        RestorePoint point;
        point.sequenceNumber = m_state->nextRestorePoint++;
        point.description = text;
        point.type = restorePointType;
        point.created = now;
        points.push_back(point);
        m_state->calls.push_back("SRSetRestorePoint BEGIN_SYSTEM_CHANGE " + std::to_string(restorePointType) +
                                 " " + text + " -> " + std::to_string(point.sequenceNumber));
        if (pointSequenceNumber) *pointSequenceNumber = point.sequenceNumber;
        return true;
    }
    if (eventType != END_SYSTEM_CHANGE) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    auto point = std::find_if(points.begin(), points.end(),
                              [&](const RestorePoint& p) { return p.sequenceNumber == sequenceNumber; });
    if (point == points.end() || point->ended) return m_state->Error(ERROR_INVALID_DATA, false);
    m_state->calls.push_back("SRSetRestorePoint END_SYSTEM_CHANGE " + std::to_string(restorePointType) + " " +
                             std::to_string(sequenceNumber));
    if (restorePointType == CANCELLED_OPERATION) {
        points.erase(point);
    } else {
        point->ended = true;
    }
    if (pointSequenceNumber) *pointSequenceNumber = sequenceNumber;
    return true;
}

// The points as WMI's SystemRestore class lists them
// (learn.microsoft.com/windows/win32/sr/systemrestore); none once System
// Restore is turned off, which deletes them.
bool SimulatedWorkstation::GetNewestRestorePoint(bool* exists, std::int64_t* sequenceNumber) {
    if (m_state->Injected("GetNewestRestorePoint", "")) return false;
    if (m_state->systemRestore == SystemRestore::Missing) return m_state->Error(ERROR_MOD_NOT_FOUND, false);
    const auto& points = m_state->restorePoints;
    std::int64_t newest = 0;
    for (const RestorePoint& point : points) newest = std::max(newest, point.sequenceNumber);
    if (exists) *exists = !points.empty();
    if (sequenceNumber) *sequenceNumber = newest;
    return true;
}

// RegisterEventSourceW takes a source that is not registered too, whose
// events go to the Application log without a message file
// (learn.microsoft.com/windows/win32/api/winbase/nf-winbase-registereventsourcew),
// and ReportEventW keeps the strings as given
// (learn.microsoft.com/windows/win32/api/winbase/nf-winbase-reporteventw). A
// source's registration is its key under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application, in the
// simulated registry like any other key
// (learn.microsoft.com/windows/win32/eventlog/event-sources).
bool SimulatedWorkstation::ReportEvent(const char* source, DWORD type, DWORD eventId, const char* text) {
    if (m_state->Injected("ReportEvent", std::to_string(eventId))) return false;
    if (!source || !text) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    m_state->events.push_back({source, type, eventId, text});
    m_state->calls.push_back("ReportEvent " + std::string(source) + " " + std::to_string(eventId) + " type " +
                             std::to_string(type));
    return true;
}

}  // namespace vk::sim
