// A System Restore point around the pass (/restorepoint): asked for before
// the pass's first change, ended after it, or cancelled when nothing
// changed. Whatever Windows answers, the pass goes on: System Restore is off
// on many workstations, and /backup is the program's own net.
#pragma once

#include <cstddef>
#include <cstdint>

#include "diag/log.h"

namespace vk {

// The point's description, as System Restore lists it.
extern const char* const kRestorePointDescription;

class CRestorePoint {
public:
    // The point's actions go to `log`'s record, its failures to its log.
    CRestorePoint(IPlatform& platform, CDiagnosticLog& log) : m_platform(platform), m_log(log) {}

    void Begin();
    void End();

private:
    enum class State {
        None,    // no point to end: none was made, or Windows gave an earlier one
        Ours,    // made by this run
        Unsure,  // made, but whether it is an earlier one cannot be told
    };

    // The entry's name in the messages: the description and the sequence number.
    std::string Name() const;

    IPlatform& m_platform;
    CDiagnosticLog& m_log;
    State m_state = State::None;
    std::int64_t m_sequenceNumber = 0;
    // The record's entries from here on are the pass's.
    std::size_t m_passStart = 0;
};

}  // namespace vk
