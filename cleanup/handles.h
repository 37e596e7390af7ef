// Holders for the handles the cleanup actions open: each closes its handle
// when it goes away, so no path of an operation can leave one open.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace vk {

template <typename Api, typename Handle, Handle kEmpty, bool (Api::*kClose)(Handle)>
class PlatformHandle {
public:
    PlatformHandle(Api& api, Handle handle) : m_api(api), m_handle(handle) {}
    ~PlatformHandle() { reset(); }
    PlatformHandle(const PlatformHandle&) = delete;
    PlatformHandle& operator=(const PlatformHandle&) = delete;

    Handle get() const { return m_handle; }
    bool valid() const { return m_handle != kEmpty; }
    // A failed close is not reported: the handle is gone either way and the
    // pass has nothing to recover.
    void reset() {
        if (m_handle != kEmpty) (m_api.*kClose)(m_handle);
        m_handle = kEmpty;
    }
    Handle release() { return std::exchange(m_handle, kEmpty); }

private:
    Api& m_api;
    Handle m_handle;
};

using FindHolder = PlatformHandle<IFileSystem, FindHandle, kInvalidFindHandle, &IFileSystem::FindClose>;
using FileHolder = PlatformHandle<IFileSystem, FileHandle, kInvalidFileHandle, &IFileSystem::CloseHandle>;
using HashHolder = PlatformHandle<IFileSystem, HashHandle, kNullHashHandle, &IFileSystem::DestroyHash>;
using ScHolder =
    PlatformHandle<IServiceManager, ScHandle, kNullScHandle, &IServiceManager::CloseServiceHandle>;

}  // namespace vk
