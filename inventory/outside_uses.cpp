// What the workstation's other devices still use, so that the cleanup never
// takes it from them.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "inventory/inventory.h"
#include "inventory/registry_key.h"
#include "platform/ansi_text.h"
#include "res/resource.h"

namespace vk {

namespace {

// No name list of a device or a class comes near this; a larger one is not read.
constexpr DWORD kMaxListSize = 64 * 1024;

enum class ReadResult { Done, Absent, Failed };

// The strings of `size` bytes of string or multi-string data; data need not
// be terminated.
std::vector<std::string> SplitStrings(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> strings;
    const char* text = reinterpret_cast<const char*>(data);
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = BoundedLength(text + at, size - at);
        if (length == 0) break;
        strings.emplace_back(text + at, length);
        at += length + 1;
    }
    return strings;
}

// A device property as its strings, grown once to the size the platform asks for.
ReadResult ReadPropertyStrings(IPlatform& platform, DevInfoSet set, const DevInfoData* element,
                               DWORD property, std::vector<std::string>* strings, DWORD* code) {
    std::vector<std::uint8_t> buffer(kPropertyBufferSize);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (platform.GetDeviceRegistryProperty(set, element, property, &type, buffer.data(),
                                               static_cast<DWORD>(buffer.size()), &size)) {
            *strings = SplitStrings(buffer.data(), std::min<std::size_t>(size, buffer.size()));
            return ReadResult::Done;
        }
        *code = platform.GetLastError();
        if (*code == ERROR_INVALID_DATA) return ReadResult::Absent;
        if (*code != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size() || size > kMaxListSize) break;
        buffer.resize(size);
    }
    return ReadResult::Failed;
}

// A registry value as its strings. A value of another type names nothing.
ReadResult ReadValueStrings(IRegistry& registry, RegKey key, const char* valueName,
                            std::vector<std::string>* strings, DWORD* code) {
    std::vector<std::uint8_t> buffer(kPropertyBufferSize);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(buffer.size());
        *code = static_cast<DWORD>(registry.RegQueryValueEx(key, valueName, &type, buffer.data(), &size));
        if (*code == 0) {
            if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return ReadResult::Absent;
            *strings = SplitStrings(buffer.data(), std::min<std::size_t>(size, buffer.size()));
            return ReadResult::Done;
        }
        if (*code == ERROR_FILE_NOT_FOUND) return ReadResult::Absent;
        if (*code != ERROR_MORE_DATA || size <= buffer.size() || size > kMaxListSize) break;
        buffer.resize(size);
    }
    return ReadResult::Failed;
}

bool StartsWithNoCase(const std::string& text, const char* head) {
    const std::size_t length = std::strlen(head);
    if (text.size() < length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
        if (fold(text[i]) != fold(head[i])) return false;
    }
    return true;
}

// An image path as the service loader reads it, made a full path: "\??\"
// before a full path, "\SystemRoot\" (or %SystemRoot%, %windir%) for the
// Windows directory, and a path without a drive relative to the Windows
// directory, as for drivers (ImagePath, "Services registry tree" in the
// driver documentation).
std::string FullImagePath(const std::string& windowsDirectory, std::string image) {
    if (StartsWithNoCase(image, "\\??\\")) image.erase(0, 4);
    for (const char* root : {"\\SystemRoot\\", "%SystemRoot%\\", "%windir%\\"}) {
        if (StartsWithNoCase(image, root)) return windowsDirectory + "\\" + image.substr(std::strlen(root));
    }
    if (image.size() >= 2 && image[1] == ':') return image;
    if (!image.empty() && image[0] == '\\') return windowsDirectory.substr(0, 2) + image;
    return windowsDirectory + "\\" + image;
}

// The device-information set of the walk, destroyed when the walk ends.
class DeviceSetHolder {
public:
    DeviceSetHolder(IDeviceSetup& setup, DevInfoSet set) : m_setup(setup), m_set(set) {}
    ~DeviceSetHolder() {
        if (m_set != kInvalidDevInfoSet) m_setup.DestroyDeviceInfoList(m_set);
    }
    DeviceSetHolder(const DeviceSetHolder&) = delete;
    DeviceSetHolder& operator=(const DeviceSetHolder&) = delete;
    DevInfoSet get() const { return m_set; }

private:
    IDeviceSetup& m_setup;
    DevInfoSet m_set;
};

