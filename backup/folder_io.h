// The file operations a backup and a restore are made of, each through the
// platform and each giving the system's error code (0 on success).
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vk {

// Creates `path` and every missing folder above it; one that exists is fine.
DWORD CreateFolderPath(IPlatform& platform, const std::string& path);
// The same, each folder it creates with the program's own security (owner
// Administrators, SYSTEM and Administrators alone, nothing inherited).
DWORD CreateProtectedFolderPath(IPlatform& platform, const std::string& path);
// Writes a new file (never replacing one) with exactly these bytes.
DWORD WriteNewFile(IPlatform& platform, const std::string& path, const std::string& bytes);
// Reads a whole file, up to `limit` bytes (ERROR_FILE_TOO_LARGE beyond).
DWORD ReadWholeFile(IPlatform& platform, const std::string& path, std::size_t limit, std::string* bytes);
// Copies every file of `from` (with its subfolders) into `to`, created as
// needed, each keeping its attributes and times.
DWORD CopyFolder(IPlatform& platform, const std::string& from, const std::string& to);
// The folder of a path (without its final separator), and its file name.
// The lines of a text, without their CR LF or LF ends.
std::vector<std::string> TextLines(const std::string& text);
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

}  // namespace vk
