#include "cleanup/inf_id_search.h"

#include <cstring>

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

// The table index of an ID ending in `last`, or -1.
int IdEndingIn(char last) {
    for (std::size_t i = 0; i < kScannedIdCount; ++i) {
        if (kScannedIds[i][kScannedIdHeadLength] == last) return static_cast<int>(i);
    }
    return -1;
}

// The head's rarest character in INF text: hardware IDs have one '&' where
// they have several letters and backslashes, and prose has almost none.
constexpr std::size_t kAnchor = 12;
static_assert(kScannedIdHead[kAnchor] == '&', "anchor moved");

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

int FindScannedId(const char* text, std::size_t length, const AnsiCodePage& codePage) {
    const std::size_t idLength = kScannedIdHeadLength + 1;
    if (length < idLength) return -1;
    const std::size_t lastStart = length - idLength;
    const bool doubleByte = codePage.IsDoubleByte();

    int found = -1;
    // A position known to begin a character; it only moves forward, so the
    // boundary checks read each byte at most once.
    std::size_t floor = 0;
    for (std::size_t from = kAnchor; from <= lastStart + kAnchor;) {
        const void* hit = std::memchr(text + from, kScannedIdHead[kAnchor], lastStart + kAnchor - from + 1);
        if (!hit) break;
        const std::size_t start = static_cast<std::size_t>(static_cast<const char*>(hit) - text) - kAnchor;
        from = start + kAnchor + 1;
        if (std::memcmp(text + start, kScannedIdHead, kScannedIdHeadLength) != 0) continue;
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
