// The simulated machine as a report names it: its computer name and its clock.
#include <cstring>

#include "platform/simulated/state.h"

namespace vk::sim {

namespace {

constexpr FileTime kOneSecond = 10000000;

}  // namespace

void SimulatedWorkstation::SetComputerName(const std::string& name) {
    m_state->computerName = name;
}

void SimulatedWorkstation::SetClock(FileTime firstReading) {
    m_state->clock = firstReading;
}

FileTime SimulatedWorkstation::GetSystemTimeAsFileTime() {
    ++m_state->callCounts["GetSystemTimeAsFileTime"];
    m_state->allCalls.push_back("GetSystemTimeAsFileTime");
    const FileTime now = m_state->clock;
    m_state->clock += kOneSecond;
    return now;
}

bool SimulatedWorkstation::GetComputerName(char* buffer, DWORD* size) {
    if (m_state->Injected("GetComputerName", "")) return false;
    const std::string& name = m_state->computerName;
    // As documented for GetComputerNameA: the size with the terminator is
    // needed, and given back when the buffer is too small.
    if (!size || !buffer || *size <= name.size()) {
        if (size) *size = static_cast<DWORD>(name.size() + 1);
        return m_state->Error(ERROR_BUFFER_OVERFLOW, false);
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return true;
}

}  // namespace vk::sim
