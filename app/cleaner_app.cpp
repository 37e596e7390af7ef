#include "app/cleaner_app.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "backup/restore.h"
#include "diag/messages.h"
#include "platform/ansi_text.h"
#include "res/resource.h"
#include "views/check_line.h"
#include "views/manifest_text.h"
#include "views/plan_text.h"
#include "views/report.h"

namespace vk {

const char* const kPromptUnplug =
    "Avant de lancer l'installation de votre lecteur VELKOR\n"
    "(compatible Windows XP service pack 3),\n\n"
    "d\xE9"
    "branchez le c\xE2"
    "ble USB au niveau du poste de travail.";
const char* const kPromptReplug =
    "Rebranchez maintenant votre lecteur VELKOR\n"
    "au poste de travail pour continuer l'installation.";
const char* const kPromptWow64 =
    "Cette version 32 bits de VelkorUSBCleaner ne peut pas nettoyer un Windows 64 bits.\n\n"
    "Lancez la version 64 bits du programme (dossier x64).\n"
    "Aucune modification n'a \xE9t\xE9 faite.";
const char* const kRunMutexName = "Global\\VelkorUSBCleaner.Run";
const char* const kPromptRestartSentence =
    "\n\nRed\xE9marrez ensuite l'ordinateur pour terminer le nettoyage.";

namespace {

constexpr DWORD kPromptStyle = MB_ICONEXCLAMATION | MB_APPLMODAL;
constexpr const char* kLineEnd = "\r\n";

// Where the 64-bit build sits, beside the 32-bit one's folder.
constexpr const char* kSiblingFolder = "x64";
// Where deployment engines collect diagnostics, in the Windows directory.
constexpr const char* kCollectedFolder = "\\Temp\\";
constexpr const char* kDefaultLogName = "VelkorUSBCleaner.log";
constexpr const char* kDefaultReportName = "VelkorUSBCleaner.json";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using LogFile = std::unique_ptr<std::FILE, FileCloser>;

void Write(IPlatform& platform, StandardStream stream, const std::string& text) {
    // Nowhere to write (no console, no redirection) is not a failure of the run.
    platform.WriteStandardStream(stream, text.data(), text.size());
}

// The program's full path; empty when the platform cannot tell it.
std::string ModulePath(IPlatform& platform) {
    char path[MAX_PATH + 1] = {};
    DWORD length = platform.GetModuleFileName(path, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return std::string();
    return std::string(path, BoundedLength(path, length));
}

std::string Title(IPlatform& platform) {
    std::string title = ModulePath(platform);
    std::size_t slash = title.find_last_of("\\/");
    if (slash != std::string::npos) title.erase(0, slash + 1);
    std::size_t dot = title.rfind('.');
    if (dot != std::string::npos && dot > 0) title.erase(dot);
    return title.empty() ? std::string("VelkorUSBCleaner") : title;
}

// A message for the person running the program: a message box, or standard
// error when nobody may be there to answer one.
void Tell(IPlatform& platform, const RunOptions& options, const std::string& text, DWORD icon) {
    if (options.quiet || options.check) {
        Write(platform, StandardStream::Error, text + kLineEnd);
    } else {
        platform.MessageBox(text.c_str(), Title(platform).c_str(), MB_OK | icon | MB_APPLMODAL);
    }
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

// ..\x64\<own file name> relative to the program's folder, written without
// the "..": the parent of the program's own folder, then x64. Empty when the
// program's path has no parent folder.
std::string SiblingProgramPath(IPlatform& platform) {
    std::string sibling = ModulePath(platform);
    // A path of MAX_PATH characters may have been cut short.
    if (sibling.size() >= MAX_PATH) return std::string();
    const std::size_t nameStart = sibling.find_last_of("\\/");
    if (nameStart == std::string::npos) return std::string();
    const std::string name = sibling.substr(nameStart + 1);
    sibling.erase(nameStart);
    const std::size_t folderStart = sibling.find_last_of("\\/");
    if (folderStart == std::string::npos) return std::string();
    sibling.erase(folderStart + 1);
    sibling += kSiblingFolder;
    sibling += '\\';
    sibling += name;
    if (sibling.size() >= MAX_PATH) return std::string();
    return sibling;
}

// Runs the 64-bit program with this one's arguments and gives its exit
// status; false when it is absent or could not be run.
bool HandOverTo64BitProgram(IPlatform& platform, int* exitStatus) {
    const std::string sibling = SiblingProgramPath(platform);
    if (sibling.empty()) return false;
    FileAttributeData status{};
    if (!platform.GetFileAttributesEx(sibling.c_str(), &status) ||
        (status.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    std::string arguments;
    platform.GetCommandLineTail(&arguments);
    std::string commandLine = "\"" + sibling + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    DWORD childStatus = 0;
    if (!platform.RunProcess(sibling.c_str(), commandLine.c_str(), &childStatus)) return false;
    *exitStatus = static_cast<int>(childStatus);
    return true;
}

// A 32-bit process on 64-bit Windows cannot remove device instances and sees
// a redirected drivers folder: it would delete INF files and leave the
// devices. The 64-bit program beside it does the work instead; without one
// nothing is changed. True when this process is not to run the pass, with
// the exit status to end with.
bool HandledUnderWow64(IPlatform& platform, const RunOptions& options, int* exitStatus,
                       bool* handedOver = nullptr) {
    if (!platform.IsWow64()) return false;
    if (HandOverTo64BitProgram(platform, exitStatus)) {
        if (handedOver) *handedOver = true;
        return true;
    }
    Tell(platform, options, kPromptWow64, MB_ICONERROR);
    *exitStatus = ExitWrongArchitecture;
    return true;
}

// <Windows directory>\Temp\<name>; when the Windows directory cannot be
// read, %WINDIR% stands for it, so the file cannot be opened and the message
// still says where it was meant to go.
std::string CollectedPath(IPlatform& platform, const char* name) {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = platform.GetWindowsDirectory(folder, MAX_PATH);
    std::string path = length == 0 || length > MAX_PATH ? std::string("%WINDIR%")
                                                        : std::string(folder, BoundedLength(folder, length));
    return path + kCollectedFolder + name;
}

// A file the run writes: the one named, or without a name the one where
// deployment engines collect. When it cannot be opened the user is told and
// the run goes on without it.
LogFile OpenOutput(IPlatform& platform, const RunOptions& options, bool named, const std::string& namedPath,
                   const char* defaultName, const char* mode, bool isLog) {
    const std::string path = named ? namedPath : CollectedPath(platform, defaultName);
    LogFile file(path.empty() ? nullptr : std::fopen(path.c_str(), mode));
    if (!file) {
        Tell(platform, options,
             isLog ? MsgLogOpenFailed(platform, path.c_str()) : MsgReportOpenFailed(platform, path.c_str()),
             MB_ICONEXCLAMATION);
    }
    return file;
}

// The log is appended to (created when missing).
LogFile OpenLog(IPlatform& platform, const RunOptions& options) {
    if (!options.log) return nullptr;
    return OpenOutput(platform, options, options.logNamed, options.logPath, kDefaultLogName, "ab", true);
}

// The report is opened when the run starts, so that a person hears at once
// that it cannot be written, and replaced by this run's.
struct ReportFile {
    LogFile file;
    FileTime start = 0;
};

ReportFile OpenReport(IPlatform& platform, const RunOptions& options) {
    ReportFile report;
    if (!options.report) return report;
    report.start = platform.GetSystemTimeAsFileTime();
    report.file = OpenOutput(platform, options, options.reportNamed, options.reportPath, kDefaultReportName,
                             "wb", false);
    return report;
}

std::string ComputerName(IPlatform& platform) {
    char name[64] = {};
    DWORD size = sizeof name;
    if (!platform.GetComputerName(name, &size)) return std::string();
    return std::string(name, BoundedLength(name, size));
}

void WriteReport(IPlatform& platform, const RunOptions& options, ReportFile& report, const CRunRecord& record,
                 int exitStatus) {
    if (!report.file) return;
    ReportRun run;
    run.mode = options.restore ? "restore" : options.check ? "check" : options.list ? "list" : "pass";
    run.switches = options.arguments;
    run.start = report.start;
    run.end = platform.GetSystemTimeAsFileTime();
    run.computerName = ComputerName(platform);
    run.exitStatus = exitStatus;
    const std::string json = ReportJson(platform, run, record);
    std::FILE* file = report.file.get();
    if (std::fwrite(json.data(), 1, json.size(), file) != json.size() || std::fflush(file) != 0) {
        const std::string path =
            options.reportNamed ? options.reportPath : CollectedPath(platform, kDefaultReportName);
        Tell(platform, options, MsgReportOpenFailed(platform, path.c_str()), MB_ICONEXCLAMATION);
    }
}

void AttachLog(CDiagnosticLog& app, std::FILE* file) {
    if (!file) return;
    app.m_logFile = file;
    app.m_logEnabled = true;
}

}  // namespace

CVelkorUSBCleanerApp::CVelkorUSBCleanerApp(IPlatform& platform, RunOptions options)
    : CCleanupActions(platform), m_options(std::move(options)), m_activityLog(*this, platform) {}

CVelkorUSBCleanerApp::~CVelkorUSBCleanerApp() {
    m_serviceNames.RemoveAll();
    m_infNames.RemoveAll();
    m_devices.clear();
}

std::string CVelkorUSBCleanerApp::ApplicationTitle() {
    return Title(m_platform);
}

bool CVelkorUSBCleanerApp::StartBackup() {
    if (!m_options.backup) return true;
    std::string folder = m_options.backupFolder;
    DWORD code = ERROR_PATH_NOT_FOUND;
    if (!folder.empty() || DefaultBackupFolder(m_platform, &folder)) {
        m_backupStore = std::make_unique<CBackup>(m_platform, *this, folder);
        code = m_backupStore->Prepare();
    }
    if (code == 0) {
        m_backup = m_backupStore.get();
        return true;
    }
    std::string text = MsgBackupFolderFailed(m_platform, folder.c_str());
    // A folder that is there but cannot be trusted is named, with why.
    const TrustCheck refusal = m_backupStore ? m_backupStore->Refusal() : TrustCheck();
    if (!refusal.Trusted()) {
        code = refusal.code;
        text = MsgNotTrusted(m_platform, refusal.path.c_str(), DistrustText(refusal.why),
                             IDS_TRUST_NOTHING_DONE);
    }
    Log(code, text, LogLevelError);
    std::string reason;
    if (code != 0 && m_platform.FormatSystemMessage(code, LANG_USER_DEFAULT, &reason) != 0)
        text += "\n" + reason;
    Tell(m_platform, m_options, text, MB_ICONERROR);
    return false;
}

bool CVelkorUSBCleanerApp::RunPass() {
    // The log's entries are written as the record grows, among the pass's
    // other messages. A run that nobody reads is not recorded.
    const bool planning = m_options.list || m_options.check;
    if (ActivityLogged()) {
        m_record.Start(planning, &m_activityLog);
    } else if (planning || m_options.report || m_options.backup) {
        // The report and the manifest are written from the record too.
        m_record.Start(planning);
    }
    if (!StartBackup()) return false;
    if (EnumerateTargetDevices(TargetTable()) == 0) {
        if (Recording()) {
            for (const auto& entry : m_devices) {
                const CLEAN_DEVINFO& record = *entry;
                m_record.AddDevice({InstanceIdOf(record), record.pszHardwareId.text(),
                                    record.pszClassName.text(), record.pszInfName.text(),
                                    record.pszServiceName.text()});
            }
        }
        if (!m_devices.empty()) {
            RemoveDevices();
        } else {
            RunInfScanFallback();
        }
    }
    ReleaseInventory();
    if (m_backup) m_backup->WriteManifest(ManifestText(m_record));
    return true;
}

int CVelkorUSBCleanerApp::RunCleaning() {
    int wow64Status = 0;
    if (HandledUnderWow64(m_platform, m_options, &wow64Status, &m_handedOver)) return wow64Status;
    // Taken after the hand-over, which the 64-bit program's own run follows.
    if (AnotherRunGoesOn(m_platform, m_options)) return ExitAlreadyRunning;
    if (m_options.promptsUnseen) {
        LogOwnEntry(0, LoadResourceString(m_platform, IDS_LOG_NO_VISIBLE_PROMPT) + kLineEnd, LogLevelInfo);
    }

    const std::string title = ApplicationTitle();
    if (!m_options.quiet &&
        m_platform.MessageBox(kPromptUnplug, title.c_str(), MB_OKCANCEL | kPromptStyle) == IDCANCEL) {
        return ExitCancelled;
    }
    if (!RunPass()) return ExitBackupFailed;
    // An installer needs the restart as a status; a person reads it in the prompt.
    if (m_options.quiet) return RestartNeeded() ? ExitRestartRequired : ExitCompleted;
    std::string replug = kPromptReplug;
    if (RestartNeeded()) replug += kPromptRestartSentence;
    m_platform.MessageBox(replug.c_str(), title.c_str(), MB_OK | kPromptStyle);
    return ExitCompleted;
}

namespace {

// /restore:<folder>: the backup's items put back after a confirmation (none
// under /quiet); with /list only the plan of it.
int RunRestore(IPlatform& platform, const RunOptions& options) {
    int wow64Status = 0;
    if (HandledUnderWow64(platform, options, &wow64Status)) return wow64Status;
    // A restore and a pass at once would undo each other's work.
    if (!options.list && AnotherRunGoesOn(platform, options)) return ExitAlreadyRunning;
    const LogFile log = OpenLog(platform, options);
    ReportFile report = OpenReport(platform, options);
    DryRunPlatform dryRun(platform);
    IPlatform& target = options.list ? static_cast<IPlatform&>(dryRun) : platform;
    CDiagnosticLog diagnostics(target);
    AttachLog(diagnostics, log.get());
    CActivityLog activity(diagnostics, target);
    if (diagnostics.ActivityLogged() && !options.list) {
        diagnostics.m_record.Start(false, &activity);
    } else if (options.list || options.report) {
        diagnostics.m_record.Start(options.list);
    }
    CRestore restore(target, diagnostics, options.restoreFolder);
    if (const DWORD code = restore.Load()) {
        const TrustCheck& refusal = restore.Refusal();
        std::string text = MsgManifestUnreadable(platform, options.restoreFolder.c_str());
        if (!refusal.Trusted()) {
            text = MsgNotTrusted(platform, refusal.path.c_str(), DistrustText(refusal.why),
                                 IDS_TRUST_NOTHING_RESTORED);
            std::string reason;
            if (refusal.code != 0 && platform.FormatSystemMessage(code, LANG_USER_DEFAULT, &reason) != 0)
                text += "\n" + reason;
        }
        Tell(platform, options, text, MB_ICONERROR);
        WriteReport(platform, options, report, diagnostics.m_record, ExitRestoreFailed);
        return ExitRestoreFailed;
    }
    if (!options.quiet && !options.list) {
        const std::string text = LoadResourceString(platform, IDS_PROMPT_RESTORE) + "\n\n" +
                                 options.restoreFolder + "\n\n" +
                                 LoadResourceString(platform, IDS_PROMPT_RESTORE_QUESTION);
        if (platform.MessageBox(text.c_str(), Title(platform).c_str(), MB_OKCANCEL | kPromptStyle) ==
            IDCANCEL)
            return ExitCancelled;
    }
    const bool complete = restore.Run();
    if (options.list) {
        const std::string plan = PlanText(platform, diagnostics.m_record, IDS_PLAN_RESTORE_TITLE);
        Write(platform, StandardStream::Output, plan);
        if (log) LogLines(diagnostics, plan);
        WriteReport(platform, options, report, diagnostics.m_record, ExitCompleted);
        return ExitCompleted;
    }
    const int status = complete ? ExitCompleted : ExitRestoreFailed;
    WriteReport(platform, options, report, diagnostics.m_record, status);
    return status;
}

}  // namespace

int RunVelkorUSBCleaner(IPlatform& platform, const std::vector<std::string>& arguments) {
    RunOptions options = ParseSwitches(arguments);
    // Where nobody can see a prompt (a deployment engine running the program
    // as SYSTEM without /quiet), one would wait forever: the run goes on as
    // unattended. A window station that cannot be told about is taken as seen.
    bool visible = true;
    if (!options.quiet && platform.GetWindowStationVisible(&visible) && !visible) {
        options.quiet = true;
        options.promptsUnseen = true;
    }

    if (options.help) {
        const std::string text = HelpText(platform);
        Write(platform, StandardStream::Output, text);
        if (!options.quiet) {
            platform.MessageBox(text.c_str(), Title(platform).c_str(),
                                MB_OK | MB_ICONINFORMATION | MB_APPLMODAL);
        }
        return ExitCompleted;
    }

    if (options.restore) return RunRestore(platform, options);

    if (options.list || options.check) {
        int wow64Status = 0;
        if (HandledUnderWow64(platform, options, &wow64Status)) return wow64Status;
        const LogFile log = OpenLog(platform, options);
        ReportFile report = OpenReport(platform, options);
        // The same pass, over a workstation on which nothing changes.
        DryRunPlatform dryRun(platform);
        CVelkorUSBCleanerApp app(dryRun, options);
        AttachLog(app, log.get());
        app.m_logActivity = false;
        if (!app.RunPass()) return ExitBackupFailed;
        const std::string text =
            options.check ? CheckLine(platform, app.m_record) : PlanText(platform, app.m_record);
        Write(platform, StandardStream::Output, text);
        if (log) LogLines(app, text);
        const int status = options.check && app.m_record.ChangeCount() != 0 ? ExitTracesFound : ExitCompleted;
        WriteReport(platform, options, report, app.m_record, status);
        return status;
    }

    const LogFile log = OpenLog(platform, options);
    ReportFile report = OpenReport(platform, options);
    CVelkorUSBCleanerApp app(platform, options);
    AttachLog(app, log.get());
    const int status = app.RunCleaning();
    // The 64-bit program wrote its own report into the same file.
    if (!app.m_handedOver) WriteReport(platform, options, report, app.m_record, status);
    return status;
}

}  // namespace vk
