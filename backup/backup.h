// The backup taken before a pass deletes anything: each file, driver-store
// package, service and device instance is saved into the backup folder just
// before it goes, and each save is an entry of the run's record, from which
// the manifest is written. An item that cannot be saved must be kept.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "backup/manifest.h"
#include "backup/trust.h"
#include "diag/log.h"
#include "platform/platform.h"

namespace vk {

// %ProgramData%\VelkorUSBCleaner\Backup\<yyyymmdd-hhmmss>, from the local time.
// False when the system cannot tell where ProgramData is.
bool DefaultBackupFolder(IPlatform& platform, std::string* folder);

class CBackup {
public:
    CBackup(IPlatform& platform, CDiagnosticLog& log, std::string folder);

    // Creates the folder (and the folders above it) with the program's own
    // security, after checking those of the program's that exist already
    // (from %ProgramData%\VelkorUSBCleaner down, or the folder itself). 0,
    // or the reason the pass must not run; Refusal() says which folder was
    // not trusted, and why.
    DWORD Prepare();
    const TrustCheck& Refusal() const { return m_refusal; }
    const std::string& Folder() const { return m_folder; }

    // Each saves one item about to be deleted; false when it could not be
    // saved (the reason is logged and listed) and the item must be kept. A
    // file that is not there has nothing to save and is no failure.
    bool SaveFile(const std::string& path);
    // A published INF's package: its folder in the driver store when the
    // store tells where it is, else the INF and its PNF.
    bool SavePackage(const std::string& infName);
    bool SaveService(const std::string& name);
    bool SaveDevice(const std::string& instanceId);

    // Writes the manifest into the folder; 0 or the error code (recorded).
    DWORD WriteManifest(const std::string& text);

private:
    // Records the save (its copy as `savedAs`, or failed with `code`); true
    // when it was made.
    bool Recorded(RunAction action, const std::string& source, const std::string& savedAs, DWORD code);
    // The copy's path below the folder for a file of the workstation; empty
    // while the Windows directory cannot be read.
    std::string MirrorPath(const std::string& path);
    bool KnowWindowsDirectory();
    DWORD CopyOnce(const std::string& path, const std::string& relative);

    IPlatform& m_platform;
    CDiagnosticLog& m_log;
    std::string m_folder;
    std::string m_windowsDirectory;
    // Files already copied (upper-cased path) and where.
    std::map<std::string, std::string> m_copies;
    TrustCheck m_refusal;
};

}  // namespace vk
