// The application object and the single cleaning pass.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "backup/backup.h"

#include "app/switches.h"
#include "cleanup/cleanup.h"
#include "platform/dry_run.h"
#include "views/activity_log.h"

namespace vk {

enum ExitStatus : int {
    ExitCompleted = 0,          // the pass ran, whatever failed inside it
    ExitCancelled = 1,          // the user cancelled the first prompt
    ExitTracesFound = 1,        // /check: a pass would still change something
    ExitWrongArchitecture = 2,  // 32-bit program on 64-bit Windows, no 64-bit one beside it: nothing changed
    ExitBackupFailed = 4,       // /backup: the folder could not be created; nothing changed
    ExitRestoreFailed = 5,      // /restore: an item could not be put back, or the backup could not be read
    // Under /quiet, the pass ran and a restart finishes it
    // (ERROR_SUCCESS_REBOOT_REQUIRED, what installers expect).
    ExitRestartRequired = 3010,
    // Another run holds the run mutex: nothing changed
    // (ERROR_INSTALL_ALREADY_RUNNING, on which deployment engines retry).
    ExitAlreadyRunning = 1618
};

// The mutex that keeps to one run at a time, in the global namespace so that
// runs of other sessions (Remote Desktop, a deployment engine as SYSTEM) see it.
extern const char* const kRunMutexName;

extern const char* const kPromptUnplug;
extern const char* const kPromptReplug;
extern const char* const kPromptWow64;
// Added to the second prompt when the pass needs a restart to finish.
extern const char* const kPromptRestartSentence;

class CVelkorUSBCleanerApp : public CCleanupActions {
public:
    explicit CVelkorUSBCleanerApp(IPlatform& platform, RunOptions options = RunOptions());
    ~CVelkorUSBCleanerApp();

    // The pass between its two prompts; returns the exit status. Under
    // /quiet no prompt is shown.
    int RunCleaning();

    // The pass without its prompts: selection, cleanup actions, release. With
    // /backup, the backup folder is created first: false, with nothing
    // changed, when it cannot be.
    bool RunPass();

    // Turns the run's record on when a view of it is wanted: the log's
    // activity entries as the record grows (when the log is on and activity
    // is logged), or only the record, for the plan, the report or a backup.
    void StartRecording(bool planning, bool wanted);

    // The executable's file name without folder and extension.
    std::string ApplicationTitle();

    const RunOptions m_options;

private:
    // Creates the backup folder and hands the backup to the cleanup actions;
    // false (the user told) when the folder cannot be created.
    bool StartBackup();

    CActivityLog m_activityLog;
    std::unique_ptr<CBackup> m_backupStore;
};

// Looks at the application object of a run while it lives, for tests of the
// inventory it holds at the second prompt and once its mode has run.
class IAppObserver {
public:
    virtual void Started(const CVelkorUSBCleanerApp& app) = 0;
    virtual void Ended(const CVelkorUSBCleanerApp& app) = 0;

protected:
    ~IAppObserver() = default;
};

// Runs the program against `platform` with the given arguments (the command
// line without the program name) and returns its exit status.
int RunVelkorUSBCleaner(IPlatform& platform, const std::vector<std::string>& arguments = {},
                        IAppObserver* observer = nullptr);

}  // namespace vk
