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

namespace vk::sim {

bool SimulatedWorkstation::QueryServiceConfig(ScHandle serviceHandle, ServiceConfig* config) {
    auto it = m_state->scHandles.find(static_cast<std::uintptr_t>(serviceHandle));
    Service* service = it == m_state->scHandles.end() ? nullptr : it->second.service;
    if (m_state->Injected("QueryServiceConfig", service ? service->name : "")) return false;
    if (!service || !config) return m_state->Error(ERROR_INVALID_HANDLE, false);
    if (!(it->second.access & (SERVICE_QUERY_CONFIG | kGenericAll | kMaximumAllowed)))
        return m_state->Error(ERROR_ACCESS_DENIED, false);
    *config = service->config;
    return true;
}

ScHandle SimulatedWorkstation::CreateService(ScHandle manager, const char* serviceName,
                                             const ServiceConfig& config, DWORD access) {
    const std::string name = serviceName ? serviceName : "";
    if (m_state->Injected("CreateService", name)) return kNullScHandle;
    auto it = m_state->scHandles.find(static_cast<std::uintptr_t>(manager));
    if (it == m_state->scHandles.end() || it->second.service != nullptr)
        return m_state->Error(ERROR_INVALID_HANDLE, kNullScHandle);
    if (name.empty() || config.binaryPathName.empty())
        return m_state->Error(ERROR_INVALID_PARAMETER, kNullScHandle);
    if (Service* existing = m_state->FindServiceEntry(name)) {
        return m_state->Error(
            existing->markedForDeletion ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS,
            kNullScHandle);
    }
    m_state->services.push_back(std::make_unique<Service>());
    Service& service = *m_state->services.back();
    service.name = name;
    service.config = config;
    // No tag was asked for: the system gives none until the key's Tag says so.
    service.config.tagId = 0;
    WriteServiceKey(service);
    ++service.openHandles;
    m_state->calls.push_back("CreateService " + name);
    std::uintptr_t handle = m_state->NewHandle();
    m_state->scHandles[handle] = {&service, access};
    return static_cast<ScHandle>(handle);
}

// The values the service control manager writes for a configuration.
void SimulatedWorkstation::WriteServiceKey(const Service& service) {
    RegistryKey& key = AddRegistryKey(kServicesRoot + service.name);
    const ServiceConfig& c = service.config;
    key.Value("Type", Dword(c.serviceType)).Value("Start", Dword(c.startType));
    key.Value("ErrorControl", Dword(c.errorControl)).Value("ImagePath", Sz(c.binaryPathName, REG_EXPAND_SZ));
    if (!c.displayName.empty()) key.Value("DisplayName", Sz(c.displayName));
    if (!c.loadOrderGroup.empty()) key.Value("Group", Sz(c.loadOrderGroup));
    if (!c.serviceStartName.empty()) key.Value("ObjectName", Sz(c.serviceStartName));
    if (!c.dependencies.empty()) key.Value("DependOnService", Raw(REG_MULTI_SZ, c.dependencies + '\0'));
}

}  // namespace vk::sim
