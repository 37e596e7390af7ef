// The log's activity entries: one Info entry "<subject> : <what happened>" for
// each reader selected and each action whose outcome a support technician
// reads there. Failures other than a device's removal are not repeated: the
// diagnostic message written where they happen already says them.
#pragma once

#include "diag/log.h"

namespace vk {

class CActivityLog final : public IRunRecordObserver {
public:
    CActivityLog(CDiagnosticLog& log, IPlatform& platform) : m_log(log), m_platform(platform) {}

    void DeviceSelected(const SelectedDevice& device) override;
    void EntryAdded(const RunEntry& entry) override;

private:
    // With a code, the system's text for it follows.
    void Write(const std::string& name, unsigned resource, std::uint32_t errorCode = 0);

    CDiagnosticLog& m_log;
    IPlatform& m_platform;
};

}  // namespace vk
