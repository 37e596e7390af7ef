// The cleanup actions: device removal, the OEM INF scan and the deletion
// primitives through which files and services are changed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cleanup/safekeeping.h"
#include "inventory/inventory.h"

namespace vk {

constexpr const char* kInfFolder = "\\inf\\";
constexpr const char* kOemInfPattern = "\\inf\\oem*.inf";
// No real INF file comes near this; larger files are not read.
constexpr std::uint64_t kMaxInfFileSize = 64ull * 1024 * 1024;

class AnsiCodePage;

// What the driver store made of a published INF.
enum class StoreUninstall {
    Removed,     // package, INF and PNF gone
    NotInStore,  // no such package, or no store: the pair is deleted by hand
    Refused,     // the package stays, and so does the pair that names it
};

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

    // What a device outside the selection still uses stays. True, with the
    // reason recorded, when `subject` is kept: a device or a class uses it,
    // or the walk over the other devices could not be completed.
    enum class Shared { Service, Inf, DriverFile };
    bool KeptForOutside(const std::string& subject, Shared kind);

    // --- Backup ---
    // When set, every item is saved there before it is deleted, an item that
    // cannot be saved is kept, and what became of each is told.
    ISafekeeping* m_safekeeping = nullptr;

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
    // and PNF files). With a backup, a package that cannot be saved first is
    // kept as a refused one is. A refusal for a read-only INF at `infPath`
    // (null: none) is asked again once the attribute is cleared; any other
    // refusal is logged with the command that finishes the job; a system
    // without the uninstall is passed over.
    StoreUninstall UninstallFromStore(const char* infName, const char* infPath);
    // The same without the save; a refusal's code in *code.
    StoreUninstall AskStoreToUninstall(const char* infName, const char* infPath, DWORD* code);
    // DeleteFileForced, giving the removal's error code (0 once removed).
    // With `absentIsDone` a file that is already gone is no failure.
    DWORD RemoveFileForced(const char* path, bool absentIsDone);
    // A file in use is deleted at the next restart instead.
    void ScheduleDeletionAtRestart(const char* path);
    // Saves the item first when a backup is taken; false when it must be kept.
    bool SavedFirst(KeptItem kind, const std::string& subject);
    // Tells the backup, if any, what became of an item it saved.
    void Became(KeptItem kind, const std::string& subject, ItemFate fate, DWORD code = 0);
    // Reads the restart flags the class installer left on a removed device
    // and on the set.
    void NoteRestartFlags(const DevInfoData* element);
    // Whether `folder` (of a search pattern) is, or may be, the Windows INF
    // folder, whose files are the driver store's published INFs: true when
    // the Windows directory cannot be read.
    bool IsWindowsInfFolder(const std::string& folder, const AnsiCodePage& codePage);
    // The reader whose name-list entry is `entry`, to say what keeps a shared
    // INF or service: its instance ID as recorded, else its hardware ID;
    // empty when none is found.
    std::string HolderOf(CNameList::const_iterator entry, CNameList::Position CLEAN_DEVINFO::*position) const;
    // A service whose image is one of the maker's two driver files is the
    // maker's, whoever the driver's provider is read as.
    bool ImageIsMakers(const char* serviceName);

    // The driver files whose removal was left to the restart.
    std::vector<std::string> m_leftToRestart;
};

}  // namespace vk
