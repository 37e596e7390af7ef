// A path in the 261-character buffer of the ANSI file functions. A piece that
// would not fit is refused as a whole, so a long path is never cut down into
// another, existing one; the full text that was meant is kept for the message.
#pragma once

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace vk {

class PathBuffer {
public:
    // The Windows directory, as the platform returns it. False when it cannot
    // be read or does not fit the buffer.
    bool StartWithWindowsDirectory(IFileSystem& files) {
        Clear();
        DWORD length = files.GetWindowsDirectory(m_chars, kCapacity);
        if (length == 0 || length >= kCapacity) {
            Clear();
            return false;
        }
        m_length = length;
        m_chars[m_length] = '\0';
        return true;
    }

    // A folder taken from another path, e.g. the pattern of a file search.
    bool Start(const char* text, std::size_t length) {
        Clear();
        return AppendBytes(text, length);
    }

    bool Append(const char* piece) { return AppendBytes(piece, std::strlen(piece)); }

    // False once a piece was refused.
    bool fits() const { return m_overflow.empty(); }
    const char* c_str() const { return m_chars; }
    char* data() { return m_chars; }
    std::size_t length() const { return m_length; }
    // The path as composed, including any refused piece.
    std::string Composed() const { return fits() ? std::string(m_chars, m_length) : m_overflow; }

    static constexpr DWORD kCapacity = MAX_PATH + 1;

private:
    void Clear() {
        m_length = 0;
        m_chars[0] = '\0';
        m_overflow.clear();
    }

    bool AppendBytes(const char* piece, std::size_t length) {
        if (!fits()) {
            m_overflow.append(piece, length);
            return false;
        }
        // The ANSI file functions take fewer than MAX_PATH characters.
        if (m_length + length >= MAX_PATH) {
            m_overflow.assign(m_chars, m_length);
            m_overflow.append(piece, length);
            return false;
        }
        std::memcpy(m_chars + m_length, piece, length);
        m_length += length;
        m_chars[m_length] = '\0';
        return true;
    }

    char m_chars[kCapacity] = {};
    std::size_t m_length = 0;
    std::string m_overflow;
};

}  // namespace vk
