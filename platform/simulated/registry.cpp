// The simulated registry below HKEY_LOCAL_MACHINE: keys by path, values
// looked up case-insensitively.
#include <cstring>
#include <iterator>

#include "platform/simulated/state.h"

namespace vk::sim {

LONG SimulatedWorkstation::RegOpenKeyEx(RegRoot, const char* subKey, DWORD, DWORD access, RegKey* key) {
    if (const DWORD code = m_state->InjectedCode("RegOpenKeyEx", subKey ? subKey : ""))
        return static_cast<LONG>(code);
    if (!key) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    RegistryKey* found = subKey ? m_state->FindKey(subKey) : nullptr;
    if (!found) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    if ((found->refuseFullAccess && access == KEY_ALL_ACCESS) || found->refuseRead)
        return static_cast<LONG>(ERROR_ACCESS_DENIED);
    std::uintptr_t handle = m_state->NewHandle();
    m_state->openKeys[handle] = found;
    *key = static_cast<RegKey>(handle);
    return 0;
}

LONG SimulatedWorkstation::RegQueryValueEx(RegKey key, const char* valueName, DWORD* type, std::uint8_t* data,
                                           DWORD* size) {
    if (const DWORD code = m_state->InjectedCode("RegQueryValueEx", valueName ? valueName : ""))
        return static_cast<LONG>(code);
    auto open = m_state->openKeys.find(static_cast<std::uintptr_t>(key));
    if (open == m_state->openKeys.end()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    // The values map is public, so it may hold names in any case.
    const RegValue* found = nullptr;
    for (const auto& entry : open->second->values) {
        if (SameText(entry.first, valueName ? valueName : "")) found = &entry.second;
    }
    if (!found) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    const RegValue& value = *found;
    DWORD needed = static_cast<DWORD>(value.data.size());
    if (type) *type = value.type;
    if (!data) {
        if (size) *size = needed;
        return 0;
    }
    if (!size) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    if (*size < needed) {
        *size = needed;
        return static_cast<LONG>(ERROR_MORE_DATA);
    }
    if (needed > 0) std::memcpy(data, value.data.data(), needed);
    *size = needed;
    return 0;
}

LONG SimulatedWorkstation::RegCloseKey(RegKey key) {
    if (const DWORD code = m_state->InjectedCode("RegCloseKey", m_state->KeyPathOf(key)))
        return static_cast<LONG>(code);
    if (m_state->openKeys.erase(static_cast<std::uintptr_t>(key)) == 0)
        return static_cast<LONG>(ERROR_INVALID_HANDLE);
    return 0;
}

namespace {

// Copies `text` into a name buffer as the Reg enumerations do: *size is the
// capacity in characters in, the length written out.
LONG CopyName(const std::string& text, char* name, DWORD* size) {
    if (!name || !size) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    if (*size < text.size() + 1) return static_cast<LONG>(ERROR_MORE_DATA);
    std::memcpy(name, text.c_str(), text.size() + 1);
    *size = static_cast<DWORD>(text.size());
    return 0;
}

}  // namespace

LONG SimulatedWorkstation::RegEnumKeyEx(RegKey key, DWORD index, char* name, DWORD* nameSize) {
    if (const DWORD code = m_state->InjectedCode("RegEnumKeyEx", m_state->KeyPathOf(key)))
        return static_cast<LONG>(code);
    auto open = m_state->openKeys.find(static_cast<std::uintptr_t>(key));
    if (open == m_state->openKeys.end()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    // The index's ordered map lists a key's direct subkeys one after another.
    const std::string prefix = Upper(open->second->path) + "\\";
    DWORD seen = 0;
    for (auto it = m_state->keyIndex.lower_bound(prefix);
         it != m_state->keyIndex.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
        if (seen++ == index) return CopyName(it->second->path.substr(prefix.size()), name, nameSize);
    }
    return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
}

LONG SimulatedWorkstation::RegEnumValue(RegKey key, DWORD index, char* name, DWORD* nameSize, DWORD* type,
                                        std::uint8_t* data, DWORD* dataSize) {
    if (const DWORD code = m_state->InjectedCode("RegEnumValue", m_state->KeyPathOf(key)))
        return static_cast<LONG>(code);
    auto open = m_state->openKeys.find(static_cast<std::uintptr_t>(key));
    if (open == m_state->openKeys.end()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    const auto& values = open->second->values;
    if (index >= values.size()) return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
    const auto& entry = *std::next(values.begin(), index);
    if (LONG error = CopyName(entry.first, name, nameSize)) return error;
    const DWORD needed = static_cast<DWORD>(entry.second.data.size());
    if (type) *type = entry.second.type;
    if (!dataSize) return data ? static_cast<LONG>(ERROR_INVALID_PARAMETER) : 0;
    if (data && *dataSize < needed) {
        *dataSize = needed;
        return static_cast<LONG>(ERROR_MORE_DATA);
    }
    if (data && needed > 0) std::memcpy(data, entry.second.data.data(), needed);
    *dataSize = needed;
    return 0;
}

}  // namespace vk::sim

namespace vk::sim {

LONG SimulatedWorkstation::RegCreateKeyEx(RegRoot, const char* subKey, RegKey* key, bool* created) {
    const std::string path = subKey ? subKey : "";
    if (const DWORD code = m_state->InjectedCode("RegCreateKeyEx", path)) return static_cast<LONG>(code);
    if (!key || path.empty()) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    RegistryKey* found = m_state->FindKey(path);
    if (created) *created = found == nullptr;
    if (!found) {
        found = &AddRegistryKey(path);
        m_state->calls.push_back("RegCreateKeyEx " + path);
    }
    std::uintptr_t handle = m_state->NewHandle();
    m_state->openKeys[handle] = found;
    *key = static_cast<RegKey>(handle);
    return 0;
}

LONG SimulatedWorkstation::RegSetValueEx(RegKey key, const char* valueName, DWORD type,
                                         const std::uint8_t* data, DWORD size) {
    const std::string name = valueName ? valueName : "";
    if (const DWORD code = m_state->InjectedCode("RegSetValueEx", name)) return static_cast<LONG>(code);
    auto open = m_state->openKeys.find(static_cast<std::uintptr_t>(key));
    if (open == m_state->openKeys.end()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    if (!data && size > 0) return static_cast<LONG>(kErrorNoAccess);
    auto& values = open->second->values;
    // One value per name whatever its case: the first spelling stays.
    auto it = values.begin();
    while (it != values.end() && !SameText(it->first, name)) ++it;
    RegValue& value = it == values.end() ? values[name] : it->second;
    value.type = type;
    value.data.assign(data, data + size);
    m_state->calls.push_back("RegSetValueEx " + open->second->path + "\\" + name);
    return 0;
}

}  // namespace vk::sim