std::string WindowsDirectory(IFileSystem& files) {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = files.GetWindowsDirectory(buffer, sizeof buffer);
    if (length == 0 || length > MAX_PATH) return std::string();
    return std::string(buffer, length);
}

}  // namespace

void CDeviceInventory::OutsideWalkFailed(const std::string& object, DWORD code) {
    m_outside.complete = false;
    std::string text;
    if (!object.empty()) ExpandMessagePattern(m_platform, text, kPatternNameColon, object.c_str());
    text += LoadResourceString(m_platform, IDS_LOG_OUTSIDE_UNKNOWN);
    if (code == 0) text += "\r\n";
    Log(code, text, LogLevelError);
}

DWORD CDeviceInventory::ReadServiceImage(const std::string& service, std::string* image) {
    image->clear();
    const std::string windowsDirectory = WindowsDirectory(m_platform);
    if (windowsDirectory.empty()) return m_platform.GetLastError();
    const std::string keyPath = std::string(kServiceKeyRoot) + "\\" + service;
    RegKey opened = kNullRegKey;
    DWORD code = static_cast<DWORD>(
        m_platform.RegOpenKeyEx(RegRoot::LocalMachine, keyPath.c_str(), 0, KEY_READ, &opened));
    if (code == ERROR_FILE_NOT_FOUND) return 0;
    if (code != 0) return code;
    CRegKeyHolder key(m_platform, opened);
    std::vector<std::string> strings;
    switch (ReadValueStrings(m_platform, opened, "ImagePath", &strings, &code)) {
        case ReadResult::Failed:
            return code;
        case ReadResult::Absent:
            strings.clear();
            break;
        case ReadResult::Done:
            break;
    }
    const std::string path = strings.empty() ? windowsDirectory + kDriversFolder + service + ".sys"
                                             : FullImagePath(windowsDirectory, strings.front());
    *image = AnsiCodePage(m_platform).Folded(path.c_str());
    return 0;
}

std::vector<std::string> CDeviceInventory::MakerDriverFiles() {
    const std::string windowsDirectory = WindowsDirectory(m_platform);
    if (windowsDirectory.empty()) return {};
    const AnsiCodePage codePage(m_platform);
    std::vector<std::string> files;
    for (const char* file : {kDriverFile1, kDriverFile2})
        files.push_back(codePage.Folded((windowsDirectory + kDriversFolder + file).c_str()));
    return files;
}

