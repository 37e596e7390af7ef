// The reader devices found on the workstation: one record per selected
// device, the device list and the two name lists kept in step with it.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "diag/log.h"
#include "inventory/name_list.h"
#include "platform/heap_block.h"
#include "platform/platform.h"

namespace vk {

// Every field is its own block of the process heap, owned by the record.
struct CLEAN_DEVINFO {
    HeapBlock pDevInfoData;  // copy of the device's DevInfoData element
    HeapBlock pszHardwareId;  // e.g. "VID_C2B5&PID_000A"; may stay absent
    HeapBlock pszInfName;     // e.g. "oem12.inf" when the provider is the maker, else ""
    HeapBlock pszClassName;
    HeapBlock pszServiceName;
    HeapBlock pszClassKeyPath;
    CNameList::Position posInfName{};
    CNameList::Position posServiceName{};
    // The positions are valid (the record got its name-list entries).
    bool hasNameEntries = false;
    // The class key's ProviderName was not read as the maker's (another
    // provider, or a key or value that could not be read): the driver service
    // may be that provider's, such as the system's serial driver, and is kept.
    bool foreignProvider = false;

    const DevInfoData* element() const { return static_cast<const DevInfoData*>(pDevInfoData.get()); }
    DevInfoData* element() { return static_cast<DevInfoData*>(pDevInfoData.get()); }
};

// Targets matched against the start of each hardware ID.
std::vector<std::string> TargetTable();

constexpr const char* kClassKeyRoot = "System\\CurrentControlSet\\Control\\Class";
constexpr const char* kMakerProviderName = "VELKOR";
constexpr DWORD kPropertyBufferSize = 260;
constexpr DWORD kProviderNameCapacity = 260;
constexpr DWORD kInfPathCapacity = 50;

class CDeviceInventory : public CDiagnosticLog {
public:
    explicit CDeviceInventory(IPlatform& platform) : CDiagnosticLog(platform) {}

    // 0 when the enumeration ran to its end, -1 when hardware IDs were
    // unreadable, -2 when no device-information set was obtained.
    int EnumerateTargetDevices(const std::vector<std::string>& targets);
    int ReadHardwareId(CLEAN_DEVINFO& record);
    void ReadDriverInfo(CLEAN_DEVINFO& record);
    void ReadClassName(CLEAN_DEVINFO& record);
    void ReadServiceName(CLEAN_DEVINFO& record);

    // Frees every record, empties the lists, destroys the device set.
    void ReleaseInventory();

    // The device's instance ID (USB\VID_...\<serial>), to name it in the log
    // and the plan; "?" when the platform cannot tell it.
    std::string InstanceIdOf(const CLEAN_DEVINFO& record);

    std::list<std::unique_ptr<CLEAN_DEVINFO>> m_devices;
    CNameList m_infNames;
    CNameList m_serviceNames;
    DevInfoSet m_hDevInfo = static_cast<DevInfoSet>(0);
};

}  // namespace vk
