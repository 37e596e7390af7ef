// Registry keys as the text regedit exports ("Windows Registry Editor
// Version 5.00", UTF-16LE with a byte-order mark, CR LF line ends), which
// `reg import` and regedit read back, and the reading of such a text for the
// restore. Names and string data are UTF-16 here: the caller converts them
// from and to the process code page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/winconst.h"

namespace vk {

struct RegFileValue {
    std::u16string name;  // empty: the key's default value, written @
    DWORD type = REG_NONE;
    // As the wide registry functions store it: UTF-16LE for the string types.
    std::vector<std::uint8_t> data;
};

struct RegFileKey {
    std::u16string path;  // full, from the root's name: HKEY_LOCAL_MACHINE\SYSTEM\...
    std::vector<RegFileValue> values;
};

// The whole file's bytes, keys in the order given (a key before its subkeys,
// as regedit writes them).
std::vector<std::uint8_t> WriteRegFile(const std::vector<RegFileKey>& keys);

// Reads a file of the form WriteRegFile writes (and the long hex lines regedit
// continues with a backslash). False when it is not such a file.
bool ReadRegFile(const std::vector<std::uint8_t>& bytes, std::vector<RegFileKey>* keys);

}  // namespace vk
