#include "platform/win32/system_library.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace vk::win32 {

namespace {

// Winbase.h's values, so that the older headers need not have them.
constexpr ::DWORD kSearchSystem32 = 0x00000800;     // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr ::DWORD kAlteredSearchPath = 0x00000008;  // LOAD_WITH_ALTERED_SEARCH_PATH

bool IsBareName(const char* name) {
    return name != nullptr && *name != '\0' && std::strpbrk(name, "\\/:") == nullptr;
}

}  // namespace

DllSearch RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(::DWORD);
    const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
    const FARPROC procedure =
        kernel32 != nullptr ? ::GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
    DllSearch search = DllSearch::Unchanged;
    if (procedure != nullptr && reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                    reinterpret_cast<void (*)()>(procedure))(kSearchSystem32)) {
        search = DllSearch::SystemOnly;
    } else if (::SetDllDirectoryA("")) {
        search = DllSearch::CurrentFolderRemoved;
    }
    // System DLLs load some DLLs only when first needed (delay loads), by
    // bare name. Wine's loader looks for those beside the program whatever
    // the default directories say, as systems without them do: loaded from
    // System32 now, such a request finds them loaded. The common controls
    // load uxtheme and it msimg32 when a prompt is drawn; SetupAPI loads
    // wintrust, shell32 version.
    for (const char* name : {"version.dll", "uxtheme.dll", "msimg32.dll", "wintrust.dll"})
        LoadSystemLibrary(name);
    return search;
}

HMODULE LoadSystemLibrary(const char* name) {
    if (!IsBareName(name)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (const HMODULE module = ::LoadLibraryExA(name, nullptr, kSearchSystem32)) return module;
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    // A system without the flag: the full path, and the DLL's own imports
    // looked for in its folder before the program's.
    char folder[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (length != 0) ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    std::string path(folder, length);
    if (path.back() != '\\') path += '\\';
    path += name;
    if (path.size() >= MAX_PATH) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    return ::LoadLibraryExA(path.c_str(), nullptr, kAlteredSearchPath);
}

FARPROC SystemProcedure(const char* library, const char* procedure) {
    // Loaded once each and kept: the program calls into them until it ends.
    // A handful of names, so a list compared without regard to case.
    struct Loaded {
        std::string name;
        HMODULE module;
    };
    static std::mutex guard;
    static std::vector<Loaded> loaded;
    HMODULE module = nullptr;
    {
        const std::lock_guard<std::mutex> lock(guard);
        for (const Loaded& known : loaded) {
            if (library != nullptr && ::lstrcmpiA(known.name.c_str(), library) == 0) module = known.module;
        }
        if (module == nullptr) {
            module = LoadSystemLibrary(library);
            if (module == nullptr) return nullptr;
            loaded.push_back({library, module});
        }
    }
    return ::GetProcAddress(module, procedure);
}

}  // namespace vk::win32
