// The simulated user interface and texts: prompts answered from a script,
// the string table, system messages, pattern expansion, the code page and
// the last error.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/simulated/state.h"
#include "res/string_table.h"

namespace vk::sim {

namespace {

// FormatMessage's result buffer holds at most 64K bytes; a longer expansion
// (a huge field width, say) fails instead of being allocated.
constexpr std::size_t kMaxFormattedMessage = 0x10000;

// The insert under a printf-style string format such as "-10s" ("%1!-10s!").
// Only string conversions are meaningful for a string insert.
bool FormatInsert(const std::string& conversionText, const char* insert, std::string* out) {
    std::size_t i = conversionText.find_first_not_of("-+ #0123456789.");
    std::string conversion = i == std::string::npos ? std::string() : conversionText.substr(i);
    if (conversion != "s" && conversion != "hs") return false;
    // The C library pads in time proportional to the width, even when only
    // measuring: a width past the limit fails before formatting.
    const std::string flags = conversionText.substr(0, i);
    const std::size_t digits = flags.find_first_not_of("-+ #0");
    if (digits != std::string::npos &&
        std::strtoul(flags.c_str() + digits, nullptr, 10) >= kMaxFormattedMessage) {
        return false;
    }
    std::string format = "%" + flags + "s";
    int needed = std::snprintf(nullptr, 0, format.c_str(), insert);
    if (needed < 0 || out->size() + static_cast<std::size_t>(needed) >= kMaxFormattedMessage) return false;
    std::string formatted(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(&formatted[0], formatted.size(), format.c_str(), insert);
    formatted.resize(static_cast<std::size_t>(needed));
    *out += formatted;
    return true;
}

// FormatMessage's expansion of a pattern with one string insert (%1). False
// for an insert number other than 1, a bad format or a '%' ending the pattern.
bool ExpandPattern(const char* pattern, const char* insert, std::string* out) {
    const char* value = insert ? insert : "(null)";
    for (const char* p = pattern; *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            // Every line end, bare or not, is written as CR LF.
            if (*p == '\r' && p[1] == '\n') ++p;
            *out += "\r\n";
            continue;
        }
        if (*p != '%') {
            *out += *p;
            continue;
        }
        char next = *++p;
        if (next == '\0') return false;
        if (next >= '1' && next <= '9') {
            int number = next - '0';
            if (p[1] >= '0' && p[1] <= '9') number = number * 10 + (*++p - '0');
            if (number != 1) return false;
            if (p[1] == '!') {
                const char* close = std::strchr(p + 2, '!');
                if (!close || !FormatInsert(std::string(p + 2, close), value, out)) return false;
                p = close;
            } else {
                *out += value;
            }
        } else if (next == '0') {
            return true;
        } else if (next == 'n') {
            *out += "\r\n";
        } else if (next == 'r') {
            *out += '\r';
        } else if (next == 't') {
            *out += '\t';
        } else {
            *out += next;  // "%%", "% ", "%.", "%!" and any other character stand for themselves
        }
    }
    return true;
}

}  // namespace

// FORMAT_MESSAGE_FROM_SYSTEM searches the system's message table only
// (learn.microsoft.com/windows/win32/api/winbase/nf-winbase-formatmessage);
// SetupAPI's own codes (0xE000xxxx, the customer bit set) are not in it, so
// none of them has a text here either.
const std::map<DWORD, std::string>& DefaultSystemMessages() {
    static const std::map<DWORD, std::string> messages = {
        {2, "The system cannot find the file specified.\r\n"},
        {3, "The system cannot find the path specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {6, "The handle is invalid.\r\n"},
        {8, "Not enough memory resources are available to process this command.\r\n"},
        {13, "The data is invalid.\r\n"},
        {18, "There are no more files.\r\n"},
        {38, "Reached the end of the file.\r\n"},
        {31, "A device attached to the system is not functioning.\r\n"},
        {32, "The process cannot access the file because it is being used by another process.\r\n"},
        {87, "The parameter is incorrect.\r\n"},
        {122, "The data area passed to a system call is too small.\r\n"},
        {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
        {206, "The filename or extension is too long.\r\n"},
        {223, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
        {234, "More data is available.\r\n"},
        {259, "No more data is available.\r\n"},
        {1060, "The specified service does not exist as an installed service.\r\n"},
        {1072, "The specified service has been marked for deletion.\r\n"},
        {1784, "The supplied user buffer is not valid for the requested operation.\r\n"},
    };
    return messages;
}

int SimulatedWorkstation::MessageBox(const char* text, const char* caption, DWORD type) {
    if (m_state->Injected("MessageBox", text ? text : "")) return 0;
    int answer = IDOK;
    if (m_state->nextAnswer < m_state->answers.size()) answer = m_state->answers[m_state->nextAnswer++];
    m_state->prompts.push_back(
        {text ? text : "", caption ? caption : "", type, answer, LiveHeapBlocks(), OpenHandles()});
    return answer;
}

int SimulatedWorkstation::LoadString(unsigned id, char* buffer, int bufferMax) {
    // The text calls leave the last error alone, as the win32 layer's do.
    if (m_state->InjectedCode("LoadString", std::to_string(id))) return 0;
    if (!buffer || bufferMax <= 0) return 0;
    for (const StringResource& resource : kStringTable) {
        if (resource.id != id) continue;
        std::size_t length =
            std::min<std::size_t>(std::strlen(resource.text), static_cast<std::size_t>(bufferMax - 1));
        std::memcpy(buffer, resource.text, length);
        buffer[length] = '\0';
        return static_cast<int>(length);
    }
    buffer[0] = '\0';
    return 0;
}

DWORD SimulatedWorkstation::FormatSystemMessage(DWORD messageId, DWORD, std::string* text) {
    if (m_state->InjectedCode("FormatSystemMessage", std::to_string(messageId))) {
        if (text) text->clear();
        return 0;
    }
    if (!text) return 0;
    text->clear();
    auto it = m_state->systemMessages.find(messageId);
    if (it == m_state->systemMessages.end()) return 0;
    *text = it->second;
    return static_cast<DWORD>(text->size());
}

DWORD SimulatedWorkstation::FormatStringMessage(const char* pattern, const char* insert, std::string* text) {
    if (m_state->InjectedCode("FormatStringMessage", pattern ? pattern : "")) {
        if (text) text->clear();
        return 0;
    }
    if (!pattern || !text) return 0;
    text->clear();
    std::string out;
    if (!ExpandPattern(pattern, insert, &out)) return 0;
    if (out.size() >= kMaxFormattedMessage) return 0;
    *text = out;
    return static_cast<DWORD>(out.size());
}

DWORD SimulatedWorkstation::CharUpperBuff(char* text, DWORD length) {
    if (m_state->Injected("CharUpperBuff", std::to_string(length))) return 0;
    if (!text) return 0;
    unsigned char* p = reinterpret_cast<unsigned char*>(text);
    if (m_state->codePage == CodePage::Windows1252) {
        for (DWORD i = 0; i < length; ++i) {
            unsigned char c = p[i];
            if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
                p[i] = static_cast<unsigned char>(c - 0x20);
            } else if (c == 0x9A || c == 0x9C || c == 0x9E) {
                p[i] = static_cast<unsigned char>(c - 0x10);
            } else if (c == 0xFF) {
                p[i] = 0x9F;
            }
        }
        return length;
    }
    for (DWORD i = 0; i < length; ++i) {
        unsigned char c = p[i];
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        if (lead) {
            if (i + 1 >= length) break;  // a lead byte without its trail byte stays
            // Full-width a-z become full-width A-Z.
            if (c == 0x82 && p[i + 1] >= 0x81 && p[i + 1] <= 0x9A)
                p[i + 1] = static_cast<unsigned char>(p[i + 1] - 0x21);
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            p[i] = static_cast<unsigned char>(c - 0x20);
        }
    }
    return length;
}

bool SimulatedWorkstation::GetCPInfo(CodePageInfo* info) {
    if (m_state->Injected("GetCPInfo", "")) return false;
    if (!info) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    *info = CodePageInfo{};
    if (m_state->codePage == CodePage::Windows1252) {
        info->codePage = 1252;
        info->maxCharSize = 1;
    } else {
        info->codePage = 932;
        info->maxCharSize = 2;
        info->leadByteRanges[0][0] = 0x81;
        info->leadByteRanges[0][1] = 0x9F;
        info->leadByteRanges[1][0] = 0xE0;
        info->leadByteRanges[1][1] = 0xFC;
    }
    return true;
}

DWORD SimulatedWorkstation::GetLastError() {
    ++m_state->callCounts["GetLastError"];
    m_state->allCalls.push_back("GetLastError");
    return m_state->lastError;
}

void SimulatedWorkstation::SetLastError(DWORD code) {
    ++m_state->callCounts["SetLastError"];
    m_state->allCalls.push_back("SetLastError " + std::to_string(code));
    m_state->lastError = code;
}

namespace {

// Windows-1252's characters 0x80 to 0x9F; 0 where the code page has none.
constexpr char16_t k1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

void SimulatedWorkstation::GetLocalTime(LocalTime* time) {
    ++m_state->callCounts["GetLocalTime"];
    m_state->allCalls.push_back("GetLocalTime");
    if (time) *time = m_state->localTime;
}

bool SimulatedWorkstation::GetCommonAppDataFolder(std::string* path) {
    if (m_state->Injected("GetCommonAppDataFolder", "")) return false;
    if (!path) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    *path = "C:\\ProgramData";
    return true;
}

// Only Windows-1252 converts: texts on the double-byte code page are ASCII
// in the tests that convert them.
bool SimulatedWorkstation::AnsiToUtf16(const std::string& text, std::u16string* wide) {
    if (m_state->Injected("AnsiToUtf16", text)) return false;
    wide->clear();
    for (unsigned char c : text) {
        if (m_state->DoubleByte() && c >= 0x80) return m_state->Error(ERROR_NO_UNICODE_TRANSLATION, false);
        const char16_t mapped = c >= 0x80 && c < 0xA0 ? k1252High[c - 0x80] : c;
        // Windows maps the five unassigned bytes to the control characters of the same value.
        *wide += mapped != 0 || c == 0 ? mapped : static_cast<char16_t>(c);
    }
    return true;
}

bool SimulatedWorkstation::Utf16ToAnsi(const std::u16string& wide, std::string* text) {
    if (m_state->Injected("Utf16ToAnsi", "")) return false;
    text->clear();
    for (char16_t c : wide) {
        int byte = -1;
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) byte = c;
        for (int i = 0; i < 32 && byte < 0; ++i) {
            if (k1252High[i] == c || (k1252High[i] == 0 && c == 0x80 + i)) byte = 0x80 + i;
        }
        if (byte < 0 || (m_state->DoubleByte() && byte >= 0x80))
            return m_state->Error(ERROR_NO_UNICODE_TRANSLATION, false);
        *text += static_cast<char>(byte);
    }
    return true;
}

}  // namespace vk::sim
