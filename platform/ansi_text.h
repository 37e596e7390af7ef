// ANSI text under the process's code page: in-place upper-casing and the
// case-insensitive comparison of file names.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace vk {

// Length of the string at `text`, never looking past `limit` bytes (data
// from the platform need not be terminated).
inline std::size_t BoundedLength(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}

class AnsiCodePage {
public:
    explicit AnsiCodePage(IPlatform& platform);

    bool IsLeadByte(unsigned char byte) const { return m_lead[byte]; }
    bool IsDoubleByte() const { return m_doubleByte; }

    // Upper-cases `length` bytes in place; a double-byte character is
    // converted as one character.
    void UpperInPlace(char* text, std::size_t length) const;

    // Case-insensitive comparison of two zero-terminated texts: single bytes
    // fold A-Z/a-z only; double-byte characters compare after the code page's
    // upper-casing of the whole character. 0 when equal.
    int CompareNoCase(const char* a, const char* b) const;
    // The text as CompareNoCase sees it: two texts compare equal exactly
    // when their folded forms are equal, so a folded form keys a set.
    std::string Folded(const char* text) const;

private:
    // Bytes of the character at `s` (0 at the terminator), upper-cased into `folded`.
    std::size_t NextFolded(const unsigned char* s, char folded[2]) const;

    IPlatform& m_platform;
    bool m_lead[256] = {};
    bool m_doubleByte = false;
};

}  // namespace vk
