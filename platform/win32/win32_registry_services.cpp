// Registry (error code returned) and service control manager (BOOL and last error).
#include "platform/win32/win32_platform.h"

#include "platform/win32/windows_api.h"

namespace vk {

namespace {

HKEY NativeRoot(RegRoot root) {
    switch (root) {
        case RegRoot::LocalMachine:
            break;
    }
    return HKEY_LOCAL_MACHINE;
}

}  // namespace

LONG Win32Platform::RegOpenKeyEx(RegRoot root, const char* subKey, DWORD options, DWORD access, RegKey* key) {
    HKEY opened = nullptr;
    const ::LONG result =
        ::RegOpenKeyExA(NativeRoot(root), subKey, options, access, key != nullptr ? &opened : nullptr);
    if (key != nullptr) {
        *key = win32::to_opaque<RegKey>(result == ERROR_SUCCESS ? opened : nullptr);
    }
    return result;
}

LONG Win32Platform::RegQueryValueEx(RegKey key, const char* valueName, DWORD* type, std::uint8_t* data,
                                    DWORD* size) {
    // Copies that start from the caller's values: whatever Windows leaves
    // unwritten reads back unchanged.
    ::DWORD nativeType = type != nullptr ? *type : 0;
    ::DWORD nativeSize = size != nullptr ? *size : 0;
    const ::LONG result = ::RegQueryValueExA(win32::to_native<HKEY>(key), valueName, nullptr,
                                             type != nullptr ? &nativeType : nullptr, data,
                                             size != nullptr ? &nativeSize : nullptr);
    if (type != nullptr) {
        *type = nativeType;
    }
    if (size != nullptr) {
        *size = nativeSize;
    }
    return result;
}

LONG Win32Platform::RegCloseKey(RegKey key) {
    return ::RegCloseKey(win32::to_native<HKEY>(key));
}

LONG Win32Platform::RegEnumKeyEx(RegKey key, DWORD index, char* name, DWORD* nameSize) {
    ::DWORD nativeSize = nameSize != nullptr ? *nameSize : 0;
    const ::LONG result = ::RegEnumKeyExA(win32::to_native<HKEY>(key), index, name, &nativeSize, nullptr,
                                          nullptr, nullptr, nullptr);
    if (nameSize != nullptr) *nameSize = nativeSize;
    return result;
}

LONG Win32Platform::RegEnumValue(RegKey key, DWORD index, char* name, DWORD* nameSize, DWORD* type,
                                 std::uint8_t* data, DWORD* dataSize) {
    ::DWORD nativeNameSize = nameSize != nullptr ? *nameSize : 0;
    ::DWORD nativeType = 0;
    ::DWORD nativeDataSize = dataSize != nullptr ? *dataSize : 0;
    const ::LONG result = ::RegEnumValueA(win32::to_native<HKEY>(key), index, name, &nativeNameSize, nullptr,
                                          &nativeType, data, dataSize != nullptr ? &nativeDataSize : nullptr);
    if (nameSize != nullptr) *nameSize = nativeNameSize;
    if (type != nullptr) *type = nativeType;
    if (dataSize != nullptr) *dataSize = nativeDataSize;
    return result;
}

ScHandle Win32Platform::OpenSCManager(DWORD access) {
    return win32::to_opaque<ScHandle>(::OpenSCManagerA(nullptr, nullptr, access));
}

ScHandle Win32Platform::OpenService(ScHandle manager, const char* serviceName, DWORD access) {
    return win32::to_opaque<ScHandle>(
        ::OpenServiceA(win32::to_native<SC_HANDLE>(manager), serviceName, access));
}

bool Win32Platform::DeleteService(ScHandle service) {
    return ::DeleteService(win32::to_native<SC_HANDLE>(service)) != FALSE;
}

bool Win32Platform::CloseServiceHandle(ScHandle handle) {
    return ::CloseServiceHandle(win32::to_native<SC_HANDLE>(handle)) != FALSE;
}

}  // namespace vk
