// The simulated service control manager: services marked for deletion go
// once their last handle is closed.
#include "platform/simulated/state.h"

namespace vk::sim {

ScHandle SimulatedWorkstation::OpenSCManager(DWORD access) {
    if (m_state->Injected("OpenSCManager", "")) return kNullScHandle;
    if (!m_state->administrator) return m_state->Error(ERROR_ACCESS_DENIED, kNullScHandle);
    std::uintptr_t handle = m_state->NewHandle();
    m_state->scHandles[handle] = {nullptr, access};
    return static_cast<ScHandle>(handle);
}

ScHandle SimulatedWorkstation::OpenService(ScHandle manager, const char* serviceName, DWORD access) {
    if (m_state->Injected("OpenService", serviceName ? serviceName : "")) return kNullScHandle;
    auto it = m_state->scHandles.find(static_cast<std::uintptr_t>(manager));
    if (it == m_state->scHandles.end() || it->second.service != nullptr)
        return m_state->Error(ERROR_INVALID_HANDLE, kNullScHandle);
    Service* service = serviceName ? m_state->FindServiceEntry(serviceName) : nullptr;
    if (!service) return m_state->Error(ERROR_SERVICE_DOES_NOT_EXIST, kNullScHandle);
    ++service->openHandles;
    std::uintptr_t handle = m_state->NewHandle();
    m_state->scHandles[handle] = {service, access};
    return static_cast<ScHandle>(handle);
}

bool SimulatedWorkstation::DeleteService(ScHandle serviceHandle) {
    auto it = m_state->scHandles.find(static_cast<std::uintptr_t>(serviceHandle));
    Service* service = it == m_state->scHandles.end() ? nullptr : it->second.service;
    if (m_state->Injected("DeleteService", service ? service->name : "")) return false;
    if (!service) return m_state->Error(ERROR_INVALID_HANDLE, false);
    // The handle must have been opened for deletion.
    if (!(it->second.access & (DELETE | kGenericAll | kMaximumAllowed)))
        return m_state->Error(ERROR_ACCESS_DENIED, false);
    if (service->markedForDeletion) return m_state->Error(ERROR_SERVICE_MARKED_FOR_DELETE, false);
    service->markedForDeletion = true;
    m_state->calls.push_back("DeleteService " + service->name);
    return true;
}

bool SimulatedWorkstation::CloseServiceHandle(ScHandle handle) {
    auto open = m_state->scHandles.find(static_cast<std::uintptr_t>(handle));
    bool isService = open != m_state->scHandles.end() && open->second.service;
    if (m_state->Injected("CloseServiceHandle", isService ? open->second.service->name : "")) return false;
    auto it = m_state->scHandles.find(static_cast<std::uintptr_t>(handle));
    if (it == m_state->scHandles.end()) return m_state->Error(ERROR_INVALID_HANDLE, false);
    Service* service = it->second.service;
    m_state->scHandles.erase(it);
    if (service) m_state->ReleaseService(service);
    return true;
}

}  // namespace vk::sim
