// The program's one sequence, whatever the switches ask for: the mode is
// chosen from a table, the 32-bit program hands over, the run mutex is taken,
// the outputs are opened, the mode runs over the workstation (or over a dry
// run of it, which changes nothing), and what it did is shown: on standard
// output, in the log and in the report.
#include <string>
#include <vector>

#include "app/cleaner_app.h"
#include "app/handover.h"
#include "app/output_files.h"
#include "app/run_event.h"
#include "app/tell.h"
#include "backup/restore.h"
#include "diag/messages.h"
#include "res/resource.h"
#include "views/check_line.h"
#include "views/plan_text.h"

namespace vk {

namespace {

constexpr DWORD kPromptStyle = MB_ICONEXCLAMATION | MB_APPLMODAL;

// What a mode works with, and what it leaves to show.
struct RunContext {
    IPlatform& platform;        // the workstation itself, for what is said to the user
    IPlatform& target;          // the one the mode runs over: the workstation or a dry run of it
    CVelkorUSBCleanerApp& app;  // over `target`
    const RunOptions& options;
    // A text for standard output and the log (the plan, the /check line);
    // empty when the mode has none to show.
    std::string shown;
};

int RunHelp(RunContext& run) {
    const std::string text = HelpText(run.platform);
    WriteStandard(run.platform, StandardStream::Output, text);
    if (!run.options.quiet) {
        run.platform.MessageBox(text.c_str(), ProgramTitle(run.platform).c_str(),
                                MB_OK | MB_ICONINFORMATION | MB_APPLMODAL);
    }
    return ExitCompleted;
}

// /restore:<folder>: the backup's items put back after a confirmation (none
// under /quiet); with /list only the plan of it.
int RunRestore(RunContext& run) {
    const RunOptions& options = run.options;
    CVelkorUSBCleanerApp& app = run.app;
    app.m_logActivity = !options.list;
    app.StartRecording(options.list, options.list || options.report || options.quiet);
    CRestore restore(run.target, app, options.restoreFolder);
    if (const DWORD code = restore.Load()) {
        // A folder or manifest that cannot be trusted is named, with why.
        const TrustCheck& refusal = restore.Refusal();
        std::string text = MsgManifestUnreadable(run.platform, options.restoreFolder.c_str());
        if (!refusal.Trusted()) {
            text = WithSystemReason(
                run.platform, RefusalText(run.platform, refusal, IDS_TRUST_NOTHING_RESTORED), refusal.code);
        }
        Tell(run.platform, options, text, MB_ICONERROR);
        return ExitRestoreFailed;
    }
    if (!options.quiet && !options.list) {
        const std::string text = LoadResourceString(run.platform, IDS_PROMPT_RESTORE) + "\n\n" +
                                 options.restoreFolder + "\n\n" +
                                 LoadResourceString(run.platform, IDS_PROMPT_RESTORE_QUESTION);
        if (run.platform.MessageBox(text.c_str(), ProgramTitle(run.platform).c_str(),
                                    MB_OKCANCEL | kPromptStyle) == IDCANCEL)
            return ExitCancelled;
    }
    const bool complete = restore.Run();
    if (options.list) {
        run.shown = PlanText(run.platform, app.m_record, IDS_PLAN_RESTORE_TITLE);
        return ExitCompleted;
    }
    return complete ? ExitCompleted : ExitRestoreFailed;
}

// /list and /check: the same pass, over a workstation on which nothing changes.
int RunPlan(RunContext& run) {
    run.app.m_logActivity = false;
    if (!run.app.RunPass()) return ExitBackupFailed;
    if (run.options.check) {
        run.shown = CheckLine(run.platform, run.app.m_record);
        return run.app.m_record.ChangeCount() != 0 ? ExitTracesFound : ExitCompleted;
    }
    run.shown = PlanText(run.platform, run.app.m_record);
    return ExitCompleted;
}

int RunCleaningPass(RunContext& run) {
    return run.app.RunCleaning();
}

bool Always(const RunOptions&) {
    return true;
}
bool Never(const RunOptions&) {
    return false;
}
bool Listing(const RunOptions& options) {
    return options.list;
}
bool NotListing(const RunOptions& options) {
    return !options.list;
}

struct RunMode {
    const char* name;  // as the report names it
    bool (*chosen)(const RunOptions&);
    // The 32-bit program on 64-bit Windows leaves the mode to the 64-bit one.
    bool handsOver;
    // Modes that change the workstation take the run mutex first: two at once
    // would undo each other's work.
    bool (*takesMutex)(const RunOptions&);
    // Modes that must change nothing run over a dry run of the workstation.
    bool (*dryRun)(const RunOptions&);
    bool opensOutputs;
    // Modes that change the workstation leave an event of the Application
    // log when they run unattended, where a managed fleet collects it.
    bool (*writesEvent)(const RunOptions&);
    int (*run)(RunContext&);
};

// The first mode whose switch is given wins, in this order.
const RunMode kModes[] = {
    {"help", [](const RunOptions& o) { return o.help; }, false, Never, Never, false, Never, RunHelp},
    {"restore", [](const RunOptions& o) { return o.restore; }, true, NotListing, Listing, true, NotListing,
     RunRestore},
    {"check", [](const RunOptions& o) { return o.check; }, true, Never, Always, true, Never, RunPlan},
    {"list", Listing, true, Never, Always, true, Never, RunPlan},
    {"pass", Always, true, Always, Never, true, Always, RunCleaningPass},
};

const RunMode& ModeFor(const RunOptions& options) {
    for (const RunMode& mode : kModes) {
        if (mode.chosen(options)) return mode;
    }
    return kModes[sizeof kModes / sizeof kModes[0] - 1];
}

// One run at a time: true, once the user is told, when another run holds
// the mutex. A mutex that cannot be made at all says nothing of another run.
bool AnotherRunGoesOn(IPlatform& platform, const RunOptions& options) {
    if (platform.CreateRunMutex(kRunMutexName)) return false;
    const DWORD code = platform.GetLastError();
    if (code != ERROR_ALREADY_EXISTS && code != ERROR_ACCESS_DENIED) return false;
    Tell(platform, options, LoadResourceString(platform, IDS_ALREADY_RUNNING), MB_ICONEXCLAMATION);
    return true;
}

// Unattended: /quiet, or where no prompt can be seen (which sets it too).
bool WritesEvent(const RunMode& mode, const RunOptions& options) {
    return options.quiet && mode.writesEvent(options);
}

// The event of a run that refused to go on before it had a record or outputs.
int Refused(IPlatform& platform, const RunMode& mode, const RunOptions& options, int status) {
    if (WritesEvent(mode, options)) {
        CDiagnosticLog unrecorded(platform);
        ReportRunEvent(platform, unrecorded, mode.name, status, std::string(), std::string());
    }
    return status;
}

}  // namespace

int RunVelkorUSBCleaner(IPlatform& platform, const std::vector<std::string>& arguments,
                        IAppObserver* observer) {
    RunOptions options = ParseSwitches(arguments);
    // Where nobody can see a prompt (a deployment engine running the program
    // as SYSTEM without /quiet), one would wait forever: the run goes on as
    // unattended. A window station that cannot be told about is taken as seen.
    bool visible = true;
    if (!options.quiet && platform.GetWindowStationVisible(&visible) && !visible) {
        options.quiet = true;
        options.promptsUnseen = true;
    }
    const RunMode& mode = ModeFor(options);

    int status = ExitCompleted;
    // The 64-bit program writes the log, the report and the event itself;
    // it never ends with the status of a 32-bit program that cannot go on.
    if (mode.handsOver && HandledUnderWow64(platform, options, &status)) {
        return status == ExitWrongArchitecture ? Refused(platform, mode, options, status) : status;
    }
    // Taken before the outputs are opened: the run that holds it is writing them.
    if (mode.takesMutex(options) && AnotherRunGoesOn(platform, options))
        return Refused(platform, mode, options, ExitAlreadyRunning);
    OutputFiles outputs;
    if (mode.opensOutputs) outputs = OpenOutputs(platform, options);

    DryRunPlatform dryRun(platform);
    IPlatform& target = mode.dryRun(options) ? static_cast<IPlatform&>(dryRun) : platform;
    CVelkorUSBCleanerApp app(target, options);
    AttachLog(app, outputs);
    RunContext run{platform, target, app, options, std::string()};
    if (observer) observer->Started(app);
    status = mode.run(run);
    if (observer) observer->Ended(app);

    // Before the report, which shows it among the run's actions.
    if (WritesEvent(mode, options)) {
        ReportRunEvent(platform, app, mode.name, status, LogFilePath(platform, options, outputs),
                       ReportFilePath(platform, options, outputs));
    }

    if (!run.shown.empty()) {
        WriteStandard(platform, StandardStream::Output, run.shown);
        if (outputs.log) LogLines(app, run.shown);
    }
    WriteReport(platform, options, outputs, mode.name, app.m_record, status);
    return status;
}

}  // namespace vk
