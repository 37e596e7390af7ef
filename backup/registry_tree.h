// A registry key with all its values and subkeys, read into the form of a
// .reg file, and written back without replacing anything that is there.
#pragma once

#include <string>
#include <vector>

#include "backup/reg_file.h"
#include "platform/platform.h"

namespace vk {

constexpr const char* kLocalMachineName = "HKEY_LOCAL_MACHINE";

// Reads `subKey` (below HKEY_LOCAL_MACHINE) and every key below it, each
// before its subkeys. With `skipRefused`, a subkey the system does not let
// administrators read (a device's Properties) is left out; else it fails the
// read. 0 or the error code.
LONG ReadKeyTree(IPlatform& platform, const std::string& subKey, bool skipRefused,
                 std::vector<RegFileKey>* keys);

// Creates the keys that are missing and writes the values that are absent;
// whatever exists is left as it is, unless `replace` (for a key the caller
// has just created, whose values are its own). Keys outside
// HKEY_LOCAL_MACHINE are refused (ERROR_INVALID_DATA). 0 or the error code.
LONG WriteKeyTree(IPlatform& platform, const std::vector<RegFileKey>& keys, bool replace = false);

}  // namespace vk
