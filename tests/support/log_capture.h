// Turns the diagnostic log on into a file of a workstation of its own (so
// that the workstation under test sees none of the log's calls) and reads
// back what was written, byte for byte. The activity entries (what a logged
// pass did) are left out unless asked for, so tests of the failure messages
// see only those.
#pragma once

#include <string>

#include "diag/log.h"
#include "platform/simulated/simulated.h"

namespace vk::test {

class LogCapture {
public:
    explicit LogCapture(CDiagnosticLog& log, bool activity = false)
        : m_file(m_disk.CreateFileNoFollow(kPath, FILE_APPEND_DATA, FILE_SHARE_READ, CREATE_NEW, 0)) {
        log.m_logFile = m_file;
        log.m_logFiles = &m_disk;
        log.m_logEnabled = m_file != kInvalidFileHandle;
        log.m_logActivity = activity;
    }
    ~LogCapture() { m_disk.CloseHandle(m_file); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string Text() const {
        const sim::File* file = m_disk.FindFile(kPath);
        return file != nullptr ? file->content : std::string();
    }

private:
    static constexpr const char* kPath = "C:\\capture.log";
    sim::SimulatedWorkstation m_disk;
    FileHandle m_file;
};

}  // namespace vk::test
