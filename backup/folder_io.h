// The file operations a backup and a restore are made of, each through the
// platform and each giving the system's error code (0 on success).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vk {

// Creates `path` and every missing folder above it, each with the program's
// own security (owner Administrators, SYSTEM and Administrators alone,
// nothing inherited): no folder of a backup, down to the copies' own, takes
// what its parent would hand down. One that exists is fine.
DWORD CreateProtectedFolderPath(IPlatform& platform, const std::string& path);
// Reads a whole file, up to `limit` bytes (ERROR_FILE_TOO_LARGE beyond).
DWORD ReadWholeFile(IPlatform& platform, const std::string& path, std::size_t limit, std::string* bytes);
// --- Journal ---
// One file of an item's copy: its path (relative to the backup folder in a
// manifest), size and SHA-256 (64 lower-case hex digits; empty where a
// version 1 manifest gives none).
struct SavedCopy {
    std::string path;
    std::uint64_t size = 0;
    std::string sha256;
};

// The SHA-256 of `bytes` in lower-case hex.
DWORD Sha256Hex(IPlatform& platform, const std::string& bytes, std::string* hex);
// A copy that is whole or absent: `from` is copied under a temporary name
// beside `to` (a leftover of an earlier run is removed first), flushed to the
// disk, given the original's attributes and three times, and only then
// renamed to `to` with MOVEFILE_WRITE_THROUGH, never over a file that is
// there (ERROR_ALREADY_EXISTS). With `expected`, a source whose size or
// SHA-256 differs from it is not put in place: ERROR_FILE_CORRUPT, and
// *sizeDiffers tells which. `made` gets the size and SHA-256 of what was
// copied. 0 or the error code.
DWORD CopyWhole(IPlatform& platform, const std::string& from, const std::string& to,
                const SavedCopy* expected, SavedCopy* made, bool* sizeDiffers = nullptr);
// The same for bytes of the program's own: a new file, whole or absent.
// Without `flush` (a record that nothing is put back from) it is whole or
// absent when the run is killed, not when the power goes.
DWORD WriteWhole(IPlatform& platform, const std::string& path, const std::string& bytes, SavedCopy* made,
                 bool flush = true);
// Reads a saved copy whole and checks it against its size and SHA-256 (none
// to check in a version 1 manifest): ERROR_FILE_CORRUPT, *sizeDiffers telling
// which, when it differs.
DWORD ReadCheckedCopy(IPlatform& platform, const std::string& path, const SavedCopy& expected,
                      std::size_t limit, std::string* bytes, bool* sizeDiffers);
// Copies every file of `from` (with its subfolders) into `to`, created as
// needed, each with CopyWhole; `copies` gets each copy, its path relative to
// `base` (a folder above `to`, without its final separator).
DWORD CopyFolder(IPlatform& platform, const std::string& from, const std::string& to, const std::string& base,
                 std::vector<SavedCopy>* copies);
// The folder of a path (without its final separator), and its file name.
// The lines of a text, without their CR LF or LF ends.
std::vector<std::string> TextLines(const std::string& text);
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

}  // namespace vk
