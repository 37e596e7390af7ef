#include "backup/folder_io.h"

#include <algorithm>
#include <vector>

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

DWORD CreateProtectedFolderPath(IPlatform& platform, const std::string& path) {
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    FileAttributeData status{};
    if (platform.GetFileAttributesEx(path.c_str(), &status)) {
        return (status.attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ERROR_ALREADY_EXISTS;
    }
    // A drive ("C:") or a share's root is not created; the folders below it are.
    const std::string parent = FolderOf(path);
    if (!parent.empty() && parent.back() != ':' && parent.find_first_not_of('\\') != std::string::npos) {
        const DWORD code = CreateProtectedFolderPath(platform, parent);
        if (code != 0) return code;
    }
    if (platform.CreateProtectedDirectory(path.c_str())) return 0;
    const DWORD code = platform.GetLastError();
    return code == ERROR_ALREADY_EXISTS ? 0 : code;
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

// --- Journal ---

namespace {

// The attributes SetFileAttributes can set; the rest (a folder, a
// compressed or encrypted file) is the file system's own.
constexpr DWORD kSettableAttributes = 0x3127;

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

// A SHA-256 fed in pieces.
class Digest {
public:
    explicit Digest(IPlatform& platform) : m_platform(platform), m_hash(platform, platform.CreateSha256()) {
        if (!m_hash.valid()) m_error = platform.GetLastError();
    }
    DWORD Add(const void* data, std::size_t size) {
        if (m_error == 0 && size > 0 && !m_platform.HashData(m_hash.get(), data, static_cast<DWORD>(size)))
            m_error = m_platform.GetLastError();
        return m_error;
    }
    DWORD Finish(std::string* hex) {
        std::uint8_t digest[kSha256Size] = {};
        if (m_error == 0 && !m_platform.FinishHash(m_hash.get(), digest)) m_error = m_platform.GetLastError();
        if (m_error == 0) *hex = Hex(digest, sizeof digest);
        return m_error;
    }

private:
    IPlatform& m_platform;
    HashHolder m_hash;
    DWORD m_error = 0;
};

// Where a copy is written before it takes its name: beside it, under a
// name no scan of oem*.inf can take for an INF.
std::string TemporaryName(const std::string& path) {
    return FolderOf(path) + "\\~" + NameOf(path) + ".tmp";
}

// A new file at `path`; a leftover of a run cut short there (read-only,
// perhaps) is removed first.
FileHandle CreateTemporary(IPlatform& platform, const std::string& path) {
    FileHandle file = platform.CreateFile(path.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
    if (file != kInvalidFileHandle || platform.GetLastError() != ERROR_FILE_EXISTS) return file;
    platform.SetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!platform.DeleteFile(path.c_str())) return kInvalidFileHandle;
    return platform.CreateFile(path.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
}

// A temporary file that did not become its copy goes; a failure to remove
// it leaves a file of ours that the next run removes.
void Discard(IPlatform& platform, const std::string& path) {
    const DWORD code = platform.GetLastError();
    platform.SetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    platform.DeleteFile(path.c_str());
    platform.SetLastError(code);
}

DWORD WriteAll(IPlatform& platform, FileHandle file, const char* data, std::size_t size) {
    for (std::size_t at = 0; at < size;) {
        const DWORD piece = static_cast<DWORD>(std::min(kPiece, size - at));
        DWORD written = 0;
        if (!platform.WriteFile(file, data + at, piece, &written)) return platform.GetLastError();
        if (written == 0) return ERROR_HANDLE_EOF;
        at += written;
    }
    return 0;
}

// The rest of a whole copy once its bytes are written to `temporary`
// (still open as `file`): on the disk, its times and attributes, its name.
DWORD Complete(IPlatform& platform, FileHolder& file, const std::string& temporary, const std::string& to,
               const FileAttributeData* original, bool flush = true) {
    if (flush && !platform.FlushFileBuffers(file.get())) return platform.GetLastError();
    if (original != nullptr && !platform.SetFileTime(file.get(), &original->creationTime,
                                                     &original->lastAccessTime, &original->lastWriteTime))
        return platform.GetLastError();
    file.reset();
    if (original != nullptr) {
        const DWORD attributes = original->attributes & kSettableAttributes;
        if (!platform.SetFileAttributes(temporary.c_str(),
                                        attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL))
            return platform.GetLastError();
    }
    if (!platform.MoveFileEx(temporary.c_str(), to.c_str(), flush ? MOVEFILE_WRITE_THROUGH : 0))
        return platform.GetLastError();
    return 0;
}

}  // namespace

DWORD Sha256Hex(IPlatform& platform, const std::string& bytes, std::string* hex) {
    Digest digest(platform);
    digest.Add(bytes.data(), bytes.size());
    return digest.Finish(hex);
}

DWORD CopyWhole(IPlatform& platform, const std::string& from, const std::string& to,
                const SavedCopy* expected, SavedCopy* made, bool* sizeDiffers) {
    FileAttributeData original{};
    if (!platform.GetFileAttributesEx(from.c_str(), &original)) return platform.GetLastError();
    FileHolder source(platform,
                      platform.CreateFile(from.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    if (!source.valid()) return platform.GetLastError();
    const std::string temporary = TemporaryName(to);
    FileHolder target(platform, CreateTemporary(platform, temporary));
    if (!target.valid()) return platform.GetLastError();
    Digest digest(platform);
    std::vector<char> buffer(kPiece);
    std::uint64_t size = 0;
    DWORD code = 0;
    for (;;) {
        DWORD read = 0;
        if (!platform.ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
            code = platform.GetLastError();
            break;
        }
        if (read == 0) break;
        size += read;
        code = digest.Add(buffer.data(), read);
        if (code == 0) code = WriteAll(platform, target.get(), buffer.data(), read);
        if (code != 0) break;
    }
    source.reset();
    std::string sha256;
    if (code == 0) code = digest.Finish(&sha256);
    if (code == 0 && expected != nullptr && !expected->sha256.empty() &&
        (size != expected->size || sha256 != expected->sha256)) {
        if (sizeDiffers) *sizeDiffers = size != expected->size;
        code = ERROR_FILE_CORRUPT;
    }
    if (code == 0) code = Complete(platform, target, temporary, to, &original);
    if (code != 0) {
        target.reset();
        platform.SetLastError(code);
        Discard(platform, temporary);
        return code;
    }
    if (made) {
        made->size = size;
        made->sha256 = sha256;
    }
    return 0;
}

DWORD WriteWhole(IPlatform& platform, const std::string& path, const std::string& bytes, SavedCopy* made,
                 bool flush) {
    std::string sha256;
    DWORD code = Sha256Hex(platform, bytes, &sha256);
    if (code != 0) return code;
    const std::string temporary = TemporaryName(path);
    FileHolder file(platform, CreateTemporary(platform, temporary));
    if (!file.valid()) return platform.GetLastError();
    code = WriteAll(platform, file.get(), bytes.data(), bytes.size());
    if (code == 0) code = Complete(platform, file, temporary, path, nullptr, flush);
    if (code != 0) {
        file.reset();
        platform.SetLastError(code);
        Discard(platform, temporary);
        return code;
    }
    if (made) {
        made->size = bytes.size();
        made->sha256 = sha256;
    }
    return 0;
}

DWORD ReadCheckedCopy(IPlatform& platform, const std::string& path, const SavedCopy& expected,
                      std::size_t limit, std::string* bytes, bool* sizeDiffers) {
    DWORD code = ReadWholeFile(platform, path, limit, bytes);
    if (code != 0 || expected.sha256.empty()) return code;
    std::string sha256;
    code = Sha256Hex(platform, *bytes, &sha256);
    if (code != 0) return code;
    if (bytes->size() == expected.size && sha256 == expected.sha256) return 0;
    if (sizeDiffers) *sizeDiffers = bytes->size() != expected.size;
    return ERROR_FILE_CORRUPT;
}

DWORD CopyFolder(IPlatform& platform, const std::string& from, const std::string& to, const std::string& base,
                 std::vector<SavedCopy>* copies) {
    DWORD code = CreateProtectedFolderPath(platform, to);
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
                code = CopyFolder(platform, source, target, base, copies);
            } else {
                SavedCopy copy;
                copy.path = target.substr(base.size() + 1);
                code = CopyWhole(platform, source, target, nullptr, &copy);
                if (code == 0) copies->push_back(std::move(copy));
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
