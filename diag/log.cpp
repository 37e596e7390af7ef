#include "diag/log.h"

#include <algorithm>
#include <cstdio>

namespace vk {

namespace {

// SetupAPI's codes are 0xE000xxxx (customer and error bits set); their
// HRESULT form is 0x800Fxxxx (HRESULT_FROM_SETUPAPI).
constexpr std::uint32_t kSetupApiCodeMask = 0xE0000000;
constexpr std::uint32_t kSetupApiHresultBase = 0x800F0000;

const char* Prefix(std::uint32_t level) {
    if (level == LogLevelError) return "[ERROR] : ";
    if (level == LogLevelInfo) return "[INFO] : ";
    return "";
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

std::string SystemTextOrCode(IPlatform& platform, std::uint32_t errorCode) {
    std::string systemText;
    if (platform.FormatSystemMessage(errorCode, LANG_USER_DEFAULT, &systemText) != 0) return systemText;
    // SetupAPI's own codes have no text as they stand; their HRESULT form
    // (facility SetupAPI) often has one.
    if ((errorCode & kSetupApiCodeMask) == kSetupApiCodeMask) {
        const std::uint32_t hresult = kSetupApiHresultBase | (errorCode & 0xFFFF);
        if (platform.FormatSystemMessage(hresult, LANG_USER_DEFAULT, &systemText) != 0) return systemText;
    }
    // A failure without a text is still a failure worth its entry: the code
    // stands where the text would, as a system text stands on its own line.
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X\r\n", static_cast<unsigned>(errorCode));
    return code;
}

void CDiagnosticLog::Log(std::uint32_t errorCode, const std::string& text, std::uint32_t level) {
    WriteEntry(errorCode, text, level, false);
}

void CDiagnosticLog::LogOwnEntry(std::uint32_t errorCode, const std::string& text, std::uint32_t level) {
    WriteEntry(errorCode, text, level, true);
}

void CDiagnosticLog::WriteEntry(std::uint32_t errorCode, const std::string& text, std::uint32_t level,
                                bool freshLine) {
    if (!m_logEnabled || m_logFile == kInvalidFileHandle) return;
    std::string entry = Prefix(level) + text;
    if (errorCode != 0) entry += "\r\n" + SystemTextOrCode(m_platform, errorCode) + "\r\n";
    // The entries without a code keep their bytes, line end or none; the
    // program's own entries start a line of their own after them.
    if (freshLine && m_lineOpen) entry.insert(0, "\r\n");
    WriteToFile(entry);
    m_lineOpen = entry.size() < 2 || entry.compare(entry.size() - 2, 2, "\r\n") != 0;
}

void CDiagnosticLog::WriteToFile(const std::string& entry) {
    IFileSystem& files = m_logFiles != nullptr ? *m_logFiles : m_platform;
    // Byte for byte; the failure being logged keeps its last error, and a
    // log that cannot be written to any more takes nothing else with it.
    const DWORD kept = m_platform.GetLastError();
    for (std::size_t at = 0; at < entry.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(entry.size() - at, 1u << 20));
        DWORD written = 0;
        if (!files.WriteFile(m_logFile, entry.data() + at, piece, &written) || written == 0) break;
        at += written;
    }
    m_platform.SetLastError(kept);
}

void CDiagnosticLog::LogWithLastError(const std::string& text, std::uint32_t level) {
    Log(m_platform.GetLastError(), text, level);
}

}  // namespace vk
