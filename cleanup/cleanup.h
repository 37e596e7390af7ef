// The cleanup actions: device removal, the OEM INF scan and the deletion
// primitives through which files and services are changed.
#pragma once

#include <cstdint>

#include "inventory/inventory.h"

namespace vk {

constexpr const char* kInfFolder = "\\inf\\";
constexpr const char* kOemInfPattern = "\\inf\\oem*.inf";
constexpr const char* kDriversFolder = "\\system32\\drivers\\";
constexpr const char* kDriverFile1 = "vlkcomusb.sys";
constexpr const char* kDriverFile2 = "vlkusbser.sys";
// No real INF file comes near this; larger files are not read.
constexpr std::uint64_t kMaxInfFileSize = 64ull * 1024 * 1024;

class AnsiCodePage;
class CBackup;

class CCleanupActions : public CDeviceInventory {
public:
    explicit CCleanupActions(IPlatform& platform) : CDeviceInventory(platform) {}

    // 1 when there is no device, else 0.
    int RemoveDevices();
    // 0 when at least one file named a reader and its deletion was attempted.
    int ScanOemInfs(const char* pattern);
    // Windows directory + "\inf\oem*.inf", scan, then the driver files when the
    // scan matched. Skipped silently when the Windows directory is unreadable
    // or too long for the pattern.
    void RunInfScanFallback();

    void DeleteFileForced(const char* path);
    // False when `infName` cannot name a file of the INF folder (not a plain
    // "*.inf" name, or too long once joined to it): the refusal is logged and
    // nothing is deleted, so the caller knows the INF only by its content.
    bool DeleteInfPair(const char* infName);
    void DeleteDriverFiles();
    void DeleteDriverService(const char* serviceName);

    // --- Driver store and restart awareness ---
    // True once something the pass did takes effect only at the next restart.
    bool RestartNeeded() const { return m_record.RestartNeeded(); }

    // --- Backup ---
    // When set, every item is saved there before it is deleted, and an item
    // that cannot be saved is kept.
    CBackup* m_backup = nullptr;

protected:
    // MSG_FILE_DELETE_FAILED for `path` with an explicit code, level Info;
    // recorded as `action` failing with that code.
    void LogFileDeleteFailed(const char* path, DWORD code, RunAction action = RunAction::DeleteFile);

private:
    // Reads the file at `path` whole into `buffer` and tells whether its text
    // names one of the scanned reader IDs. A file that cannot be read is
    // logged and counts as no match.
    bool InfNamesReader(const char* path, HeapBlock& buffer, const AnsiCodePage& codePage);

    // Removes the published INF `infName` from the driver store (with its INF
    // and PNF files); true when it did. A refusal is logged; a system without
    // the uninstall is passed over.
    // With a backup, a package that cannot be saved is kept, and so must
    // its INF pair be: `*kept` says so.
    bool UninstallFromStore(const char* infName, bool* kept = nullptr);
    // DeleteFileForced, giving the removal's error code (0 once removed).
    // With `absentIsDone` a file that is already gone is no failure.
    DWORD RemoveFileForced(const char* path, bool absentIsDone);
    // A file in use is deleted at the next restart instead.
    void ScheduleDeletionAtRestart(const char* path);
    // Reads the restart flags the class installer left on a removed device.
    void NoteRestartFlags(const DevInfoData* element);
    // Whether `folder` (of a search pattern) is the Windows INF folder, whose
    // files are the driver store's published INFs.
    bool IsWindowsInfFolder(const std::string& folder, const AnsiCodePage& codePage);
    // The hardware ID of the reader whose name-list entry is `entry`, to say
    // what keeps a shared INF or service; empty when none is found.
    std::string HolderOf(CNameList::const_iterator entry, CNameList::Position CLEAN_DEVINFO::*position) const;
};

}  // namespace vk
