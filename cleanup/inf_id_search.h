// The search of an upper-cased INF text for the readers' hardware IDs. The
// five scanned IDs differ only in their last character, so the text is
// searched once for their common head and the character after each
// occurrence decides which ID, if any, it is.
#pragma once

#include <cstddef>

namespace vk {

class AnsiCodePage;

// Upper case already, in table order. PID_0012 is not among them: an INF
// naming only that reader is never found by content.
constexpr const char* kScannedIds[] = {
    "USB\\VID_C2B5&PID_000A", "USB\\VID_C2B5&PID_000B", "USB\\VID_C2B5&PID_000C",
    "USB\\VID_C2B5&PID_000E", "USB\\VID_C2B5&PID_0005",
};
constexpr std::size_t kScannedIdCount = sizeof kScannedIds / sizeof kScannedIds[0];
constexpr const char kScannedIdHead[] = "USB\\VID_C2B5&PID_000";
constexpr std::size_t kScannedIdHeadLength = sizeof kScannedIdHead - 1;

// The length of the text at `text` up to its first zero byte, never past
// `length` bytes. Reads a word at a time: the scan measures every file.
std::size_t TextLength(const char* text, std::size_t length);

// The index in kScannedIds of the first table entry that occurs anywhere in
// `text` (length bytes, upper case) starting at a character boundary, or -1
// when none does. The same answer as searching for each entry in turn.
int FindScannedId(const char* text, std::size_t length, const AnsiCodePage& codePage);

}  // namespace vk
