// Turns the diagnostic log on into a temporary file and reads back what was
// written, byte for byte. The activity entries (what a logged pass did) are
// left out unless asked for, so tests of the failure messages see only those.
#pragma once

#include <cstdio>
#include <string>

#include "diag/log.h"

namespace vk::test {

class LogCapture {
public:
    explicit LogCapture(CDiagnosticLog& log, bool activity = false) : m_file(std::tmpfile()) {
        log.m_logFile = m_file;
        log.m_logEnabled = true;
        log.m_logActivity = activity;
    }
    ~LogCapture() {
        if (m_file) std::fclose(m_file);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string Text() const {
        std::string text;
        if (!m_file) return text;
        std::fflush(m_file);
        long end = std::ftell(m_file);
        std::rewind(m_file);
        text.resize(static_cast<std::size_t>(end));
        std::size_t got = std::fread(&text[0], 1, text.size(), m_file);
        text.resize(got);
        std::fseek(m_file, 0, SEEK_END);
        return text;
    }

private:
    std::FILE* m_file;
};

}  // namespace vk::test
