// SetupAPI operations.
#include "platform/win32/win32_platform.h"

#include <cstring>

#include "platform/win32/system_library.h"
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

// SetupAPI is loaded from System32 when first needed, never imported: under
// Wine its own imports (version.dll) would be looked for beside the program.
constexpr const char* kSetupApi = "setupapi.dll";

}  // namespace

DevInfoSet Win32Platform::GetClassDevs(const char* enumerator, DWORD flags) {
    const auto getClassDevs = VK_SYSTEM_FUNCTION(kSetupApi, SetupDiGetClassDevsA);
    if (getClassDevs == nullptr) return kInvalidDevInfoSet;
    return win32::to_opaque<DevInfoSet>(getClassDevs(nullptr, enumerator, nullptr, flags));
}

bool Win32Platform::EnumDeviceInfo(DevInfoSet set, DWORD index, DevInfoData* data) {
    const auto enumDeviceInfo = VK_SYSTEM_FUNCTION(kSetupApi, SetupDiEnumDeviceInfo);
    if (enumDeviceInfo == nullptr) return false;
    if (data == nullptr) {
        return enumDeviceInfo(Native(set), index, nullptr) != FALSE;
    }
    // The caller's cbSize travels with the copy, so SetupAPI checks it as it would.
    SP_DEVINFO_DATA native = ToNative(*data);
    const BOOL ok = enumDeviceInfo(Native(set), index, &native);
    if (ok) {
        FromNative(native, data);
    }
    return ok != FALSE;
}

bool Win32Platform::GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData* data, DWORD property,
                                              DWORD* regType, std::uint8_t* buffer, DWORD capacity,
                                              DWORD* requiredSize) {
    const auto getProperty = VK_SYSTEM_FUNCTION(kSetupApi, SetupDiGetDeviceRegistryPropertyA);
    if (getProperty == nullptr) return false;
    SP_DEVINFO_DATA native{};
    if (data != nullptr) {
        native = ToNative(*data);
    }
    ::DWORD type = regType != nullptr ? *regType : 0;
    ::DWORD required = requiredSize != nullptr ? *requiredSize : 0;
    const BOOL ok = getProperty(Native(set), data != nullptr ? &native : nullptr, property,
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
    const auto callClassInstaller = VK_SYSTEM_FUNCTION(kSetupApi, SetupDiCallClassInstaller);
    if (callClassInstaller == nullptr) return false;
    SP_DEVINFO_DATA native{};
    if (data != nullptr) {
        native = ToNative(*data);
    }
    const BOOL ok = callClassInstaller(static_cast<DI_FUNCTION>(installFunction), Native(set),
                                       data != nullptr ? &native : nullptr);
    // The removal updates the caller's element (its DevInst); copying it back
    // leaves the last error alone.
    if (data != nullptr) {
        FromNative(native, data);
    }
    return ok != FALSE;
}

bool Win32Platform::DestroyDeviceInfoList(DevInfoSet set) {
    const auto destroy = VK_SYSTEM_FUNCTION(kSetupApi, SetupDiDestroyDeviceInfoList);
    return destroy != nullptr && destroy(Native(set)) != FALSE;
}

bool Win32Platform::GetDeviceInstanceId(DevInfoSet set, const DevInfoData* data, char* buffer, DWORD size,
                                        DWORD* requiredSize) {
    const auto getInstanceId = VK_SYSTEM_FUNCTION(kSetupApi, SetupDiGetDeviceInstanceIdA);
    if (getInstanceId == nullptr) return false;
    SP_DEVINFO_DATA native{};
    if (data != nullptr) {
        native = ToNative(*data);
    }
    ::DWORD required = 0;
    const BOOL ok = getInstanceId(Native(set), data != nullptr ? &native : nullptr, buffer, size, &required);
    if (requiredSize != nullptr) {
        *requiredSize = required;
    }
    return ok != FALSE;
}

bool Win32Platform::GetDeviceInstallFlags(DevInfoSet set, const DevInfoData* data, DWORD* flags) {
    const auto getInstallParams = VK_SYSTEM_FUNCTION(kSetupApi, SetupDiGetDeviceInstallParamsA);
    if (getInstallParams == nullptr) return false;
    SP_DEVINFO_DATA native{};
    if (data != nullptr) {
        native = ToNative(*data);
    }
    SP_DEVINSTALL_PARAMS_A params{};
    params.cbSize = sizeof params;
    const BOOL ok = getInstallParams(Native(set), data != nullptr ? &native : nullptr, &params);
    if (ok && flags != nullptr) {
        *flags = params.Flags;
    }
    return ok != FALSE;
}

OemInfUninstall Win32Platform::UninstallOEMInf(const char* infName, DWORD flags) {
    // Windows XP before SP2 has no SetupUninstallOEMInfA: looked up rather
    // than imported, so that the program still starts there.
    using UninstallFn = BOOL(WINAPI*)(PCSTR, ::DWORD, PVOID);
    const auto uninstall = win32::SystemFunction<UninstallFn>(kSetupApi, "SetupUninstallOEMInfA");
    if (uninstall == nullptr) {
        return OemInfUninstall::Unavailable;
    }
    return uninstall(infName, flags, nullptr) ? OemInfUninstall::Done : OemInfUninstall::Failed;
}

}  // namespace vk
