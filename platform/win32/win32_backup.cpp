// What a backup and a restore need beyond the pass: the driver store's
// package folders and publishing, registry writes, service configuration
// and creation, file copies and folders, the time and ProgramData, and the
// conversions between the ANSI code page and UTF-16.
#include <cstring>
#include <vector>

#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"

namespace vk {

namespace {

// A service's configuration is at most 8 KB (QueryServiceConfig's page).
constexpr ::DWORD kMaxServiceConfig = 8 * 1024;

std::string OrEmpty(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

const char* OrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

}  // namespace

StoreLocation Win32Platform::GetInfDriverStoreLocation(const char* infName, std::string* location) {
    // Vista and later only, and absent under Wine: looked up rather than
    // imported, so that the program still starts without it.
    using LocationFn = BOOL(WINAPI*)(PCSTR, PSP_ALTPLATFORM_INFO, PCSTR, PSTR, ::DWORD, PDWORD);
    const auto locate = win32::SystemFunction<LocationFn>("setupapi.dll", "SetupGetInfDriverStoreLocationA");
    if (locate == nullptr) return StoreLocation::Unavailable;
    char path[MAX_PATH + 1] = {};
    ::DWORD required = 0;
    if (!locate(infName, nullptr, nullptr, path, MAX_PATH, &required)) return StoreLocation::Failed;
    if (location != nullptr) *location = path;
    return StoreLocation::Found;
}

bool Win32Platform::CopyOEMInf(const char* sourceInf, std::string* publishedName) {
    const auto copyOEMInf = VK_SYSTEM_FUNCTION("setupapi.dll", SetupCopyOEMInfA);
    if (copyOEMInf == nullptr) return false;
    char destination[MAX_PATH + 1] = {};
    PSTR component = nullptr;
    if (!copyOEMInf(sourceInf, nullptr, SPOST_PATH, 0, destination, MAX_PATH, nullptr, &component))
        return false;
    if (publishedName != nullptr) *publishedName = component != nullptr ? component : destination;
    return true;
}

LONG Win32Platform::RegCreateKeyEx(RegRoot, const char* subKey, RegKey* key, bool* created) {
    HKEY opened = nullptr;
    ::DWORD disposition = 0;
    const ::LONG result = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_ALL_ACCESS, nullptr, &opened, &disposition);
    if (key != nullptr) *key = win32::to_opaque<RegKey>(result == ERROR_SUCCESS ? opened : nullptr);
    if (created != nullptr) *created = disposition == REG_CREATED_NEW_KEY;
    return result;
}

LONG Win32Platform::RegSetValueEx(RegKey key, const char* valueName, DWORD type, const std::uint8_t* data,
                                  DWORD size) {
    return ::RegSetValueExA(win32::to_native<HKEY>(key), valueName, 0, type, data, size);
}

bool Win32Platform::QueryServiceConfig(ScHandle service, ServiceConfig* config) {
    std::vector<unsigned char> buffer(kMaxServiceConfig);
    ::DWORD needed = 0;
    auto* native = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!::QueryServiceConfigA(win32::to_native<SC_HANDLE>(service), native, kMaxServiceConfig, &needed))
        return false;
    config->serviceType = native->dwServiceType;
    config->startType = native->dwStartType;
    config->errorControl = native->dwErrorControl;
    config->tagId = native->dwTagId;
    config->binaryPathName = OrEmpty(native->lpBinaryPathName);
    config->loadOrderGroup = OrEmpty(native->lpLoadOrderGroup);
    config->serviceStartName = OrEmpty(native->lpServiceStartName);
    config->displayName = OrEmpty(native->lpDisplayName);
    config->dependencies.clear();
    for (const char* name = native->lpDependencies; name != nullptr && *name != '\0';
         name += std::strlen(name) + 1)
        config->dependencies += std::string(name) + '\0';
    return true;
}

ScHandle Win32Platform::CreateService(ScHandle manager, const char* serviceName, const ServiceConfig& config,
                                      DWORD access) {
    // The dependencies end with an empty name.
    const std::string dependencies = config.dependencies + '\0';
    return win32::to_opaque<ScHandle>(::CreateServiceA(
        win32::to_native<SC_HANDLE>(manager), serviceName, OrNull(config.displayName), access,
        config.serviceType, config.startType, config.errorControl, config.binaryPathName.c_str(),
        OrNull(config.loadOrderGroup), nullptr, config.dependencies.empty() ? nullptr : dependencies.c_str(),
        OrNull(config.serviceStartName), nullptr));
}

bool Win32Platform::CopyFile(const char* existingPath, const char* newPath, bool failIfExists) {
    WIN32_FILE_ATTRIBUTE_DATA original{};
    if (!::GetFileAttributesExA(existingPath, GetFileExInfoStandard, &original)) return false;
    if (!::CopyFileA(existingPath, newPath, failIfExists ? TRUE : FALSE)) return false;
    // CopyFile keeps the attributes and the last write time; the other two
    // are set here. Writing attributes is allowed on a read-only file.
    const win32::unique_hfile copy(::CreateFileA(newPath, FILE_WRITE_ATTRIBUTES,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy) return false;
    return ::SetFileTime(copy.get(), &original.ftCreationTime, &original.ftLastAccessTime,
                         &original.ftLastWriteTime) != FALSE;
}

bool Win32Platform::WriteFile(FileHandle file, const void* buffer, DWORD toWrite, DWORD* written) {
    ::DWORD count = 0;
    const BOOL ok = ::WriteFile(win32::to_native<HANDLE>(file), buffer, toWrite, &count, nullptr);
    if (written != nullptr) *written = count;
    return ok != FALSE;
}

void Win32Platform::GetLocalTime(LocalTime* time) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    *time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool Win32Platform::GetCommonAppDataFolder(std::string* path) {
    const auto getFolderPath = VK_SYSTEM_FUNCTION("shell32.dll", SHGetFolderPathA);
    if (getFolderPath == nullptr) return false;
    char folder[MAX_PATH + 1] = {};
    const HRESULT result = getFolderPath(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    if (FAILED(result)) {
        ::SetLastError(HRESULT_CODE(result));
        return false;
    }
    *path = folder;
    return true;
}

bool Win32Platform::AnsiToUtf16(const std::string& text, std::u16string* wide) {
    wide->clear();
    if (text.empty()) return true;
    const int length =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return false;
    std::wstring converted(static_cast<std::size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &converted[0], length) !=
        length)
        return false;
    wide->assign(converted.begin(), converted.end());
    return true;
}

bool Win32Platform::Utf16ToAnsi(const std::u16string& wide, std::string* text) {
    text->clear();
    if (wide.empty()) return true;
    const std::wstring source(wide.begin(), wide.end());
    // A character the code page lacks would come back as another one.
    BOOL lossy = FALSE;
    const int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, source.data(),
                                             static_cast<int>(source.size()), nullptr, 0, nullptr, &lossy);
    if (length <= 0) return false;
    if (lossy) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    text->assign(static_cast<std::size_t>(length), '\0');
    return ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, source.data(), static_cast<int>(source.size()),
                                 &(*text)[0], length, nullptr, nullptr) == length;
}

}  // namespace vk
