// How the program speaks to whoever runs it: the title its message boxes
// carry, its standard streams, and a message that is a box for a person or a
// line on standard error where nobody may be there to answer one.
#pragma once

#include <string>

#include "app/switches.h"
#include "platform/platform.h"

namespace vk {

// The program's full path; empty when the platform cannot tell it.
std::string ModulePath(IPlatform& platform);
// The executable's file name without folder and extension.
std::string ProgramTitle(IPlatform& platform);
// Nowhere to write (no console, no redirection) is not a failure of the run.
void WriteStandard(IPlatform& platform, StandardStream stream, const std::string& text);
void Tell(IPlatform& platform, const RunOptions& options, const std::string& text, DWORD icon);
// `text`, then on a line of its own the system's text for `code` when there
// is a code and the system has a text for it.
std::string WithSystemReason(IPlatform& platform, std::string text, DWORD code);

}  // namespace vk
