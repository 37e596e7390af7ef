// A service's configuration as the service control manager reports it, as
// text beside its .reg file: one "Name=value" line a field, numbers in
// decimal, dependencies separated by '/' (a group's name starts with '+').
#pragma once

#include <string>

#include "platform/platform.h"

namespace vk {

std::string ServiceConfigText(const ServiceConfig& config);
// False when a field is missing or malformed.
bool ReadServiceConfig(const std::string& text, ServiceConfig* config);

}  // namespace vk
