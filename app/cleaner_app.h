// The application object and the single cleaning pass.
#pragma once

#include <string>

#include "cleanup/cleanup.h"

namespace vk {

enum ExitStatus : int {
    ExitCompleted = 0,        // the pass ran, whatever failed inside it
    ExitCancelled = 1,        // the user cancelled the first prompt
    ExitWrongArchitecture = 2 // 32-bit program on 64-bit Windows: nothing changed
};

extern const char* const kPromptUnplug;
extern const char* const kPromptReplug;
extern const char* const kPromptWow64;

class CVelkorUSBCleanerApp : public CCleanupActions {
public:
    explicit CVelkorUSBCleanerApp(IPlatform& platform);
    ~CVelkorUSBCleanerApp();

    // The whole pass; returns the exit status.
    int RunCleaning();

    // The executable's file name without folder and extension.
    std::string ApplicationTitle();
};

// Runs the program against `platform` and returns its exit status.
int RunVelkorUSBCleaner(IPlatform& platform);

}  // namespace vk
