#include "backup/service_config.h"

#include <cstdlib>
#include <map>

#include "backup/folder_io.h"

namespace vk {

std::string ServiceConfigText(const ServiceConfig& config) {
    std::string dependencies;
    for (std::size_t at = 0; at < config.dependencies.size();) {
        const std::size_t end = config.dependencies.find('\0', at);
        const std::string name =
            config.dependencies.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (name.empty()) break;
        dependencies += (dependencies.empty() ? "" : "/") + name;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return "ServiceType=" + std::to_string(config.serviceType) +
           "\r\nStartType=" + std::to_string(config.startType) +
           "\r\nErrorControl=" + std::to_string(config.errorControl) +
           "\r\nBinaryPathName=" + config.binaryPathName + "\r\nLoadOrderGroup=" + config.loadOrderGroup +
           "\r\nTagId=" + std::to_string(config.tagId) + "\r\nDependencies=" + dependencies +
           "\r\nServiceStartName=" + config.serviceStartName + "\r\nDisplayName=" + config.displayName +
           "\r\n";
}

bool ReadServiceConfig(const std::string& text, ServiceConfig* config) {
    std::map<std::string, std::string> fields;
    for (const std::string& line : TextLines(text)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        fields[line.substr(0, equals)] = line.substr(equals + 1);
    }
    for (const char* name : {"ServiceType", "StartType", "ErrorControl", "BinaryPathName", "LoadOrderGroup",
                             "TagId", "Dependencies", "ServiceStartName", "DisplayName"}) {
        if (!fields.count(name)) return false;
    }
    const auto number = [&fields](const char* name, DWORD* value) {
        const std::string& text = fields[name];
        char* end = nullptr;
        *value = static_cast<DWORD>(std::strtoul(text.c_str(), &end, 10));
        return !text.empty() && *end == '\0';
    };
    *config = ServiceConfig{};
    if (!number("ServiceType", &config->serviceType) || !number("StartType", &config->startType) ||
        !number("ErrorControl", &config->errorControl) || !number("TagId", &config->tagId)) {
        return false;
    }
    config->binaryPathName = fields["BinaryPathName"];
    config->loadOrderGroup = fields["LoadOrderGroup"];
    config->serviceStartName = fields["ServiceStartName"];
    config->displayName = fields["DisplayName"];
    const std::string& dependencies = fields["Dependencies"];
    for (std::size_t at = 0; at < dependencies.size();) {
        std::size_t slash = dependencies.find('/', at);
        if (slash == std::string::npos) slash = dependencies.size();
        config->dependencies += dependencies.substr(at, slash - at) + '\0';
        at = slash + 1;
    }
    return true;
}

}  // namespace vk
