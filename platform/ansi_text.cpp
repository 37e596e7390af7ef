#include "platform/ansi_text.h"

#include <cstring>

namespace vk {

namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

}  // namespace

AnsiCodePage::AnsiCodePage(IPlatform& platform) : m_platform(platform) {
    CodePageInfo info{};
    if (!m_platform.GetCPInfo(&info) || info.maxCharSize < 2) return;
    m_doubleByte = true;
    for (const auto& range : info.leadByteRanges) {
        if (range[0] == 0 && range[1] == 0) break;
        for (unsigned b = range[0]; b <= range[1] && b < 256; ++b) m_lead[b] = true;
    }
}

void AnsiCodePage::UpperInPlace(char* text, std::size_t length) const {
    // CharUpperBuff takes a 32-bit count; convert in slices that never split
    // a double-byte character.
    constexpr std::size_t kSlice = 0x40000000;
    while (length > 0) {
        std::size_t slice = length < kSlice ? length : kSlice;
        if (slice < length && m_doubleByte) {
            std::size_t boundary = 0;
            for (std::size_t i = 0; i < slice;) {
                std::size_t step = (m_lead[static_cast<unsigned char>(text[i])] && i + 1 < length) ? 2 : 1;
                if (i + step > slice) break;
                i += step;
                boundary = i;
            }
            slice = boundary;
        }
        m_platform.CharUpperBuff(text, static_cast<DWORD>(slice));
        text += slice;
        length -= slice;
    }
}

int AnsiCodePage::CompareNoCase(const char* a, const char* b) const {
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
    for (;;) {
        char ca[2] = {};
        char cb[2] = {};
        std::size_t na = NextFolded(pa, ca);
        std::size_t nb = NextFolded(pb, cb);
        int diff = std::memcmp(ca, cb, 2);
        if (diff != 0) return diff;
        if (na != nb) return na < nb ? -1 : 1;
        if (na == 0) return 0;
        pa += na;
        pb += nb;
    }
}

std::string AnsiCodePage::Folded(const char* text) const {
    std::string folded;
    const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
    for (;;) {
        char character[2] = {};
        const std::size_t length = NextFolded(at, character);
        if (length == 0) return folded;
        folded.append(character, length);
        at += length;
    }
}

std::size_t AnsiCodePage::NextFolded(const unsigned char* s, char folded[2]) const {
    if (*s == 0) return 0;
    if (m_doubleByte && m_lead[*s] && s[1] != 0) {
        folded[0] = static_cast<char>(s[0]);
        folded[1] = static_cast<char>(s[1]);
        m_platform.CharUpperBuff(folded, 2);
        return 2;
    }
    folded[0] = static_cast<char>(FoldAscii(*s));
    return 1;
}

}  // namespace vk
