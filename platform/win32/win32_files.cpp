// File system operations, ANSI paths.
#include "platform/win32/win32_platform.h"

#include <cstring>

#include "platform/win32/windows_api.h"

namespace vk {

namespace {

HANDLE Native(FileHandle file) {
    return win32::to_native<HANDLE>(file);
}

HANDLE Native(FindHandle search) {
    return win32::to_native<HANDLE>(search);
}

void CopyFindData(const WIN32_FIND_DATAA& native, FindData* data) {
    data->attributes = native.dwFileAttributes;
    static_assert(sizeof data->fileName == sizeof native.cFileName, "file name buffers differ");
    std::memcpy(data->fileName, native.cFileName, sizeof data->fileName);
}

}  // namespace

DWORD Win32Platform::GetWindowsDirectory(char* buffer, DWORD size) {
    return ::GetWindowsDirectoryA(buffer, size);
}

FindHandle Win32Platform::FindFirstFile(const char* pattern, FindData* data) {
    WIN32_FIND_DATAA native;
    const HANDLE search = ::FindFirstFileA(pattern, &native);
    if (search != INVALID_HANDLE_VALUE && data != nullptr) {
        CopyFindData(native, data);
    }
    return win32::to_opaque<FindHandle>(search);
}

bool Win32Platform::FindNextFile(FindHandle search, FindData* data) {
    WIN32_FIND_DATAA native;
    const BOOL ok = ::FindNextFileA(Native(search), &native);
    if (ok && data != nullptr) {
        CopyFindData(native, data);
    }
    return ok != FALSE;
}

bool Win32Platform::FindClose(FindHandle search) {
    return ::FindClose(Native(search)) != FALSE;
}

bool Win32Platform::GetFileAttributesEx(const char* path, FileAttributeData* data) {
    WIN32_FILE_ATTRIBUTE_DATA native;
    const BOOL ok = ::GetFileAttributesExA(path, GetFileExInfoStandard, &native);
    if (ok && data != nullptr) {
        data->attributes = native.dwFileAttributes;
        data->creationTime = win32::to_file_time(native.ftCreationTime);
        data->lastAccessTime = win32::to_file_time(native.ftLastAccessTime);
        data->lastWriteTime = win32::to_file_time(native.ftLastWriteTime);
        data->size = (static_cast<std::uint64_t>(native.nFileSizeHigh) << 32) | native.nFileSizeLow;
    }
    return ok != FALSE;
}

bool Win32Platform::SetFileAttributes(const char* path, DWORD attributes) {
    return ::SetFileAttributesA(path, attributes) != FALSE;
}

FileHandle Win32Platform::CreateFile(const char* path, DWORD access, DWORD shareMode, DWORD disposition) {
    return win32::to_opaque<FileHandle>(
        ::CreateFileA(path, access, shareMode, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool Win32Platform::SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                                const FileTime* lastWrite) {
    const FILETIME nativeCreation = win32::to_filetime(creation != nullptr ? *creation : 0);
    const FILETIME nativeAccess = win32::to_filetime(lastAccess != nullptr ? *lastAccess : 0);
    const FILETIME nativeWrite = win32::to_filetime(lastWrite != nullptr ? *lastWrite : 0);
    return ::SetFileTime(Native(file), creation != nullptr ? &nativeCreation : nullptr,
                         lastAccess != nullptr ? &nativeAccess : nullptr,
                         lastWrite != nullptr ? &nativeWrite : nullptr) != FALSE;
}

bool Win32Platform::GetFileSizeEx(FileHandle file, std::uint64_t* size) {
    LARGE_INTEGER native;
    const BOOL ok = ::GetFileSizeEx(Native(file), &native);
    if (ok && size != nullptr) {
        *size = static_cast<std::uint64_t>(native.QuadPart);
    }
    return ok != FALSE;
}

bool Win32Platform::ReadFile(FileHandle file, void* buffer, DWORD toRead, DWORD* read) {
    // Windows wants the count pointer whenever there is no OVERLAPPED.
    ::DWORD nativeRead = 0;
    const BOOL ok = ::ReadFile(Native(file), buffer, toRead, &nativeRead, nullptr);
    if (read != nullptr) {
        *read = nativeRead;
    }
    return ok != FALSE;
}

bool Win32Platform::CloseHandle(FileHandle file) {
    return ::CloseHandle(Native(file)) != FALSE;
}

bool Win32Platform::DeleteFile(const char* path) {
    return ::DeleteFileA(path) != FALSE;
}

bool Win32Platform::MoveFileEx(const char* path, const char* newPath, DWORD flags) {
    return ::MoveFileExA(path, newPath, flags) != FALSE;
}

}  // namespace vk
