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
// Added to the second prompt when the pass needs a restart to finish.
extern const char* const kPromptRestartSentence;

class CVelkorUSBCleanerApp : public CCleanupActions {
public:
    explicit CVelkorUSBCleanerApp(IPlatform& platform);
    ~CVelkorUSBCleanerApp();

    // The whole pass; returns the exit status.
    int RunCleaning();

    // The executable's file name without folder and extension.
    std::string ApplicationTitle();

    // --- 32-bit hand-over ---
    // ..\x64\<own file name> relative to the program's folder; empty when the
    // program's path has no parent folder.
    std::string SiblingProgramPath();
    // Runs the 64-bit program with the same arguments and gives its exit
    // status; false when it is absent or could not be run.
    bool HandOverTo64BitProgram(int* exitStatus);
};

// Runs the program against `platform` and returns its exit status.
int RunVelkorUSBCleaner(IPlatform& platform);

}  // namespace vk
