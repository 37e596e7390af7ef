// The 32-bit program on 64-bit Windows: it cannot remove device instances and
// sees a redirected drivers folder, so it would delete INF files and leave
// the devices. The 64-bit program beside it does the work instead.
#pragma once

#include "app/switches.h"
#include "platform/platform.h"

namespace vk {

// True when this process is not to run at all, with the status to end with:
// the 64-bit program's, once it has run with the same arguments, or
// ExitWrongArchitecture (the user told) when there is none to run.
bool HandledUnderWow64(IPlatform& platform, const RunOptions& options, int* exitStatus);

}  // namespace vk
