// The simulated file system: case-insensitive paths below existing folders,
// searches, attributes and times, sharing, deletion and deletion at restart.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/simulated/state.h"

namespace vk::sim {

namespace {

// The three kinds of access that sharing modes govern, as FILE_SHARE_ bits.
DWORD SharedAccess(DWORD access) {
    DWORD kinds = 0;
    constexpr DWORD kReading = GENERIC_READ | kGenericExecute | kGenericAll | kFileReadData | kFileExecute;
    if (access & kReading) kinds |= FILE_SHARE_READ;
    if (access & (GENERIC_WRITE | kGenericAll | kFileWriteData | kFileAppendData)) kinds |= FILE_SHARE_WRITE;
    if (access & (DELETE | kGenericAll)) kinds |= kFileShareDelete;
    return kinds;
}

// A file with no attribute left reads back as FILE_ATTRIBUTE_NORMAL, as on Windows.
DWORD Reported(DWORD attributes) {
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return text;
}

}  // namespace

DWORD SimulatedWorkstation::GetWindowsDirectory(char* buffer, DWORD size) {
    if (m_state->Injected("GetWindowsDirectory", "")) return 0;
    const std::string& dir = m_state->windowsDirectory;
    if (!buffer || size < dir.size() + 1) return static_cast<DWORD>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
}

FindHandle SimulatedWorkstation::FindFirstFile(const char* pattern, FindData* data) {
    std::string text = pattern ? pattern : "";
    if (m_state->Injected("FindFirstFile", text)) return kInvalidFindHandle;
    if (!data) return m_state->Error(ERROR_INVALID_PARAMETER, kInvalidFindHandle);
    if (text.size() >= MAX_PATH) return m_state->Error(ERROR_FILENAME_EXCED_RANGE, kInvalidFindHandle);
    const bool doubleByte = m_state->DoubleByte();
    std::string folder = FolderOf(text, doubleByte);
    std::string namePattern = NameOf(text, doubleByte);
    if (HasInvalidPathCharacter(folder, doubleByte))
        return m_state->Error(ERROR_INVALID_NAME, kInvalidFindHandle);
    // The DOS pattern *.* also matches names without a dot.
    if (namePattern == "*.*") namePattern = "*";
    if (!m_state->FolderExists(folder)) return m_state->Error(ERROR_PATH_NOT_FOUND, kInvalidFindHandle);
    std::vector<std::pair<std::string, FindData>> found;
    for (auto& f : m_state->files) {
        if (!SameText(FolderOf(f->path, doubleByte), folder)) continue;
        std::string name = NameOf(f->path, doubleByte);
        if (!Wildcard(namePattern.c_str(), name.c_str())) continue;
        FindData entry{};
        entry.attributes = Reported(f->attributes);
        std::strncpy(entry.fileName, name.c_str(), MAX_PATH - 1);
        found.emplace_back(Upper(name), entry);
    }
    if (found.empty()) return m_state->Error(ERROR_FILE_NOT_FOUND, kInvalidFindHandle);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    State::Search search{{}, 1, text};
    for (auto& entry : found) search.results.push_back(entry.second);
    *data = search.results[0];
    std::uintptr_t handle = m_state->NewHandle();
    m_state->searches[handle] = search;
    return static_cast<FindHandle>(handle);
}

bool SimulatedWorkstation::FindNextFile(FindHandle searchHandle, FindData* data) {
    if (m_state->Injected("FindNextFile", m_state->PatternOf(searchHandle))) return false;
    auto it = m_state->searches.find(static_cast<std::uintptr_t>(searchHandle));
    if (it == m_state->searches.end()) return m_state->Error(ERROR_INVALID_HANDLE, false);
    if (!data) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    State::Search& search = it->second;
    if (search.next >= search.results.size()) return m_state->Error(ERROR_NO_MORE_FILES, false);
    *data = search.results[search.next++];
    return true;
}

bool SimulatedWorkstation::FindClose(FindHandle searchHandle) {
    if (m_state->Injected("FindClose", m_state->PatternOf(searchHandle))) return false;
    if (m_state->searches.erase(static_cast<std::uintptr_t>(searchHandle)) == 0)
        return m_state->Error(ERROR_INVALID_HANDLE, false);
    return true;
}

bool SimulatedWorkstation::GetFileAttributesEx(const char* path, FileAttributeData* data) {
    std::string text = path ? path : "";
    if (m_state->Injected("GetFileAttributesEx", text)) return false;
    if (!path || !data) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    if (DWORD error = m_state->CheckPath(text)) return m_state->Error(error, false);
    if (File* file = m_state->FindFileEntry(text)) {
        *data = {Reported(file->attributes), file->creationTime, file->lastAccessTime, file->lastWriteTime,
                 file->content.size()};
        return true;
    }
    if (m_state->FolderExists(text)) {
        *data = {FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0, 0};
        return true;
    }
    m_state->lastError = ERROR_FILE_NOT_FOUND;
    return false;
}

bool SimulatedWorkstation::SetFileAttributes(const char* path, DWORD attributes) {
    std::string text = path ? path : "";
    if (m_state->Injected("SetFileAttributes", text)) return false;
    if (DWORD error = m_state->CheckPath(text)) return m_state->Error(error, false);
    File* file = m_state->FindFileEntry(text);
    if (!file) return m_state->Error(ERROR_FILE_NOT_FOUND, false);
    // FILE_ATTRIBUTE_NORMAL counts only alone, where it means "none"; the
    // directory bit cannot be set.
    file->attributes = attributes & ~(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY);
    m_state->calls.push_back("SetFileAttributes " + text + " " + Hex(attributes));
    return true;
}

FileHandle SimulatedWorkstation::CreateFile(const char* path, DWORD access, DWORD shareMode,
                                            DWORD disposition) {
    std::string text = path ? path : "";
    if (m_state->Injected("CreateFile", text)) return kInvalidFileHandle;
    if (DWORD error = m_state->CheckPath(text)) return m_state->Error(error, kInvalidFileHandle);
    if (m_state->FolderExists(text)) {
        m_state->lastError = ERROR_ACCESS_DENIED;  // a folder is not opened as a file
        return kInvalidFileHandle;
    }
    // Opening an existing file, and creating a new one, are modelled.
    if (disposition != OPEN_EXISTING && disposition != CREATE_NEW)
        return m_state->Error(ERROR_INVALID_PARAMETER, kInvalidFileHandle);
    File* file = m_state->FindFileEntry(text);
    if (disposition == CREATE_NEW) {
        if (file) return m_state->Error(ERROR_FILE_EXISTS, kInvalidFileHandle);
        file = &AddFile(text);
        m_state->calls.push_back("CreateFile " + text);
    }
    if (!file) return m_state->Error(ERROR_FILE_NOT_FOUND, kInvalidFileHandle);
    // A symbolic link is followed to its target.
    if (!file->reparseTarget.empty()) {
        file = m_state->FindFileEntry(file->reparseTarget);
        if (!file) return m_state->Error(ERROR_FILE_NOT_FOUND, kInvalidFileHandle);
    }
    return m_state->OpenEntry(file, access, shareMode);
}

FileHandle SimulatedWorkstation::State::OpenEntry(File* file, DWORD access, DWORD shareMode) {
    // Sharing governs only reading, writing and deleting: an open for none of
    // them (attributes only) neither conflicts nor is conflicted with. Each
    // side must admit what the other does.
    DWORD kinds = SharedAccess(access);
    bool conflict = kinds != 0 && file->heldOpenByOtherProgram;
    // The other reader admits everything; this open must admit its reading.
    if (kinds != 0 && file->readByOtherProgram && (shareMode & FILE_SHARE_READ) == 0) conflict = true;
    for (auto& open : openFiles) {
        const State::OpenFile& other = open.second;
        DWORD otherKinds = SharedAccess(other.access);
        if (other.file != file || kinds == 0 || otherKinds == 0) continue;
        if ((kinds & ~other.share) != 0 || (otherKinds & ~shareMode) != 0) conflict = true;
    }
    if (conflict) return Error(ERROR_SHARING_VIOLATION, kInvalidFileHandle);
    if ((kinds & (FILE_SHARE_WRITE | kFileShareDelete)) && (file->attributes & FILE_ATTRIBUTE_READONLY))
        return Error(ERROR_ACCESS_DENIED, kInvalidFileHandle);
    std::uintptr_t handle = NewHandle();
    openFiles[handle] = {file, access, shareMode, 0};
    return static_cast<FileHandle>(handle);
}

bool SimulatedWorkstation::SetFileTime(FileHandle fileHandle, const FileTime* creation,
                                       const FileTime* lastAccess, const FileTime* lastWrite) {
    auto it = m_state->openFiles.find(static_cast<std::uintptr_t>(fileHandle));
    if (m_state->Injected("SetFileTime", it == m_state->openFiles.end() ? "" : it->second.file->path))
        return false;
    if (it == m_state->openFiles.end()) return m_state->Error(ERROR_INVALID_HANDLE, false);
    if (!(it->second.access & (GENERIC_WRITE | kGenericAll | kFileWriteAttributes)))
        return m_state->Error(ERROR_ACCESS_DENIED, false);
    File* file = it->second.file;
    // Windows also keeps a time whose value is 0, and ~0 means "keep" too.
    auto store = [](FileTime* target, const FileTime* value) {
        if (value && *value != 0 && *value != ~FileTime{0}) *target = *value;
    };
    store(&file->creationTime, creation);
    store(&file->lastAccessTime, lastAccess);
    store(&file->lastWriteTime, lastWrite);
    m_state->calls.push_back("SetFileTime " + file->path);
    return true;
}

bool SimulatedWorkstation::GetFileSizeEx(FileHandle fileHandle, std::uint64_t* size) {
    if (m_state->Injected("GetFileSizeEx", m_state->PathOf(fileHandle))) return false;
    auto it = m_state->openFiles.find(static_cast<std::uintptr_t>(fileHandle));
    if (it == m_state->openFiles.end()) return m_state->Error(ERROR_INVALID_HANDLE, false);
    if (!size) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    *size = it->second.file->content.size();
    return true;
}

bool SimulatedWorkstation::ReadFile(FileHandle fileHandle, void* buffer, DWORD toRead, DWORD* read) {
    if (m_state->Injected("ReadFile", m_state->PathOf(fileHandle))) return false;
    auto it = m_state->openFiles.find(static_cast<std::uintptr_t>(fileHandle));
    if (it == m_state->openFiles.end()) return m_state->Error(ERROR_INVALID_HANDLE, false);
    if (!(SharedAccess(it->second.access) & FILE_SHARE_READ))
        return m_state->Error(ERROR_ACCESS_DENIED, false);
    if (!buffer && toRead > 0) return m_state->Error(kErrorNoAccess, false);
    const std::string& content = it->second.file->content;
    std::uint64_t position = it->second.position;
    std::uint64_t left = position < content.size() ? content.size() - position : 0;
    DWORD count = static_cast<DWORD>(std::min<std::uint64_t>(toRead, left));
    if (count > 0) std::memcpy(buffer, content.data() + position, count);
    it->second.position += count;
    if (read) *read = count;
    return true;
}

bool SimulatedWorkstation::CloseHandle(FileHandle fileHandle) {
    if (m_state->Injected("CloseHandle", m_state->PathOf(fileHandle))) return false;
    if (m_state->openFiles.erase(static_cast<std::uintptr_t>(fileHandle)) == 0 &&
        m_state->folderHandles.erase(static_cast<std::uintptr_t>(fileHandle)) == 0)
        return m_state->Error(ERROR_INVALID_HANDLE, false);
    return true;
}

bool SimulatedWorkstation::DeleteFile(const char* path) {
    std::string text = path ? path : "";
    if (m_state->Injected("DeleteFile", text)) return false;
    if (DWORD error = m_state->CheckPath(text)) return m_state->Error(error, false);
    File* file = m_state->FindFileEntry(text);
    if (!file)
        return m_state->Error(m_state->FolderExists(text) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND,
                              false);
    if (file->attributes & FILE_ATTRIBUTE_READONLY) return m_state->Error(ERROR_ACCESS_DENIED, false);
    bool openHere = false;
    for (auto& open : m_state->openFiles) openHere = openHere || open.second.file == file;
    if (file->heldOpenByOtherProgram || openHere) return m_state->Error(ERROR_SHARING_VIOLATION, false);
    if (file->deleteError != 0) return m_state->Error(file->deleteError, false);
    m_state->RetireFile(file);
    m_state->calls.push_back("DeleteFile " + text);
    return true;
}

bool SimulatedWorkstation::MoveFileEx(const char* path, const char* newPath, DWORD flags) {
    std::string text = path ? path : "";
    if (m_state->Injected("MoveFileEx", text)) return false;
    if (newPath != nullptr) return MoveFileTo(text, newPath, flags);
    // Without a new name only the deletion at restart is modelled.
    if (flags != MOVEFILE_DELAY_UNTIL_REBOOT) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    if (DWORD error = m_state->CheckPath(text)) return m_state->Error(error, false);
    if (!m_state->FindFileEntry(text)) return m_state->Error(ERROR_FILE_NOT_FOUND, false);
    // The pending deletion is written to the registry: administrators only.
    if (!m_state->administrator) return m_state->Error(ERROR_ACCESS_DENIED, false);
    m_state->deletionsAtRestart.push_back(text);
    m_state->calls.push_back("MoveFileEx " + text + " at restart");
    return true;
}

// A file renamed within the file system, never over another (no
// MOVEFILE_REPLACE_EXISTING): ERROR_ALREADY_EXISTS when the new name is
// taken. Renaming needs delete access, which an open without
// FILE_SHARE_DELETE denies.
bool SimulatedWorkstation::MoveFileTo(const std::string& from, const std::string& to, DWORD flags) {
    if ((flags & ~MOVEFILE_WRITE_THROUGH) != 0) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    if (DWORD error = m_state->CheckPath(from)) return m_state->Error(error, false);
    File* file = m_state->FindFileEntry(from);
    if (!file) return m_state->Error(ERROR_FILE_NOT_FOUND, false);
    if (DWORD error = m_state->CheckPath(to)) return m_state->Error(error, false);
    if (m_state->FindFileEntry(to) || m_state->FolderExists(to))
        return m_state->Error(ERROR_ALREADY_EXISTS, false);
    bool shared = !file->heldOpenByOtherProgram;
    for (auto& open : m_state->openFiles) {
        if (open.second.file == file && (open.second.share & kFileShareDelete) == 0) shared = false;
    }
    if (!shared) return m_state->Error(ERROR_SHARING_VIOLATION, false);
    if ((flags & MOVEFILE_WRITE_THROUGH) == 0) m_state->volatileMoves.emplace_back(file, file->path);
    m_state->fileIndex.erase(Upper(file->path));
    file->path = to;
    m_state->fileIndex[Upper(to)] = file;
    m_state->calls.push_back("MoveFileEx " + from + " to " + to +
                             ((flags & MOVEFILE_WRITE_THROUGH) ? " write-through" : ""));
    return true;
}

bool SimulatedWorkstation::CopyFile(const char* existingPath, const char* newPath, bool failIfExists) {
    const std::string from = existingPath ? existingPath : "";
    const std::string to = newPath ? newPath : "";
    if (m_state->Injected("CopyFile", from)) return false;
    if (DWORD error = m_state->CheckPath(from)) return m_state->Error(error, false);
    File* source = m_state->FindFileEntry(from);
    if (!source) return m_state->Error(ERROR_FILE_NOT_FOUND, false);
    // The original is read with others allowed to read it too.
    if (source->heldOpenByOtherProgram) return m_state->Error(ERROR_SHARING_VIOLATION, false);
    if (DWORD error = m_state->CheckPath(to)) return m_state->Error(error, false);
    if (File* target = m_state->FindFileEntry(to)) {
        if (failIfExists) return m_state->Error(ERROR_FILE_EXISTS, false);
        if (target->attributes & FILE_ATTRIBUTE_READONLY) return m_state->Error(ERROR_ACCESS_DENIED, false);
    }
    const File original = *source;
    File& copy = AddFile(to, original.content);
    copy.attributes = original.attributes;
    copy.Times(original.creationTime, original.lastAccessTime, original.lastWriteTime);
    // CopyFile flushes nothing: the copy's data is still in the cache.
    copy.durable.clear();
    m_state->calls.push_back("CopyFile " + from + " to " + to);
    return true;
}

bool SimulatedWorkstation::WriteFile(FileHandle fileHandle, const void* buffer, DWORD toWrite,
                                     DWORD* written) {
    if (m_state->Injected("WriteFile", m_state->PathOf(fileHandle))) return false;
    auto it = m_state->openFiles.find(static_cast<std::uintptr_t>(fileHandle));
    if (it == m_state->openFiles.end()) return m_state->Error(ERROR_INVALID_HANDLE, false);
    if (!(SharedAccess(it->second.access) & FILE_SHARE_WRITE))
        return m_state->Error(ERROR_ACCESS_DENIED, false);
    if (!buffer && toWrite > 0) return m_state->Error(kErrorNoAccess, false);
    std::string& content = it->second.file->content;
    // Opened to append only, a write goes to the end of the file whatever
    // was written before ("File Security and Access Rights", FILE_APPEND_DATA).
    const DWORD access = it->second.access;
    if ((access & kFileAppendData) && !(access & (GENERIC_WRITE | kGenericAll | kFileWriteData)))
        it->second.position = content.size();
    const std::size_t at = static_cast<std::size_t>(it->second.position);
    if (content.size() < at + toWrite) content.resize(at + toWrite);
    if (toWrite > 0) std::memcpy(&content[at], buffer, toWrite);
    it->second.position = at + toWrite;
    if (written) *written = toWrite;
    return true;
}

}  // namespace vk::sim
