#include <cstring>

#include "diag/messages.h"
#include "inventory/inventory.h"
#include "inventory/registry_key.h"
#include "platform/ansi_text.h"

namespace vk {

namespace {

constexpr std::size_t kRevisionOffset = 22;
constexpr std::size_t kRevisionMinLength = 26;
constexpr std::size_t kEnumeratorPrefixLength = 4;

bool EqualsAsciiNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
        char cb = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
        if (ca != cb) return false;
        if (ca == '\0') return true;
    }
}

const char* HardwareIdOrNull(const CLEAN_DEVINFO& record) {
    return record.pszHardwareId.present() ? record.pszHardwareId.text() : nullptr;
}

}  // namespace

LONG CRegKeyHolder::QueryStringValue(char* buffer, const char* valueName, DWORD* size) {
    const DWORD capacity = *size;
    DWORD type = REG_NONE;
    LONG result = m_registry.RegQueryValueEx(m_key, valueName, &type, reinterpret_cast<std::uint8_t*>(buffer), size);
    auto makeEmpty = [&] {
        if (capacity > 0) buffer[0] = '\0';
    };
    if (result != 0) {
        makeEmpty();
        return result;
    }
    if (*size == 0) {
        makeEmpty();
        return result;
    }
    // A size beyond the capacity is never looked into.
    if (*size > capacity) {
        makeEmpty();
        return ERROR_MORE_DATA;
    }
    const DWORD n = *size;
    bool terminated = false;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        terminated = buffer[n - 1] == '\0';
    } else if (type == REG_MULTI_SZ) {
        terminated = buffer[n - 1] == '\0' && (n < 2 || buffer[n - 2] == '\0');
    }
    if (!terminated) {
        makeEmpty();
        return ERROR_INVALID_DATA;
    }
    return result;
}

int CDeviceInventory::ReadHardwareId(CLEAN_DEVINFO& record) {
    char ids[kPropertyBufferSize] = {};
    DWORD type = 0;
    DWORD size = 0;
    if (!m_platform.GetDeviceRegistryProperty(m_hDevInfo, record.element(), SPDRP_HARDWAREID, &type,
                                              reinterpret_cast<std::uint8_t*>(ids), sizeof ids, &size)) {
        std::string text = MsgHwidReadFailed(m_platform);
        LogWithLastError(text, LogLevelError);
        return -1;
    }
    if (size > sizeof ids) size = sizeof ids;

    AnsiCodePage codePage(m_platform);
    std::size_t total = 0;
    while (total < size) {
        char* id = ids + total;
        std::size_t length = BoundedLength(id, size - total);
        if (length == 0) break;
        codePage.UpperInPlace(id, length);
        if (length >= kRevisionMinLength && std::memcmp(id + kRevisionOffset, "REV_", 4) == 0) {
            total += length + 1;
            continue;
        }
        if (length < kEnumeratorPrefixLength) {
            record.pszHardwareId = HeapBlock::EmptyString(m_platform);
        } else {
            std::size_t kept = length - kEnumeratorPrefixLength;
            record.pszHardwareId = HeapBlock::CopyText(m_platform, id + kEnumeratorPrefixLength, kept, kept + 1);
        }
        break;
    }
    return 0;
}

void CDeviceInventory::ReadDriverInfo(CLEAN_DEVINFO& record) {
    char driverKey[kPropertyBufferSize] = {};
    DWORD type = 0;
    DWORD size = 0;
    // Until the provider is read as the maker's, the service may be another's.
    record.foreignProvider = true;
    if (!m_platform.GetDeviceRegistryProperty(m_hDevInfo, record.element(), SPDRP_DRIVER, &type,
                                              reinterpret_cast<std::uint8_t*>(driverKey), sizeof driverKey,
                                              &size)) {
        record.pszClassKeyPath = HeapBlock::EmptyString(m_platform);
        record.pszInfName = HeapBlock::EmptyString(m_platform);
        std::string text = MsgInfKept(m_platform, HardwareIdOrNull(record));
        Log(0, text, LogLevelInfo);
        return;
    }
    if (size > sizeof driverKey) size = sizeof driverKey;

    std::string path = std::string(kClassKeyRoot) + "\\" + std::string(driverKey, BoundedLength(driverKey, size));
    record.pszClassKeyPath = HeapBlock::CopyText(m_platform, path.c_str(), path.size(), size + 41);

    RegKey opened = kNullRegKey;
    if (m_platform.RegOpenKeyEx(RegRoot::LocalMachine, path.c_str(), 0, KEY_ALL_ACCESS, &opened) != 0) {
        record.pszInfName = HeapBlock::EmptyString(m_platform);
        return;
    }
    CRegKeyHolder key(m_platform, opened);
    char value[kProviderNameCapacity] = {};
    DWORD valueSize = kProviderNameCapacity;
    if (key.QueryStringValue(value, "ProviderName", &valueSize) == 0 && value[0] != '\0') {
        if (EqualsAsciiNoCase(value, kMakerProviderName)) {
            record.foreignProvider = false;
            valueSize = kInfPathCapacity;
            if (key.QueryStringValue(value, "InfPath", &valueSize) == 0) {
                record.pszInfName = HeapBlock::CopyText(m_platform, value, valueSize, valueSize);
            }
        }
    }
    key.Close();
    if (!record.pszInfName.present()) record.pszInfName = HeapBlock::EmptyString(m_platform);
}

void CDeviceInventory::ReadClassName(CLEAN_DEVINFO& record) {
    char className[kPropertyBufferSize] = {};
    DWORD type = 0;
    DWORD size = 0;
    if (m_platform.GetDeviceRegistryProperty(m_hDevInfo, record.element(), SPDRP_CLASS, &type,
                                             reinterpret_cast<std::uint8_t*>(className), sizeof className,
                                             &size)) {
        if (size > sizeof className) size = sizeof className;
        record.pszClassName = HeapBlock::CopyText(m_platform, className, size, size);
        return;
    }
    record.pszClassName = HeapBlock::EmptyString(m_platform);
    std::string failed = MsgClassReadFailed(m_platform);
    LogWithLastError(failed, LogLevelInfo);
    std::string kept = MsgServiceKept(m_platform, HardwareIdOrNull(record));
    Log(0, kept, LogLevelInfo);
}

void CDeviceInventory::ReadServiceName(CLEAN_DEVINFO& record) {
    char name[kPropertyBufferSize] = {};
    DWORD type = 0;
    DWORD size = 0;
    // The first lower filter is the reader's own driver; the function service
    // is looked at only when there is none.
    for (DWORD property : {SPDRP_LOWERFILTERS, SPDRP_SERVICE}) {
        if (m_platform.GetDeviceRegistryProperty(m_hDevInfo, record.element(), property, &type,
                                                 reinterpret_cast<std::uint8_t*>(name), sizeof name, &size)) {
            if (size > sizeof name) size = sizeof name;
            record.pszServiceName = HeapBlock::CopyText(m_platform, name, size, size);
            return;
        }
    }
    record.pszServiceName = HeapBlock::EmptyString(m_platform);
    std::string failed = MsgServiceReadFailed(m_platform);
    LogWithLastError(failed, LogLevelInfo);
    std::string kept = MsgServiceKept(m_platform, HardwareIdOrNull(record));
    Log(0, kept, LogLevelInfo);
}

}  // namespace vk
