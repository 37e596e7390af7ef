#include "backup/registry_tree.h"

#include "inventory/registry_key.h"

namespace vk {

namespace {

// The longest names the registry allows, with their terminators.
constexpr DWORD kMaxKeyName = 256;
constexpr DWORD kMaxValueName = 16384;

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// String data as the wide functions store it: UTF-16LE, terminators included.
bool WidenData(IPlatform& platform, const std::vector<std::uint8_t>& data,
               std::vector<std::uint8_t>* wideData) {
    std::u16string wide;
    if (!platform.AnsiToUtf16(std::string(data.begin(), data.end()), &wide)) return false;
    wideData->clear();
    for (char16_t c : wide) {
        wideData->push_back(static_cast<std::uint8_t>(c & 0xFF));
        wideData->push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return true;
}

LONG LastError(IPlatform& platform) {
    const DWORD code = platform.GetLastError();
    return static_cast<LONG>(code != 0 ? code : ERROR_NO_UNICODE_TRANSLATION);
}

LONG ReadValues(IPlatform& platform, RegKey key, RegFileKey* into) {
    std::vector<char> name(kMaxValueName);
    std::vector<std::uint8_t> data(256);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = kMaxValueName;
        DWORD type = REG_NONE;
        DWORD dataSize = static_cast<DWORD>(data.size());
        LONG result =
            platform.RegEnumValue(key, index, name.data(), &nameSize, &type, data.data(), &dataSize);
        if (result == static_cast<LONG>(ERROR_MORE_DATA) && dataSize > data.size()) {
            data.resize(dataSize);
            nameSize = kMaxValueName;
            result = platform.RegEnumValue(key, index, name.data(), &nameSize, &type, data.data(), &dataSize);
        }
        if (result == static_cast<LONG>(ERROR_NO_MORE_ITEMS)) return 0;
        if (result != 0) return result;
        RegFileValue value;
        value.type = type;
        std::vector<std::uint8_t> bytes(data.begin(), data.begin() + dataSize);
        if (!platform.AnsiToUtf16(std::string(name.data(), nameSize), &value.name))
            return LastError(platform);
        if (IsStringType(type)) {
            if (!WidenData(platform, bytes, &value.data)) return LastError(platform);
        } else {
            value.data = std::move(bytes);
        }
        into->values.push_back(std::move(value));
    }
}

LONG ReadTree(IPlatform& platform, const std::string& subKey, bool skipRefused, bool top,
              std::vector<RegFileKey>* keys) {
    RegKey opened = kNullRegKey;
    LONG result = platform.RegOpenKeyEx(RegRoot::LocalMachine, subKey.c_str(), 0, KEY_READ, &opened);
    if (result == static_cast<LONG>(ERROR_ACCESS_DENIED) && skipRefused && !top) return 0;
    if (result != 0) return result;
    CRegKeyHolder key(platform, opened);

    RegFileKey entry;
    if (!platform.AnsiToUtf16(std::string(kLocalMachineName) + "\\" + subKey, &entry.path))
        return LastError(platform);
    result = ReadValues(platform, opened, &entry);
    if (result != 0) return result;
    keys->push_back(std::move(entry));

    // The names first, so that no handle stays open down the tree.
    std::vector<std::string> children;
    char name[kMaxKeyName];
    for (DWORD index = 0;; ++index) {
        DWORD size = kMaxKeyName;
        result = platform.RegEnumKeyEx(opened, index, name, &size);
        if (result == static_cast<LONG>(ERROR_NO_MORE_ITEMS)) break;
        if (result != 0) return result;
        children.emplace_back(name, size);
    }
    key.Close();
    for (const std::string& child : children) {
        result = ReadTree(platform, subKey + "\\" + child, skipRefused, false, keys);
        if (result != 0) return result;
    }
    return 0;
}

}  // namespace

LONG ReadKeyTree(IPlatform& platform, const std::string& subKey, bool skipRefused,
                 std::vector<RegFileKey>* keys) {
    keys->clear();
    return ReadTree(platform, subKey, skipRefused, true, keys);
}

LONG WriteKeyTree(IPlatform& platform, const std::vector<RegFileKey>& keys, bool replace) {
    const std::string root = std::string(kLocalMachineName) + "\\";
    for (const RegFileKey& key : keys) {
        std::string path;
        if (!platform.Utf16ToAnsi(key.path, &path)) return LastError(platform);
        if (path.size() <= root.size() || path.compare(0, root.size(), root) != 0)
            return static_cast<LONG>(ERROR_INVALID_DATA);
        RegKey created = kNullRegKey;
        bool isNew = false;
        LONG result =
            platform.RegCreateKeyEx(RegRoot::LocalMachine, path.c_str() + root.size(), &created, &isNew);
        if (result != 0) return result;
        CRegKeyHolder holder(platform, created);
        for (const RegFileValue& value : key.values) {
            std::string name;
            if (!platform.Utf16ToAnsi(value.name, &name)) return LastError(platform);
            if (!replace) {
                DWORD size = 0;
                result = platform.RegQueryValueEx(created, name.c_str(), nullptr, nullptr, &size);
                if (result == 0) continue;
                if (result != static_cast<LONG>(ERROR_FILE_NOT_FOUND)) return result;
            }
            std::string data(value.data.begin(), value.data.end());
            if (IsStringType(value.type)) {
                std::u16string wide;
                for (std::size_t i = 0; i + 1 < value.data.size(); i += 2)
                    wide += static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
                if (!platform.Utf16ToAnsi(wide, &data)) return LastError(platform);
            }
            result = platform.RegSetValueEx(created, name.c_str(), value.type,
                                            reinterpret_cast<const std::uint8_t*>(data.data()),
                                            static_cast<DWORD>(data.size()));
            if (result != 0) return result;
        }
    }
    return 0;
}

}  // namespace vk
