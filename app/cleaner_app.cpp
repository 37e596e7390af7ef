#include "app/cleaner_app.h"

#include "app/restore_point.h"
#include "app/tell.h"
#include "diag/messages.h"
#include "res/resource.h"

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
const char* const kRunMutexName = "Global\\VelkorUSBCleaner.Run";
const char* const kPromptRestartSentence =
    "\n\nRed\xE9marrez ensuite l'ordinateur pour terminer le nettoyage.";

namespace {

constexpr DWORD kPromptStyle = MB_ICONEXCLAMATION | MB_APPLMODAL;
constexpr const char* kLineEnd = "\r\n";

}  // namespace

CVelkorUSBCleanerApp::CVelkorUSBCleanerApp(IPlatform& platform, RunOptions options)
    : CCleanupActions(platform), m_options(std::move(options)), m_activityLog(*this, platform) {}

CVelkorUSBCleanerApp::~CVelkorUSBCleanerApp() {
    m_serviceNames.RemoveAll();
    m_infNames.RemoveAll();
    m_devices.clear();
}

std::string CVelkorUSBCleanerApp::ApplicationTitle() {
    return ProgramTitle(m_platform);
}

void CVelkorUSBCleanerApp::StartRecording(bool planning, bool wanted) {
    // The log's entries are written as the record grows, among the pass's
    // other messages. A run that nobody reads is not recorded.
    if (ActivityLogged()) {
        m_record.Start(planning, &m_activityLog);
    } else if (wanted) {
        m_record.Start(planning);
    }
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
        m_safekeeping = m_backupStore.get();
        return true;
    }
    std::string text = MsgBackupFolderFailed(m_platform, folder.c_str());
    // A folder that is there but cannot be trusted is named, with why.
    const TrustCheck refusal = m_backupStore ? m_backupStore->Refusal() : TrustCheck();
    if (!refusal.Trusted()) {
        code = refusal.code;
        text = RefusalText(m_platform, refusal, IDS_TRUST_NOTHING_DONE);
    }
    Log(code, text, LogLevelError);
    Tell(m_platform, m_options, WithSystemReason(m_platform, text, code), MB_ICONERROR);
    return false;
}

bool CVelkorUSBCleanerApp::RunPass() {
    const bool planning = m_options.list || m_options.check;
    // The report and an unattended run's event are written from the record,
    // the backup names each device by the instance ID the record asks for,
    // and a restore point ends by what the record says was changed.
    StartRecording(planning, planning || m_options.report || m_options.backup || m_options.quiet ||
                                 m_options.restorePoint);
    if (!StartBackup()) return false;
    // Detection plans no restore point: it asks only whether anything is left.
    CRestorePoint restorePoint(m_platform, *this);
    const bool protect = m_options.restorePoint && !m_options.check;
    if (EnumerateTargetDevices(TargetTable()) == 0) {
        if (Recording()) {
            for (const auto& entry : m_devices) {
                const CLEAN_DEVINFO& record = *entry;
                m_record.AddDevice({InstanceIdOf(record), record.pszHardwareId.text(),
                                    record.pszClassName.text(), record.pszInfName.text(),
                                    record.pszServiceName.text()});
            }
        }
        // Before the first change: enumeration only reads.
        if (protect) restorePoint.Begin();
        if (!m_devices.empty()) {
            RemoveDevices();
        } else {
            RunInfScanFallback();
        }
        if (protect) restorePoint.End();
    }
    ReleaseInventory();
    // The manifest was written as the pass went; its last lines go to the disk.
    if (m_safekeeping) m_backupStore->Finish();
    return true;
}

int CVelkorUSBCleanerApp::RunCleaning() {
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

}  // namespace vk
