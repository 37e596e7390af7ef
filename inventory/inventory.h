// The reader devices found on the workstation: one record per selected
// device, the device list and the two name lists kept in step with it.
#pragma once

#include <list>
#include <map>
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

// Who outside the selection uses a name: a device instance, or a device
// class whose key names it as a class filter.
struct OUTSIDE_USER {
    std::string name;  // the instance ID, or the class key's name ({GUID})
    bool isClass = false;
};

// What the devices outside the selection, and the device classes, still use;
// each name with its first user found. Until a walk has run to its end,
// nothing is known to be unused, so everything shared is kept.
struct OUTSIDE_USES {
    bool complete = false;
    std::map<std::string, OUTSIDE_USER> services;  // names as read, compared exactly as the register does
    std::map<std::string, OUTSIDE_USER> infNames;  // folded (AnsiCodePage::Folded)
    std::map<std::string, OUTSIDE_USER> images;    // folded full paths of the services' image files

    void Clear() { *this = OUTSIDE_USES(); }
};

// Targets matched against the start of each hardware ID.
std::vector<std::string> TargetTable();

constexpr const char* kClassKeyRoot = "System\\CurrentControlSet\\Control\\Class";
constexpr const char* kMakerProviderName = "VELKOR";
constexpr DWORD kPropertyBufferSize = 260;
constexpr DWORD kProviderNameCapacity = 260;
constexpr DWORD kInfPathCapacity = 50;
constexpr const char* kServiceKeyRoot = "System\\CurrentControlSet\\Services";
constexpr const char* kDriversFolder = "\\system32\\drivers\\";
constexpr const char* kDriverFile1 = "vlkcomusb.sys";
constexpr const char* kDriverFile2 = "vlkusbser.sys";

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

    // Walks every device instance of every enumerator, present or not, and
    // every device class key, and notes what those outside the selection use:
    // function services, lower and upper filters, class filters, the INF
    // files drivers were installed from, and the named services' images. A
    // walk that cannot be completed is logged, and leaves `m_outside`
    // incomplete. Called by EnumerateTargetDevices once the selection is made.
    void CollectOutsideUses();

    // A service's image file as a folded full path: its ImagePath, or
    // System32\drivers\<name>.sys when it has none. Empty when the service
    // has no key. 0, or the code of the read that failed.
    DWORD ReadServiceImage(const std::string& service, std::string* image);
    // The folded full paths of the maker's two driver files; empty when the
    // Windows directory cannot be read.
    std::vector<std::string> MakerDriverFiles();

    // Frees every record, empties the lists, destroys the device set.
    void ReleaseInventory();

    // The device's instance ID (USB\VID_...\<serial>), to name it in the log
    // and the plan; "?" when the platform cannot tell it.
    std::string InstanceIdOf(const CLEAN_DEVINFO& record);

    std::list<std::unique_ptr<CLEAN_DEVINFO>> m_devices;
    CNameList m_infNames;
    CNameList m_serviceNames;
    OUTSIDE_USES m_outside;
    DevInfoSet m_hDevInfo = static_cast<DevInfoSet>(0);

private:
    int SelectTargetDevices(const std::vector<std::string>& targets);
    // Why the walk stopped: logged once, and the walk is left incomplete.
    void OutsideWalkFailed(const std::string& object, DWORD code);
};

}  // namespace vk
