// SetupAPI operations.
#include "platform/win32/win32_platform.h"

#include <cstring>

#include "platform/win32/windows_api.h"

namespace vk {

namespace {

// DevInfoData is declared layout-compatible with SP_DEVINFO_DATA (proved in
// constants_check.cpp); the bytes are copied rather than the pointer cast so
// that no object is read through a pointer of another type.
SP_DEVINFO_DATA ToNative(const DevInfoData& data) {
    SP_DEVINFO_DATA native;
    std::memcpy(&native, &data, sizeof native);
    return native;
}

void FromNative(const SP_DEVINFO_DATA& native, DevInfoData* data) {
    std::memcpy(data, &native, sizeof native);
}

HDEVINFO Native(DevInfoSet set) {
    return win32::to_native<HDEVINFO>(set);
}

}  // namespace

DevInfoSet Win32Platform::GetClassDevs(const char* enumerator, DWORD flags) {
    return win32::to_opaque<DevInfoSet>(::SetupDiGetClassDevsA(nullptr, enumerator, nullptr, flags));
}

bool Win32Platform::EnumDeviceInfo(DevInfoSet set, DWORD index, DevInfoData* data) {
    if (data == nullptr) {
        return ::SetupDiEnumDeviceInfo(Native(set), index, nullptr) != FALSE;
    }
    // The caller's cbSize travels with the copy, so SetupAPI checks it as it would.
    SP_DEVINFO_DATA native = ToNative(*data);
    const BOOL ok = ::SetupDiEnumDeviceInfo(Native(set), index, &native);
    if (ok) {
        FromNative(native, data);
    }
    return ok != FALSE;
}

bool Win32Platform::GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData* data, DWORD property,
                                              DWORD* regType, std::uint8_t* buffer, DWORD capacity,
                                              DWORD* requiredSize) {
    SP_DEVINFO_DATA native{};
    if (data != nullptr) {
        native = ToNative(*data);
    }
    ::DWORD type = regType != nullptr ? *regType : 0;
    ::DWORD required = requiredSize != nullptr ? *requiredSize : 0;
    const BOOL ok = ::SetupDiGetDeviceRegistryPropertyA(Native(set), data != nullptr ? &native : nullptr, property,
                                                        regType != nullptr ? &type : nullptr, buffer, capacity,
                                                        requiredSize != nullptr ? &required : nullptr);
    // Reading the copies back cannot disturb the last error of the call.
    if (regType != nullptr) {
        *regType = type;
    }
    if (requiredSize != nullptr) {
        *requiredSize = required;
    }
    return ok != FALSE;
}

bool Win32Platform::CallClassInstaller(DWORD installFunction, DevInfoSet set, DevInfoData* data) {
    SP_DEVINFO_DATA native{};
    if (data != nullptr) {
        native = ToNative(*data);
    }
    const BOOL ok = ::SetupDiCallClassInstaller(static_cast<DI_FUNCTION>(installFunction), Native(set),
                                                data != nullptr ? &native : nullptr);
    // The removal updates the caller's element (its DevInst); copying it back
    // leaves the last error alone.
    if (data != nullptr) {
        FromNative(native, data);
    }
    return ok != FALSE;
}

bool Win32Platform::DestroyDeviceInfoList(DevInfoSet set) {
    return ::SetupDiDestroyDeviceInfoList(Native(set)) != FALSE;
}

bool Win32Platform::GetDeviceInstanceId(DevInfoSet set, const DevInfoData* data, char* buffer, DWORD size,
                                        DWORD* requiredSize) {
    SP_DEVINFO_DATA native{};
    if (data != nullptr) {
        native = ToNative(*data);
    }
    ::DWORD required = 0;
    const BOOL ok = ::SetupDiGetDeviceInstanceIdA(Native(set), data != nullptr ? &native : nullptr, buffer, size,
                                                  &required);
    if (requiredSize != nullptr) {
        *requiredSize = required;
    }
    return ok != FALSE;
}

bool Win32Platform::GetDeviceInstallFlags(DevInfoSet set, const DevInfoData* data, DWORD* flags) {
    SP_DEVINFO_DATA native{};
    if (data != nullptr) {
        native = ToNative(*data);
    }
    SP_DEVINSTALL_PARAMS_A params{};
    params.cbSize = sizeof params;
    const BOOL ok =
        ::SetupDiGetDeviceInstallParamsA(Native(set), data != nullptr ? &native : nullptr, &params);
    if (ok && flags != nullptr) {
        *flags = params.Flags;
    }
    return ok != FALSE;
}

OemInfUninstall Win32Platform::UninstallOEMInf(const char* infName, DWORD flags) {
    // Windows XP before SP2 has no SetupUninstallOEMInfA: looked up rather
    // than imported, so that the program still starts there.
    using UninstallFn = BOOL(WINAPI*)(PCSTR, ::DWORD, PVOID);
    const HMODULE setupapi = ::GetModuleHandleA("setupapi.dll");
    const FARPROC procedure =
        setupapi != nullptr ? ::GetProcAddress(setupapi, "SetupUninstallOEMInfA") : nullptr;
    if (procedure == nullptr) {
        return OemInfUninstall::Unavailable;
    }
    const auto uninstall = reinterpret_cast<UninstallFn>(reinterpret_cast<void (*)()>(procedure));
    return uninstall(infName, flags, nullptr) ? OemInfUninstall::Done : OemInfUninstall::Failed;
}

}  // namespace vk
