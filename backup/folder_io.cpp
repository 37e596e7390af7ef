#include "backup/folder_io.h"

#include <algorithm>

#include "cleanup/handles.h"

namespace vk {

namespace {

// Written and read in pieces the 32-bit length of the file calls can carry.
constexpr std::size_t kPiece = 1u << 20;

}  // namespace

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
    }
    return lines;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

DWORD CreateFolders(IPlatform& platform, const std::string& path, bool protect) {
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    FileAttributeData status{};
    if (platform.GetFileAttributesEx(path.c_str(), &status)) {
        return (status.attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ERROR_ALREADY_EXISTS;
    }
    // A drive ("C:") or a share's root is not created; the folders below it are.
    const std::string parent = FolderOf(path);
    if (!parent.empty() && parent.back() != ':' && parent.find_first_not_of('\\') != std::string::npos) {
        const DWORD code = CreateFolders(platform, parent, protect);
        if (code != 0) return code;
    }
    if (protect ? platform.CreateProtectedDirectory(path.c_str()) : platform.CreateDirectory(path.c_str()))
        return 0;
    const DWORD code = platform.GetLastError();
    return code == ERROR_ALREADY_EXISTS ? 0 : code;
}

}  // namespace

DWORD CreateFolderPath(IPlatform& platform, const std::string& path) {
    return CreateFolders(platform, path, false);
}

DWORD CreateProtectedFolderPath(IPlatform& platform, const std::string& path) {
    return CreateFolders(platform, path, true);
}

DWORD WriteNewFile(IPlatform& platform, const std::string& path, const std::string& bytes) {
    FileHolder file(platform, platform.CreateFile(path.c_str(), GENERIC_WRITE, 0, CREATE_NEW));
    if (!file.valid()) return platform.GetLastError();
    for (std::size_t at = 0; at < bytes.size();) {
        const DWORD piece = static_cast<DWORD>(std::min(kPiece, bytes.size() - at));
        DWORD written = 0;
        if (!platform.WriteFile(file.get(), bytes.data() + at, piece, &written))
            return platform.GetLastError();
        if (written == 0) return ERROR_HANDLE_EOF;
        at += written;
    }
    return 0;
}

DWORD ReadWholeFile(IPlatform& platform, const std::string& path, std::size_t limit, std::string* bytes) {
    bytes->clear();
    FileHolder file(platform,
                    platform.CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    if (!file.valid()) return platform.GetLastError();
    std::uint64_t size = 0;
    if (!platform.GetFileSizeEx(file.get(), &size)) return platform.GetLastError();
    if (size > limit) return ERROR_FILE_TOO_LARGE;
    bytes->resize(static_cast<std::size_t>(size));
    for (std::size_t at = 0; at < bytes->size();) {
        const DWORD piece = static_cast<DWORD>(std::min(kPiece, bytes->size() - at));
        DWORD read = 0;
        if (!platform.ReadFile(file.get(), &(*bytes)[at], piece, &read)) return platform.GetLastError();
        if (read == 0) return ERROR_HANDLE_EOF;
        at += read;
    }
    return 0;
}

DWORD CopyFolder(IPlatform& platform, const std::string& from, const std::string& to) {
    DWORD code = CreateFolderPath(platform, to);
    if (code != 0) return code;
    FindData found{};
    FindHolder search(platform, platform.FindFirstFile((from + "\\*").c_str(), &found));
    if (!search.valid()) return platform.GetLastError();
    for (;;) {
        const std::string name = found.fileName;
        if (name != "." && name != "..") {
            const std::string source = from + "\\" + name;
            const std::string target = to + "\\" + name;
            if (found.attributes & FILE_ATTRIBUTE_DIRECTORY) {
                code = CopyFolder(platform, source, target);
            } else if (!platform.CopyFile(source.c_str(), target.c_str(), true)) {
                code = platform.GetLastError();
            }
            if (code != 0) return code;
        }
        if (!platform.FindNextFile(search.get(), &found)) {
            code = platform.GetLastError();
            return code == ERROR_NO_MORE_FILES ? 0 : code;
        }
    }
}

}  // namespace vk
