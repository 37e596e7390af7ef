// The simulated SetupAPI: device-information sets over the described
// devices, their properties, removal, restart flags and the driver store.
#include <cstring>

#include "platform/simulated/state.h"

namespace vk::sim {

DevInfoSet SimulatedWorkstation::GetClassDevs(const char* enumerator, DWORD flags) {
    if (m_state->Injected("GetClassDevs", enumerator ? enumerator : "")) return kInvalidDevInfoSet;
    std::vector<Device*> members;
    // Without an enumerator every device is listed.
    std::string prefix = enumerator && *enumerator ? Upper(std::string(enumerator) + "\\") : std::string();
    for (auto& d : m_state->devices) {
        if (m_state->removed.count(d.get())) continue;
        if ((flags & DIGCF_PRESENT) && !d->present) continue;
        if (Upper(d->instanceId).compare(0, prefix.size(), prefix) == 0) members.push_back(d.get());
    }
    std::uintptr_t handle = m_state->NewHandle();
    m_state->sets[handle] = members;
    m_state->setMembers[handle] = std::set<Device*>(members.begin(), members.end());
    return static_cast<DevInfoSet>(handle);
}

bool SimulatedWorkstation::EnumDeviceInfo(DevInfoSet set, DWORD index, DevInfoData* data) {
    if (m_state->Injected("EnumDeviceInfo", std::to_string(index))) return false;
    auto it = m_state->sets.find(static_cast<std::uintptr_t>(set));
    if (it == m_state->sets.end()) return m_state->Error(ERROR_INVALID_HANDLE, false);
    if (!data || data->cbSize != sizeof(DevInfoData)) return m_state->Error(kErrorInvalidUserBuffer, false);
    if (index >= it->second.size()) return m_state->Error(ERROR_NO_MORE_ITEMS, false);
    const std::size_t position = m_state->devicePositions.at(it->second[index]);
    data->ClassGuid = Guid{0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    data->DevInst = static_cast<DWORD>(position + 1);
    // SetupAPI finds the element through Reserved, not DevInst.
    data->Reserved = State::ElementToken(set, position);
    return true;
}

bool SimulatedWorkstation::GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData* data, DWORD property,
                                                     DWORD* regType, std::uint8_t* buffer, DWORD capacity,
                                                     DWORD* requiredSize) {
    Device* device = m_state->ElementOf(set, data);
    if (m_state->Injected("GetDeviceRegistryProperty",
                          device ? device->instanceId + " " + std::to_string(property) : "")) {
        return false;
    }
    if (DWORD error = m_state->CheckElement(set, data)) return m_state->Error(error, false);
    auto it = device->properties.find(property);
    if (it == device->properties.end()) return m_state->Error(ERROR_INVALID_DATA, false);
    const RegValue& value = it->second;
    DWORD size = static_cast<DWORD>(value.data.size());
    if (requiredSize) *requiredSize = size;
    if (!buffer && capacity > 0) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    if (size > capacity) return m_state->Error(ERROR_INSUFFICIENT_BUFFER, false);
    if (regType) *regType = value.type;
    if (size > 0) std::memcpy(buffer, value.data.data(), size);
    return true;
}

bool SimulatedWorkstation::CallClassInstaller(DWORD installFunction, DevInfoSet set, DevInfoData* data) {
    Device* device = m_state->ElementOf(set, data);
    if (m_state->Injected("CallClassInstaller", device ? device->instanceId : "")) return false;
    if (DWORD error = m_state->CheckElement(set, data)) return m_state->Error(error, false);
    if (installFunction != DIF_REMOVE) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    if (device->removeError != 0) return m_state->Error(device->removeError, false);
    m_state->removed.insert(device);
    m_state->RemoveKeyTree(kEnumRoot + device->instanceId);
    m_state->calls.push_back("DIF_REMOVE " + device->instanceId);
    // Once the instance is gone its DevInst is null; SetupAPI still knows the
    // element by the rest of the structure
    // (learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupdiremovedevice).
    data->DevInst = 0;
    return true;
}

bool SimulatedWorkstation::GetDeviceInstallFlags(DevInfoSet set, const DevInfoData* data, DWORD* flags) {
    Device* device = m_state->ElementOf(set, data);
    if (m_state->Injected("GetDeviceInstallFlags", device ? device->instanceId : "")) return false;
    // The element stays in the set after DIF_REMOVE, and so do its install
    // parameters: that is where the class installer leaves its restart flags.
    if (!m_state->sets.count(static_cast<std::uintptr_t>(set)))
        return m_state->Error(ERROR_INVALID_HANDLE, false);
    // Without an element, the set's own parameters: what the removals of its
    // members left there.
    if (!data && flags) {
        *flags = 0;
        for (const Device* member : m_state->setMembers[static_cast<std::uintptr_t>(set)]) {
            if (m_state->removed.count(member)) *flags |= member->setInstallFlagsAfterRemove;
        }
        return true;
    }
    if (!device || !flags) return m_state->Error(ERROR_INVALID_PARAMETER, false);
    *flags = m_state->removed.count(device) ? device->installFlagsAfterRemove : 0;
    return true;
}

OemInfUninstall SimulatedWorkstation::UninstallOEMInf(const char* infName, DWORD flags) {
    std::string name = infName ? infName : "";
    if (!m_state->storeUninstallAvailable) {
        m_state->allCalls.push_back("UninstallOEMInf " + name + " (unavailable)");
        return OemInfUninstall::Unavailable;
    }
    if (m_state->Injected("UninstallOEMInf", name)) return OemInfUninstall::Failed;
    // A published name only, never a path; the only flag is SUOI_FORCEDELETE.
    bool separator = false;
    ForEachSingleByte(name, m_state->DoubleByte(), [&](std::size_t, unsigned char c) {
        if (c == '\\' || c == '/' || c == ':') separator = true;
    });
    if (name.empty() || separator || (flags & ~SUOI_FORCEDELETE) != 0)
        return m_state->Error(ERROR_INVALID_PARAMETER, OemInfUninstall::Failed);
    // Only a published name has a package to remove; the plain deletions are
    // left to deal with any other INF file.
    DriverPackage* package = m_state->FindPackage(name);
    if (!package) return m_state->Error(ERROR_FILE_NOT_FOUND, OemInfUninstall::Failed);
    if (package->uninstallError != 0) return m_state->Error(package->uninstallError, OemInfUninstall::Failed);
    // The system removes its own files whatever their attributes.
    const std::string inf = m_state->windowsDirectory + "\\inf\\" + name;
    std::string pnf = inf;
    if (pnf.size() >= 3) pnf.replace(pnf.size() - 3, 3, "pnf");
    if (File* infFile = m_state->FindFileEntry(inf)) m_state->RetireFile(infFile);
    if (File* pnfFile = m_state->FindFileEntry(pnf)) m_state->RetireFile(pnfFile);
    // The package's folder in the store goes with it.
    if (!package->storeInf.empty()) {
        const std::string folder = FolderOf(package->storeInf, m_state->DoubleByte());
        std::vector<File*> stored;
        for (auto& file : m_state->files) {
            if (SameText(FolderOf(file->path, m_state->DoubleByte()), folder)) stored.push_back(file.get());
        }
        for (File* file : stored) m_state->RetireFile(file);
    }
    State::Retire(m_state->packages, m_state->uninstalledPackages, package);
    m_state->calls.push_back("UninstallOEMInf " + name);
    return OemInfUninstall::Done;
}

bool SimulatedWorkstation::GetDeviceInstanceId(DevInfoSet set, const DevInfoData* data, char* buffer,
                                               DWORD size, DWORD* requiredSize) {
    Device* device = m_state->ElementOf(set, data);
    if (m_state->Injected("GetDeviceInstanceId", device ? device->instanceId : "")) return false;
    if (DWORD error = m_state->CheckElement(set, data)) return m_state->Error(error, false);
    const DWORD needed = static_cast<DWORD>(device->instanceId.size() + 1);
    if (requiredSize) *requiredSize = needed;
    if (!buffer || size < needed) return m_state->Error(ERROR_INSUFFICIENT_BUFFER, false);
    std::memcpy(buffer, device->instanceId.c_str(), needed);
    return true;
}

bool SimulatedWorkstation::DestroyDeviceInfoList(DevInfoSet set) {
    if (m_state->Injected("DestroyDeviceInfoList", "")) return false;
    m_state->setMembers.erase(static_cast<std::uintptr_t>(set));
    if (m_state->sets.erase(static_cast<std::uintptr_t>(set)) == 0)
        return m_state->Error(ERROR_INVALID_HANDLE, false);
    return true;
}

StoreLocation SimulatedWorkstation::GetInfDriverStoreLocation(const char* infName, std::string* location) {
    const std::string name = infName ? infName : "";
    if (!m_state->storeLocationAvailable) {
        m_state->allCalls.push_back("GetInfDriverStoreLocation " + name + " (unavailable)");
        return StoreLocation::Unavailable;
    }
    if (m_state->Injected("GetInfDriverStoreLocation", name)) return StoreLocation::Failed;
    DriverPackage* package = m_state->FindPackage(name);
    if (!package || package->storeInf.empty() || !location)
        return m_state->Error(ERROR_FILE_NOT_FOUND, StoreLocation::Failed);
    *location = package->storeInf;
    return StoreLocation::Found;
}

// Publishing copies the INF to the INF folder under the lowest free oemN.inf
// name, writes its PNF, and copies the source's folder into the store.
bool SimulatedWorkstation::CopyOEMInf(const char* sourceInf, std::string* publishedName) {
    const std::string source = sourceInf ? sourceInf : "";
    if (m_state->Injected("CopyOEMInf", source)) return false;
    File* inf = m_state->FindFileEntry(source);
    if (!inf) return m_state->Error(ERROR_FILE_NOT_FOUND, false);
    const std::string infFolder = m_state->windowsDirectory + "\\inf\\";
    // An INF already published with the same bytes is not published again:
    // its name is given back (what SP_COPY_NOOVERWRITE turns into
    // ERROR_FILE_EXISTS, learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupcopyoeminfa).
    for (const auto& package : m_state->packages) {
        const File* published = m_state->FindFileEntry(infFolder + package->publishedName);
        if (!published || published->content != inf->content) continue;
        if (publishedName) *publishedName = package->publishedName;
        return true;
    }
    std::string name;
    for (int n = 0;; ++n) {
        name = "oem" + std::to_string(n) + ".inf";
        if (!m_state->FindFileEntry(infFolder + name) && !m_state->FindPackage(name)) break;
    }
    const std::string sourceFolder = FolderOf(source, m_state->DoubleByte());
    std::vector<std::pair<std::string, std::string>> files = {
        {NameOf(source, m_state->DoubleByte()), inf->content}};
    for (auto& file : m_state->files) {
        if (file.get() != inf && SameText(FolderOf(file->path, m_state->DoubleByte()), sourceFolder))
            files.emplace_back(NameOf(file->path, m_state->DoubleByte()), file->content);
    }
    AddFile(infFolder + name, inf->content);
    AddFile(infFolder + name.substr(0, name.size() - 3) + "pnf", "PNF");
    AddDriverPackage(name,
                     m_state->windowsDirectory + "\\System32\\DriverStore\\FileRepository\\" +
                         Upper(NameOf(source, m_state->DoubleByte())) + "_" + name,
                     files);
    if (publishedName) *publishedName = name;
    m_state->calls.push_back("CopyOEMInf " + source + " as " + name);
    return true;
}

}  // namespace vk::sim
