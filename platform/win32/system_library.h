// DLLs from System32 only. The program runs elevated from wherever it was
// downloaded or copied, and Windows looks for a DLL that is not a KnownDLL in
// the program's own folder first ("Dynamic-Link Library Security",
// learn.microsoft.com/windows/win32/dlls/dynamic-link-library-security): a DLL
// that anyone put there would run with administrator rights. So the search is
// limited before anything else, and every DLL that is not a static import is
// loaded from System32 by these, never by a bare name.
#pragma once

#include "platform/win32/windows_api.h"

namespace vk::win32 {

// What RestrictDllSearch could do on this system.
enum class DllSearch {
    // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32): System32 alone,
    // for every later load and what it imports (Windows 8, and Windows 7 and
    // Vista with KB2533623).
    SystemOnly,
    // SetDllDirectoryA(""): the current folder is out of the search; the
    // program's own folder stays first (older systems).
    CurrentFolderRemoved,
    // Neither could be done.
    Unchanged,
};

// The first thing the program does. SetDefaultDllDirectories is looked up at
// run time: systems without it must still start the program. Then the DLLs
// that system DLLs load later by bare name where the search is not limited
// (Wine's delay loads, older systems) are loaded from System32 first.
DllSearch RestrictDllSearch();

// Loads `name` (a bare file name such as "bcrypt.dll") from System32:
// LoadLibraryExA with LOAD_LIBRARY_SEARCH_SYSTEM32, or where a system refuses
// that flag (ERROR_INVALID_PARAMETER), the full path from GetSystemDirectoryA,
// its own imports then looked for beside it. Null with the last error set;
// ERROR_INVALID_PARAMETER for a name with a folder in it. The module stays
// loaded for the rest of the process.
HMODULE LoadSystemLibrary(const char* name);

// The entry point `procedure` of System32's `library`, the library loaded
// once (LoadSystemLibrary). Null, with the last error set, when either is
// missing.
FARPROC SystemProcedure(const char* library, const char* procedure);

// The same as a function pointer of the right type; the detour through
// void(*)() is the portable way to change a function pointer's type.
template <typename Function>
Function SystemFunction(const char* library, const char* procedure) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(SystemProcedure(library, procedure)));
}

}  // namespace vk::win32

// The Windows function `function` of System32's `library`, typed as declared
// in the Windows headers, looked up once per call site:
//   static const auto getClassDevs = VK_SYSTEM_FUNCTION("setupapi.dll", SetupDiGetClassDevsA);
#define VK_SYSTEM_FUNCTION(library, function) \
    ::vk::win32::SystemFunction<decltype(&::function)>(library, #function)
