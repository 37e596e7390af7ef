#include "cleanup/inf_id_search.h"

#include <cstdint>
#include <cstring>

// SSE2 is part of every x86-64 processor; other builds search a word at a time.
#if defined(__SSE2__) || defined(_M_X64)
#define VK_SEARCH_SSE2 1
#include <emmintrin.h>
#endif

#include "platform/ansi_text.h"

namespace vk {

namespace {

constexpr bool SameBytes(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

constexpr bool EveryIdIsHeadPlusOne() {
    for (const char* id : kScannedIds) {
        if (!SameBytes(id, kScannedIdHead, kScannedIdHeadLength)) return false;
        if (id[kScannedIdHeadLength] == '\0' || id[kScannedIdHeadLength + 1] != '\0') return false;
    }
    return true;
}
static_assert(EveryIdIsHeadPlusOne(), "the search relies on one shared head and one last character per ID");

#ifndef VK_SEARCH_SSE2
constexpr std::uint64_t kEveryByteOne = 0x0101010101010101ull;
constexpr std::uint64_t kEveryByteHigh = 0x8080808080808080ull;

// Whether one of the eight bytes of `word` is zero (exact as a yes or no).
bool HasZeroByte(std::uint64_t word) {
    return ((word - kEveryByteOne) & ~word & kEveryByteHigh) != 0;
}
#endif

// The first position from `from` on, before `end`, that holds `byte`; `end`
// when none does. Several bytes a step: the C library of the Windows build
// searches byte by byte, and every file's text is measured to its end.
std::size_t FindByte(const char* text, std::size_t from, std::size_t end, char byte) {
    std::size_t i = from;
#ifdef VK_SEARCH_SSE2
    const __m128i repeated = _mm_set1_epi8(byte);
    for (; i + 32 <= end; i += 32) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 16));
        const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(low, repeated),
                                                        _mm_cmpeq_epi8(high, repeated)));
        if (hits != 0) break;
    }
#else
    const std::uint64_t repeated = kEveryByteOne * static_cast<unsigned char>(byte);
    for (; i + 8 <= end; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        if (HasZeroByte(word ^ repeated)) break;
    }
#endif
    for (; i < end; ++i) {
        if (text[i] == byte) return i;
    }
    return end;
}

// The table index of an ID ending in `last`, or -1.
int IdEndingIn(char last) {
    for (std::size_t i = 0; i < kScannedIdCount; ++i) {
        if (kScannedIds[i][kScannedIdHeadLength] == last) return static_cast<int>(i);
    }
    return -1;
}

// Where the search looks first: the head's '&', with the "B5" before it.
// Hardware IDs have one '&' where they have several letters and backslashes,
// prose has almost none, and few other makers' IDs have "B5" before theirs.
constexpr std::size_t kAnchor = 12;
static_assert(kScannedIdHead[kAnchor] == '&' && kScannedIdHead[kAnchor - 1] == '5' &&
                  kScannedIdHead[kAnchor - 2] == 'B',
              "anchor moved");

bool AnchorEndsAt(const char* text, std::size_t at) {
    return text[at] == kScannedIdHead[kAnchor] && text[at - 1] == kScannedIdHead[kAnchor - 1] &&
           text[at - 2] == kScannedIdHead[kAnchor - 2];
}

// The first position from `from` (at least 2) on, before `end`, where the
// anchor's three bytes end; `end` when none does.
std::size_t FindAnchor(const char* text, std::size_t from, std::size_t end) {
    std::size_t i = from;
#ifdef VK_SEARCH_SSE2
    const __m128i last = _mm_set1_epi8(kScannedIdHead[kAnchor]);
    const __m128i middle = _mm_set1_epi8(kScannedIdHead[kAnchor - 1]);
    const __m128i first = _mm_set1_epi8(kScannedIdHead[kAnchor - 2]);
    for (; i + 16 <= end; i += 16) {
        const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i one = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i - 1));
        const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i - 2));
        const __m128i all = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(at, last), _mm_cmpeq_epi8(one, middle)),
                                          _mm_cmpeq_epi8(two, first));
        if (_mm_movemask_epi8(all) != 0) break;
    }
    for (; i < end; ++i) {
        if (AnchorEndsAt(text, i)) return i;
    }
    return end;
#else
    for (;; ++i) {
        i = FindByte(text, i, end, kScannedIdHead[kAnchor]);
        if (i == end || AnchorEndsAt(text, i)) return i;
    }
#endif
}

// Tells whether `at` begins a character, on a double-byte code page. Bytes
// from `floor`, a known boundary, up to `at` are read backwards: the byte
// before a run of lead bytes ends a character, so `at` is a boundary exactly
// when the run before it has even length.
bool AtBoundary(const char* text, std::size_t floor, std::size_t at, const AnsiCodePage& codePage) {
    std::size_t run = 0;
    while (at - run > floor && codePage.IsLeadByte(static_cast<unsigned char>(text[at - run - 1]))) ++run;
    return run % 2 == 0;
}

}  // namespace

std::size_t TextLength(const char* text, std::size_t length) {
    return FindByte(text, 0, length, '\0');
}

int FindScannedId(const char* text, std::size_t length, const AnsiCodePage& codePage) {
    const std::size_t idLength = kScannedIdHeadLength + 1;
    if (length < idLength) return -1;
    const std::size_t lastStart = length - idLength;
    const bool doubleByte = codePage.IsDoubleByte();

    int found = -1;
    // A position known to begin a character; it only moves forward, so the
    // boundary checks read each byte at most once.
    std::size_t floor = 0;
    const std::size_t end = lastStart + kAnchor + 1;
    for (std::size_t from = kAnchor; from < end;) {
        const std::size_t hit = FindAnchor(text, from, end);
        if (hit == end) break;
        const std::size_t start = hit - kAnchor;
        from = hit + 1;
        if (!SameBytes(text + start, kScannedIdHead, kScannedIdHeadLength)) continue;
        const int id = IdEndingIn(text[start + kScannedIdHeadLength]);
        // Only an earlier table entry can change the answer.
        if (id < 0 || (found >= 0 && id >= found)) continue;
        if (doubleByte) {
            const bool boundary = AtBoundary(text, floor, start, codePage);
            floor = boundary ? start : start + 1;
            if (!boundary) continue;
        }
        found = id;
        if (found == 0) break;
    }
    return found;
}

}  // namespace vk
