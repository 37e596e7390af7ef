// The one line /check prints for a deployment engine's detection rule: whether
// a pass would still change something, and how many actions it would take.
#pragma once

#include <string>

#include "diag/log.h"

namespace vk {

// French, ending with CR LF.
std::string CheckLine(IPlatform& platform, const CRunRecord& record);

}  // namespace vk
