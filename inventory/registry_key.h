// Holder of one open registry key, closed when told to or when it goes away.
#pragma once

#include "platform/platform.h"

namespace vk {

class CRegKeyHolder {
public:
    CRegKeyHolder(IRegistry& registry, RegKey key) : m_registry(registry), m_key(key) {}
    ~CRegKeyHolder() { Close(); }
    CRegKeyHolder(const CRegKeyHolder&) = delete;
    CRegKeyHolder& operator=(const CRegKeyHolder&) = delete;

    void Close() {
        if (m_key != kNullRegKey) m_registry.RegCloseKey(m_key);
        m_key = kNullRegKey;
    }

    // Reads a string value into `buffer`. `size` is the capacity in bytes on
    // entry and the size the registry reports on return. 0 when the value was
    // read and is a properly terminated string; otherwise the buffer holds the
    // empty string and the result is an error code (ERROR_INVALID_DATA for data
    // of the wrong type or without terminator).
    LONG QueryStringValue(char* buffer, const char* valueName, DWORD* size);

private:
    IRegistry& m_registry;
    RegKey m_key;
};

}  // namespace vk
