// The backup taken before a pass deletes anything: each file, driver-store
// package, service and device instance is saved into the backup folder just
// before it goes. The manifest is written ahead: each copy is whole on the
// disk, then its save line, then the item goes, then a line says what became
// of it. An item that cannot be saved must be kept.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "backup/manifest.h"
#include "cleanup/safekeeping.h"
#include "backup/trust.h"
#include "diag/log.h"
#include "platform/platform.h"

namespace vk {

// %ProgramData%\VelkorUSBCleaner\Backup\<yyyymmdd-hhmmss>, from the local time.
// False when the system cannot tell where ProgramData is.
bool DefaultBackupFolder(IPlatform& platform, std::string* folder);

class CBackup final : public ISafekeeping {
public:
    CBackup(IPlatform& platform, CDiagnosticLog& log, std::string folder);

    // Creates the folder (and the folders above it) with the program's own
    // security, after checking those of the program's that exist already
    // (from %ProgramData%\VelkorUSBCleaner down, or the folder itself), and
    // the manifest with its header, on the disk before anything changes. 0,
    // or the reason the pass must not run (a system that cannot compute
    // SHA-256 among them); Refusal() says which folder was not trusted, and
    // why.
    DWORD Prepare();
    const TrustCheck& Refusal() const { return m_refusal; }
    const std::string& Folder() const { return m_folder; }

    bool SaveBeforeDeletion(KeptItem kind, const std::string& subject) override;
    void Became(KeptItem kind, const std::string& subject, ItemFate fate, DWORD code) override;

    // The last lines on the disk, the manifest closed; 0 or the error code
    // (logged).
    DWORD Finish();

private:
    bool SaveFile(const std::string& path);
    // A published INF's package: its folder in the driver store when the
    // store tells where it is, else the INF and its PNF.
    bool SavePackage(const std::string& infName);
    bool SaveService(const std::string& name);
    bool SaveDevice(const std::string& instanceId);

    // Writes the item's save line, on the disk before this returns, and
    // records the save (its first copy as `copy`); or, when `code` says it
    // could not be saved, its kept line. True when it was saved.
    // A record that nothing is put back from (a device's) needs no flush of
    // its own: it reaches the disk with the next line that does.
    bool Recorded(RunAction action, const std::string& source, std::vector<SavedCopy> copies, DWORD code,
                  bool record = false);
    // The files a save line lets a restore put back: "<copy>|<target>", folded.
    std::vector<std::string> Targets(RunAction action, const std::string& source,
                                     const std::vector<SavedCopy>& copies);
    // The copy's path below the folder for a file of the workstation; empty
    // while the Windows directory cannot be read.
    std::string MirrorPath(const std::string& path);
    bool KnowWindowsDirectory();
    // Copies a file of the workstation once (later saves name the same copy).
    DWORD CopyOnce(const std::string& path, const std::string& relative, SavedCopy* copy);
    DWORD WriteCopy(const std::string& relative, const std::string& bytes, SavedCopy* copy,
                    bool flush = true);

    IPlatform& m_platform;
    CDiagnosticLog& m_log;
    std::string m_folder;
    std::string m_windowsDirectory;
    CManifestFile m_manifest;
    // The lines' numbers: the last given, and the last save of each item.
    std::size_t m_lastNumber = 0;
    std::map<std::pair<KeptItem, std::string>, std::size_t> m_saves;
    // Files already copied (upper-cased path) and their copy.
    std::map<std::string, SavedCopy> m_copies;
    // The files that lines on the disk already let a restore put back, and
    // those of lines appended since the last flush: a save of one of them
    // (a package's INF pair, then each file of it) needs no flush again.
    std::set<std::string> m_onDisk;
    std::vector<std::string> m_unflushed;
    TrustCheck m_refusal;
};

}  // namespace vk
