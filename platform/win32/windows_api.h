// The Windows headers as the win32 backend uses them. platform.h comes first:
// its vk:: constants share their names with Windows macros and would not
// compile after <windows.h>. The A/W macros whose names are also IPlatform
// method names are removed; the backend calls the ...A functions explicitly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After <windows.h>, which declares the types they use.
#include <setupapi.h>
#include <shlobj.h>
#include <winsvc.h>

#undef CharUpperBuff
#undef CopyFile
#undef CreateDirectory
#undef CreateService
#undef QueryServiceConfig
#undef RegCreateKeyEx
#undef RegSetValueEx
#undef CreateFile
#undef DeleteFile
#undef FindFirstFile
#undef FindNextFile
#undef GetComputerName
#undef GetFileAttributesEx
#undef GetModuleFileName
#undef GetVolumeInformation
#undef GetWindowsDirectory
#undef LoadString
#undef MessageBox
#undef MoveFileEx
#undef OpenSCManager
#undef OpenService
#undef RegEnumKeyEx
#undef RegEnumValue
#undef RegOpenKeyEx
#undef RegQueryValueEx
#undef ReportEvent
#undef SetFileAttributes

#include "platform/win32/unique_resource.h"

namespace vk::win32 {

inline HANDLE invalid_handle_value() noexcept {
    return INVALID_HANDLE_VALUE;
}

using unique_hlocal = unique_any<HLOCAL, decltype(&::LocalFree), ::LocalFree>;
using unique_hkey = unique_any<HKEY, decltype(&::RegCloseKey), ::RegCloseKey>;
using unique_schandle = unique_any<SC_HANDLE, decltype(&::CloseServiceHandle), ::CloseServiceHandle>;
// Process and thread handles are null when absent, unlike file handles.
using unique_handle = unique_any<HANDLE, decltype(&::CloseHandle), ::CloseHandle>;
using unique_hfile = unique_any<HANDLE, decltype(&::CloseHandle), ::CloseHandle, &invalid_handle_value>;
using unique_hfind = unique_any<HANDLE, decltype(&::FindClose), ::FindClose, &invalid_handle_value>;

// The opaque handles carry the Windows value bit for bit, so that
// INVALID_HANDLE_VALUE and kInvalid*, and null and kNull*, map onto each other.
template <typename Opaque, typename Native>
Opaque to_opaque(Native native) noexcept {
    return static_cast<Opaque>(reinterpret_cast<std::uintptr_t>(native));
}
template <typename Native, typename Opaque>
Native to_native(Opaque opaque) noexcept {
    return reinterpret_cast<Native>(static_cast<std::uintptr_t>(opaque));
}

// The program's texts are Windows-1252 bytes whatever the system's ANSI code
// page: what a person reads goes through the wide calls, converted from 1252.
std::wstring from_windows1252(const char* text, std::size_t length);
inline std::wstring from_windows1252(const char* text) {
    return text != nullptr ? from_windows1252(text, std::char_traits<char>::length(text)) : std::wstring();
}

// The console of the program that started this one, attached on first use
// (CONOUT$ opened once, closed at exit); null when there is none.
HANDLE parent_console();

inline FileTime to_file_time(const FILETIME& time) noexcept {
    return (static_cast<FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
inline FILETIME to_filetime(FileTime time) noexcept {
    FILETIME result;
    result.dwLowDateTime = static_cast<::DWORD>(time & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<::DWORD>(time >> 32);
    return result;
}

}  // namespace vk::win32
