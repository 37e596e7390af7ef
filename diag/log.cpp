#include "diag/log.h"

namespace vk {

namespace {

const char* Prefix(std::uint32_t level) {
    if (level == LogLevelError) return "[ERROR] : ";
    if (level == LogLevelInfo) return "[INFO] : ";
    return "";
}

void Write(std::FILE* file, const std::string& entry) {
    // Byte for byte: the entry is never used as a format.
    std::fwrite(entry.data(), 1, entry.size(), file);
}

}  // namespace

void ExpandMessagePattern(IPlatform& platform, std::string& target, const char* pattern, const char* insert) {
    // The platform's formatting would read through a null insert; no name
    // stands in its place.
    if (insert == nullptr) insert = "";
    std::string expanded;
    if (platform.FormatStringMessage(pattern, insert, &expanded) != 0) {
        target = expanded;
    } else {
        // Keep the name, so that the message still says what it is about.
        target = insert;
    }
}

std::string LoadResourceString(IPlatform& platform, unsigned id, int bufferMax) {
    char buffer[260] = {};
    if (bufferMax > static_cast<int>(sizeof buffer)) bufferMax = static_cast<int>(sizeof buffer);
    int length = platform.LoadString(id, buffer, bufferMax);
    if (length <= 0) return std::string();
    if (length >= bufferMax) length = bufferMax - 1;
    return std::string(buffer, static_cast<std::size_t>(length));
}

void CDiagnosticLog::Log(std::uint32_t errorCode, const std::string& text, std::uint32_t level) {
    if (!m_logEnabled) return;
    if (errorCode != 0) {
        std::string systemText;
        if (m_platform.FormatSystemMessage(errorCode, LANG_USER_DEFAULT, &systemText) == 0) return;
        std::string entry = text + "\r\n" + systemText;
        entry.insert(0, Prefix(level));
        entry += "\r\n";
        if (m_logFile) Write(m_logFile, entry);
        return;
    }
    if (!m_logFile) return;
    Write(m_logFile, Prefix(level) + text);
}

void CDiagnosticLog::LogWithLastError(const std::string& text, std::uint32_t level) {
    Log(m_platform.GetLastError(), text, level);
}

}  // namespace vk
