#include <cstring>

#include "diag/messages.h"
#include "inventory/inventory.h"
#include "platform/ansi_text.h"

namespace vk {

namespace {

// Whether one string of the hardware-ID multi-string begins with `target`.
// The walk stays within the returned size, terminated or not.
bool MatchesTarget(const AnsiCodePage& codePage, char* ids, DWORD size, const std::string& target) {
    std::size_t offset = 0;
    while (offset < size) {
        char* id = ids + offset;
        std::size_t length = BoundedLength(id, size - offset);
        if (length == 0) break;
        codePage.UpperInPlace(id, length);
        if (length >= target.size() && std::memcmp(id, target.data(), target.size()) == 0) return true;
        offset += length + 1;
    }
    return false;
}

}  // namespace

std::vector<std::string> TargetTable() {
    return {
        "USB\\VID_C2B5&PID_000A", "USB\\VID_C2B5&PID_000B", "USB\\VID_C2B5&PID_000C",
        "USB\\VID_C2B5&PID_000E", "USB\\VID_C2B5&PID_0005", "USB\\VID_C2B5&PID_0012",
    };
}

int CDeviceInventory::EnumerateTargetDevices(const std::vector<std::string>& targets) {
    const int result = SelectTargetDevices(targets);
    // Only a pass that goes on needs to know what the other devices use.
    if (result == 0) CollectOutsideUses();
    return result;
}

int CDeviceInventory::SelectTargetDevices(const std::vector<std::string>& targets) {
    m_hDevInfo = m_platform.GetClassDevs("USB", DIGCF_ALLCLASSES);
    if (m_hDevInfo == kInvalidDevInfoSet) {
        std::string text = MsgDeviceListFailed(m_platform);
        LogWithLastError(text, LogLevelError);
        return -2;
    }

    AnsiCodePage codePage(m_platform);
    std::vector<std::string> upperTargets;
    for (const std::string& target : targets) {
        std::string upper = target;
        codePage.UpperInPlace(&upper[0], upper.size());
        upperTargets.push_back(upper);
    }

    for (DWORD index = 0;; ++index) {
        DevInfoData element{};
        element.cbSize = sizeof(DevInfoData);
        if (!m_platform.EnumDeviceInfo(m_hDevInfo, index, &element)) return 0;

        char ids[kPropertyBufferSize] = {};
        DWORD type = 0;
        DWORD size = 0;
        if (!m_platform.GetDeviceRegistryProperty(m_hDevInfo, &element, SPDRP_HARDWAREID, &type,
                                                  reinterpret_cast<std::uint8_t*>(ids), sizeof ids, &size)) {
            if (m_platform.GetLastError() == ERROR_INVALID_DATA) continue;
            std::string text = MsgHwidReadFailed(m_platform);
            LogWithLastError(text, LogLevelError);
            return -1;
        }
        if (size > sizeof ids) size = sizeof ids;

        bool selected = false;
        for (const std::string& target : upperTargets) {
            if (MatchesTarget(codePage, ids, size, target)) {
                selected = true;
                break;
            }
        }
        if (!selected) continue;

        auto record = std::make_unique<CLEAN_DEVINFO>();
        record->pDevInfoData = HeapBlock(m_platform, sizeof(DevInfoData));
        if (!record->pDevInfoData.present()) {
            // Without its element the device cannot be removed; stop before
            // anything is deleted.
            std::string text = MsgDeviceListFailed(m_platform);
            Log(ERROR_NOT_ENOUGH_MEMORY, text, LogLevelError);
            return -1;
        }
        std::memcpy(record->pDevInfoData.get(), &element, sizeof element);
        CLEAN_DEVINFO& device = *record;
        m_devices.push_back(std::move(record));

        if (ReadHardwareId(device) != 0) return -1;
        ReadDriverInfo(device);
        device.posInfName = m_infNames.AddTail(device.pszInfName.text());
        ReadClassName(device);
        const char* className = device.pszClassName.text();
        if (className[0] == '\0' || std::strcmp(className, "USB") == 0) {
            device.pszServiceName = HeapBlock::EmptyString(m_platform);
        } else {
            ReadServiceName(device);
        }
        device.posServiceName = m_serviceNames.AddTail(device.pszServiceName.text());
        device.hasNameEntries = true;
    }
}

std::string CDeviceInventory::InstanceIdOf(const CLEAN_DEVINFO& record) {
    // Instance IDs are at most 200 characters (MAX_DEVICE_ID_LEN).
    char instance[kPropertyBufferSize] = {};
    DWORD needed = 0;
    if (!m_platform.GetDeviceInstanceId(m_hDevInfo, record.element(), instance, sizeof instance, &needed)) {
        return "?";
    }
    return std::string(instance, BoundedLength(instance, sizeof instance));
}

void CDeviceInventory::ReleaseInventory() {
    while (!m_devices.empty()) m_devices.pop_front();
    if (!m_infNames.IsEmpty()) m_infNames.RemoveAll();
    m_serviceNames.RemoveAll();
    m_outside.Clear();
    if (m_hDevInfo != kInvalidDevInfoSet && m_hDevInfo != static_cast<DevInfoSet>(0)) {
        m_platform.DestroyDeviceInfoList(m_hDevInfo);
    }
    m_hDevInfo = static_cast<DevInfoSet>(0);
}

}  // namespace vk