void CDeviceInventory::CollectOutsideUses() {
    m_outside.Clear();
    const AnsiCodePage codePage(m_platform);

    // The selection is known by instance ID: the walk's set is another set,
    // whose elements are not the selection's.
    std::unordered_set<std::string> selected;
    for (const auto& record : m_devices) selected.insert(codePage.Folded(InstanceIdOf(*record).c_str()));

    DeviceSetHolder set(m_platform, m_platform.GetClassDevs(nullptr, DIGCF_ALLCLASSES));
    if (set.get() == kInvalidDevInfoSet) return OutsideWalkFailed(std::string(), m_platform.GetLastError());

    for (DWORD index = 0;; ++index) {
        DevInfoData element{};
        element.cbSize = sizeof(DevInfoData);
        if (!m_platform.EnumDeviceInfo(set.get(), index, &element)) {
            const DWORD code = m_platform.GetLastError();
            if (code == ERROR_NO_MORE_ITEMS) break;
            return OutsideWalkFailed(std::string(), code);
        }
        char instance[kPropertyBufferSize] = {};
        DWORD needed = 0;
        if (!m_platform.GetDeviceInstanceId(set.get(), &element, instance, sizeof instance, &needed)) {
            return OutsideWalkFailed(std::string(), m_platform.GetLastError());
        }
        const OUTSIDE_USER user{std::string(instance, BoundedLength(instance, sizeof instance)), false};
        if (selected.count(codePage.Folded(user.name.c_str())) != 0) continue;

        DWORD code = 0;
        for (DWORD property : {SPDRP_SERVICE, SPDRP_LOWERFILTERS, SPDRP_UPPERFILTERS}) {
            std::vector<std::string> names;
            if (ReadPropertyStrings(m_platform, set.get(), &element, property, &names, &code) ==
                ReadResult::Failed) {
                return OutsideWalkFailed(user.name, code);
            }
            for (const std::string& name : names) m_outside.services.emplace(name, user);
        }

        // The INF its driver was installed from, whatever the provider.
        std::vector<std::string> driverKey;
        const ReadResult driver =
            ReadPropertyStrings(m_platform, set.get(), &element, SPDRP_DRIVER, &driverKey, &code);
        if (driver == ReadResult::Failed) return OutsideWalkFailed(user.name, code);
        if (driver == ReadResult::Absent || driverKey.empty()) continue;
        const std::string path = std::string(kClassKeyRoot) + "\\" + driverKey.front();
        RegKey opened = kNullRegKey;
        code = static_cast<DWORD>(
            m_platform.RegOpenKeyEx(RegRoot::LocalMachine, path.c_str(), 0, KEY_READ, &opened));
        if (code == ERROR_FILE_NOT_FOUND) continue;
        if (code != 0) return OutsideWalkFailed(path, code);
        CRegKeyHolder key(m_platform, opened);
        std::vector<std::string> infPath;
        if (ReadValueStrings(m_platform, opened, "InfPath", &infPath, &code) == ReadResult::Failed) {
            return OutsideWalkFailed(path, code);
        }
        if (!infPath.empty()) m_outside.infNames.emplace(codePage.Folded(infPath.front().c_str()), user);
    }

    // A class filter is loaded for every device of its class.
    RegKey opened = kNullRegKey;
    DWORD code = static_cast<DWORD>(
        m_platform.RegOpenKeyEx(RegRoot::LocalMachine, kClassKeyRoot, 0, KEY_READ, &opened));
    if (code != 0 && code != ERROR_FILE_NOT_FOUND) return OutsideWalkFailed(kClassKeyRoot, code);
    // Without the key there is no class, and no key to close.
    if (code != 0) opened = kNullRegKey;
    CRegKeyHolder classes(m_platform, opened);
    for (DWORD index = 0; opened != kNullRegKey; ++index) {
        char name[kPropertyBufferSize] = {};
        DWORD size = sizeof name;
        code = static_cast<DWORD>(m_platform.RegEnumKeyEx(opened, index, name, &size));
        if (code == ERROR_NO_MORE_ITEMS) break;
        if (code != 0) return OutsideWalkFailed(kClassKeyRoot, code);
        const OUTSIDE_USER user{std::string(name, BoundedLength(name, sizeof name)), true};
        const std::string path = std::string(kClassKeyRoot) + "\\" + user.name;
        RegKey classKey = kNullRegKey;
        code = static_cast<DWORD>(
            m_platform.RegOpenKeyEx(RegRoot::LocalMachine, path.c_str(), 0, KEY_READ, &classKey));
        if (code == ERROR_FILE_NOT_FOUND) continue;
        if (code != 0) return OutsideWalkFailed(path, code);
        CRegKeyHolder key(m_platform, classKey);
        for (const char* value : {"UpperFilters", "LowerFilters"}) {
            std::vector<std::string> names;
            if (ReadValueStrings(m_platform, classKey, value, &names, &code) == ReadResult::Failed)
                return OutsideWalkFailed(path, code);
            for (const std::string& filter : names) m_outside.services.emplace(filter, user);
        }
    }
    classes.Close();

    // Every service so named may have one of the maker's files as its image.
    for (const auto& entry : m_outside.services) {
        std::string image;
        if (const DWORD code = ReadServiceImage(entry.first, &image)) {
            return OutsideWalkFailed(std::string(kServiceKeyRoot) + "\\" + entry.first, code);
        }
        if (!image.empty()) m_outside.images.emplace(image, entry.second);
    }
    m_outside.complete = true;
}

}  // namespace vk
