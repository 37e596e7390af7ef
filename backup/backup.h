// The backup taken before a pass deletes anything: each file, driver-store
// package, service and device instance is saved into the backup folder just
// before it goes, and listed in the manifest with what the pass then did to
// it. An item that cannot be saved must be kept.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "backup/manifest.h"
#include "diag/log.h"
#include "platform/platform.h"

namespace vk {

// %ProgramData%\VelkorUSBCleaner\Backup\<yyyymmdd-hhmmss>, from the local time.
// False when the system cannot tell where ProgramData is.
bool DefaultBackupFolder(IPlatform& platform, std::string* folder);

class CBackup {
public:
    CBackup(IPlatform& platform, CDiagnosticLog& log, std::string folder);

    // Creates the folder (and the folders above it). 0, or the reason the
    // pass must not run.
    DWORD Prepare();
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
    // What the pass did to the item its last save listed: deleted, or not
    // (with the deletion's code).
    void Done(bool deleted, DWORD code = 0);

    // Writes the manifest into the folder; 0 or the error code (logged).
    DWORD WriteManifest();
    const std::vector<ManifestEntry>& Entries() const { return m_entries; }

private:
    // Lists the item (saved as `savedAs`, or kept with `code`) and logs it.
    bool Listed(ManifestEntry::Kind kind, const std::string& source, const std::string& savedAs, DWORD code);
    // The copy's path below the folder for a file of the workstation; empty
    // while the Windows directory cannot be read.
    std::string MirrorPath(const std::string& path);
    bool KnowWindowsDirectory();
    DWORD CopyOnce(const std::string& path, const std::string& relative);

    IPlatform& m_platform;
    CDiagnosticLog& m_log;
    std::string m_folder;
    std::string m_windowsDirectory;
    std::vector<ManifestEntry> m_entries;
    int m_current = -1;
    // Files already copied (upper-cased path) and where.
    std::map<std::string, std::string> m_copies;
};

}  // namespace vk
