#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>

#include "cleanup/cleanup.h"
#include "cleanup/handles.h"
#include "cleanup/path_buffer.h"
#include "diag/messages.h"
#include "platform/ansi_text.h"
#include "res/resource.h"

namespace vk {

namespace {

// FILETIME counts 100-ns intervals; the times written back keep whole seconds.
constexpr FileTime kTicksPerSecond = 10000000;

// What RemoveFileForced gives for a file it keeps because it could not be
// saved: no system code has this value.
constexpr DWORD kNotSaved = 0xFFFFFFFF;

// Only the attribute bits below FILE_ATTRIBUTE_NORMAL are carried over.
constexpr DWORD kCarriedAttributes = 0x7F;

FileTime WholeSeconds(FileTime time) {
    return time - time % kTicksPerSecond;
}

// The carried attribute bits without the read-only one. To the file system an
// attribute word of 0 means "leave as is"; NORMAL is how "no attributes" is
// written.
DWORD WithoutReadOnly(DWORD attributes) {
    const DWORD cleared = attributes & kCarriedAttributes & ~FILE_ATTRIBUTE_READONLY;
    return cleared != 0 ? cleared : FILE_ATTRIBUTE_NORMAL;
}

// A plain file name ending in ".inf": the name comes from the registry, so
// anything that could reach outside the INF folder (a folder, a drive, and
// with them any ".." component), a wildcard that would turn the look-up into
// a search, or a character no file name holds, is refused. The name is walked
// by characters of the process code page: a trail byte equal to '\' or '|' is
// part of its character, not a separator. Trail bytes are 0x40 or above on
// every double-byte code page, so a lead byte before a lower byte stands
// alone and that byte is judged by itself.
bool IsPlainInfName(const AnsiCodePage& codePage, const char* name) {
    constexpr unsigned char kLowestTrailByte = 0x40;
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    std::size_t length = 0;
    while (bytes[length] != 0) {
        const unsigned char c = bytes[length];
        if (codePage.IsDoubleByte() && codePage.IsLeadByte(c) && bytes[length + 1] >= kLowestTrailByte) {
            length += 2;
            continue;
        }
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
        ++length;
    }
    // The '.' is below every trail byte, so the suffix starts a character.
    return length > 4 && codePage.CompareNoCase(name + length - 4, ".inf") == 0;
}

}  // namespace

void CCleanupActions::LogFileDeleteFailed(const char* path, DWORD code, RunAction action) {
    const std::string text = MsgFileDeleteFailed(m_platform, path);
    Log(code, text, LogLevelInfo);
    Record(RunEntry::Failed(action, path, code));
}

void CCleanupActions::DeleteFileForced(const char* path) {
    RemoveFileForced(path, false);
}

bool CCleanupActions::SavedFirst(KeptItem kind, const std::string& subject) {
    return m_safekeeping == nullptr || m_safekeeping->SaveBeforeDeletion(kind, subject);
}

void CCleanupActions::Became(KeptItem kind, const std::string& subject, ItemFate fate, DWORD code) {
    if (m_safekeeping) m_safekeeping->Became(kind, subject, fate, code);
}

DWORD CCleanupActions::RemoveFileForced(const char* path, bool absentIsDone) {
    // Saved as it is, before its attributes and times are changed.
    if (!SavedFirst(KeptItem::File, path)) return kNotSaved;
    FileAttributeData status{};
    if (m_platform.GetFileAttributesEx(path, &status)) {
        if (status.attributes & FILE_ATTRIBUTE_READONLY) {
            const DWORD cleared = WithoutReadOnly(status.attributes);
            // Codes are read right after the failing call: composing the
            // message goes through the platform too.
            if (!m_platform.SetFileAttributes(path, cleared)) {
                // Still read-only, so the times cannot be written either; the
                // removal below reports why the file stays.
                LogFileDeleteFailed(path, m_platform.GetLastError(), RunAction::SetFileAttributes);
            } else {
                Record(RunEntry::Done(RunAction::SetFileAttributes, path, cleared));
                FileHolder file(m_platform, m_platform.CreateFile(path, GENERIC_READ | GENERIC_WRITE,
                                                                  FILE_SHARE_READ, OPEN_EXISTING));
                if (!file.valid()) {
                    LogFileDeleteFailed(path, m_platform.GetLastError(), RunAction::SetFileTimes);
                } else {
                    const FileTime creation = WholeSeconds(status.creationTime);
                    const FileTime lastAccess = WholeSeconds(status.lastAccessTime);
                    const FileTime lastWrite = WholeSeconds(status.lastWriteTime);
                    if (!m_platform.SetFileTime(file.get(), &creation, &lastAccess, &lastWrite)) {
                        LogFileDeleteFailed(path, m_platform.GetLastError(), RunAction::SetFileTimes);
                    } else {
                        Record(RunEntry::Done(RunAction::SetFileTimes, path));
                    }
                }
            }
        }
    }

    if (m_platform.DeleteFile(path)) {
        Became(KeptItem::File, path, ItemFate::Deleted);
        Record(RunEntry::Done(RunAction::DeleteFile, path));
        return 0;
    }
    const DWORD code = m_platform.GetLastError();
    Became(KeptItem::File, path, ItemFate::NotDeleted, code);
    if (absentIsDone && code == ERROR_FILE_NOT_FOUND) return 0;
    LogFileDeleteFailed(path, code);
    return code;
}

StoreUninstall CCleanupActions::UninstallFromStore(const char* infName, const char* infPath) {
    // A package that cannot be saved first stays, and so does its pair.
    if (!SavedFirst(KeptItem::Package, infName)) return StoreUninstall::Refused;
    DWORD code = 0;
    const StoreUninstall result = AskStoreToUninstall(infName, infPath, &code);
    Became(KeptItem::Package, infName,
           result == StoreUninstall::Removed   ? ItemFate::Deleted
           : result == StoreUninstall::Refused ? ItemFate::NotDeleted
                                               : ItemFate::Untouched,
           code);
    return result;
}

StoreUninstall CCleanupActions::AskStoreToUninstall(const char* infName, const char* infPath, DWORD* code) {
    switch (m_platform.UninstallOEMInf(infName, SUOI_FORCEDELETE)) {
        case OemInfUninstall::Done:
            Record(RunEntry::Done(RunAction::UninstallInf, infName));
            return StoreUninstall::Removed;
        case OemInfUninstall::Unavailable:
            return StoreUninstall::NotInStore;
        case OemInfUninstall::Failed:
            break;
    }
    *code = m_platform.GetLastError();
    // A name the store does not know has no package to remove: the file
    // deletions that follow are all there is to do.
    if (*code == ERROR_FILE_NOT_FOUND) return StoreUninstall::NotInStore;
    // The store's own deletion of the published INF is refused, as any
    // deletion is, while the file is read-only: that much the pass mends,
    // once, and asks again.
    FileAttributeData status{};
    if (*code == ERROR_ACCESS_DENIED && infPath != nullptr &&
        m_platform.GetFileAttributesEx(infPath, &status) &&
        (status.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        const DWORD cleared = WithoutReadOnly(status.attributes);
        if (m_platform.SetFileAttributes(infPath, cleared)) {
            Record(RunEntry::Done(RunAction::SetFileAttributes, infPath, cleared));
            *code = 0;
            return AskStoreToUninstall(infName, nullptr, code);
        }
        m_platform.SetLastError(*code);
    }
    // Deleting the pair by hand would leave the package in the store under no
    // published name, where Windows still finds it and pnputil no longer can:
    // the pair stays, and the log tells the administrator how to finish.
    std::string text = MsgStoreUninstallFailed(m_platform, infName);
    text += MsgStoreUninstallHint(m_platform, infName);
    LogOwnEntry(*code, text, LogLevelInfo);
    Record(RunEntry::Failed(RunAction::UninstallInf, infName, *code));
    return StoreUninstall::Refused;
}

void CCleanupActions::ScheduleDeletionAtRestart(const char* path) {
    // Whether or not the deletion can be scheduled, the loaded driver only
    // goes away with a restart.
    m_record.NeedRestart();
    if (m_platform.MoveFileEx(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        Became(KeptItem::File, path, ItemFate::LeftToRestart);
        Record(RunEntry::Done(RunAction::DeleteAtRestart, path));
        return;
    }
    const std::string text = MsgDeleteAtRestartFailed(m_platform, path);
    const DWORD code = m_platform.GetLastError();
    LogOwnEntry(code, text, LogLevelInfo);
    Record(RunEntry::Failed(RunAction::DeleteAtRestart, path, code));
}

void CCleanupActions::NoteRestartFlags(const DevInfoData* element) {
    // Windows leaves the flags on the element or, after a removal, on the set
    // itself; either asks for the restart. An unreadable flag word says
    // nothing either way and the pass goes on.
    for (const DevInfoData* where : {element, static_cast<const DevInfoData*>(nullptr)}) {
        DWORD flags = 0;
        if (m_platform.GetDeviceInstallFlags(m_hDevInfo, where, &flags) &&
            (flags & (DI_NEEDREBOOT | DI_NEEDRESTART)) != 0) {
            m_record.NeedRestart();
        }
    }
}

bool CCleanupActions::IsWindowsInfFolder(const std::string& folder, const AnsiCodePage& codePage) {
    PathBuffer infFolder;
    // Not knowing is no proof: a store package whose pair were deleted by
    // hand would stay installable under no published name, so the store is
    // asked first (it knows no other folder's names).
    if (!infFolder.StartWithWindowsDirectory(m_platform) || !infFolder.Append("\\inf")) return true;
    return codePage.CompareNoCase(infFolder.c_str(), folder.c_str()) == 0;
}

bool CCleanupActions::DeleteInfPair(const char* infName) {
    const AnsiCodePage codePage(m_platform);
    if (!IsPlainInfName(codePage, infName)) {
        LogFileDeleteFailed(infName, ERROR_INVALID_NAME, RunAction::RemoveInf);
        return false;
    }

    PathBuffer path;
    // The name is not at fault here; a scan could not read the folder either.
    if (!path.StartWithWindowsDirectory(m_platform)) return true;
    path.Append(kInfFolder);
    path.Append(infName);
    if (!path.fits()) {
        LogFileDeleteFailed(path.Composed().c_str(), ERROR_FILENAME_EXCED_RANGE);
        return false;
    }

    // The store's package goes first: left there, Windows would install the
    // old driver again the next time the reader is plugged in. An uninstall
    // that removed the pair leaves the look-ups below nothing to find; one
    // the store refused, or whose package could not be saved, leaves the pair
    // where pnputil can still name it.
    if (UninstallFromStore(infName, path.c_str()) == StoreUninstall::Refused) return true;

    // Looked up first, so that an absent half costs no message.
    const auto deleteIfPresent = [this](const char* file) {
        FindData found{};
        FindHolder search(m_platform, m_platform.FindFirstFile(file, &found));
        if (!search.valid()) return;
        search.reset();
        DeleteFileForced(file);
    };

    deleteIfPresent(path.c_str());
    // oem12.inf -> oem12.pnf; only that character changes, so OEM12.INF gives OEM12.pNF.
    path.data()[path.length() - 3] = 'p';
    deleteIfPresent(path.c_str());
    return true;
}

void CCleanupActions::DeleteDriverFiles() {
    for (const char* driverFile : {kDriverFile1, kDriverFile2}) {
        PathBuffer path;
        // The caller has just read the Windows directory; should it fail now
        // there is no path to remove.
        if (!path.StartWithWindowsDirectory(m_platform)) continue;
        path.Append(kDriversFolder);
        path.Append(driverFile);
        if (!path.fits()) {
            LogFileDeleteFailed(path.Composed().c_str(), ERROR_FILENAME_EXCED_RANGE);
            continue;
        }
        if (KeptForOutside(path.c_str(), Shared::DriverFile)) continue;
        // Each scan that matches comes here again; a file already left to
        // the restart has nothing more to gain from it.
        if (std::find(m_leftToRestart.begin(), m_leftToRestart.end(), path.c_str()) != m_leftToRestart.end())
            continue;
        // A loaded driver keeps its file until the next restart: Windows
        // refuses to delete a mapped image (access denied, not only a sharing
        // violation), so every failure but absence is left to the restart.
        const DWORD code = RemoveFileForced(path.c_str(), false);
        // A file that could not be saved first is kept, not left to the restart.
        if (code != 0 && code != kNotSaved && code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
            ScheduleDeletionAtRestart(path.c_str());
            m_leftToRestart.push_back(path.c_str());
        }
    }
}

void CCleanupActions::DeleteDriverService(const char* serviceName) {
    if (!SavedFirst(KeptItem::Service, serviceName)) return;
    // The code is read after the text is composed; a service already marked
    // for deletion goes only at the next restart.
    const auto failed = [this, serviceName](const std::string& text, bool restartIfMarked) {
        const DWORD code = m_platform.GetLastError();
        const bool marked = restartIfMarked && code == ERROR_SERVICE_MARKED_FOR_DELETE;
        if (marked) m_record.NeedRestart();
        Became(KeptItem::Service, serviceName, marked ? ItemFate::LeftToRestart : ItemFate::NotDeleted, code);
        Log(code, text, LogLevelError);
        Record(RunEntry::Failed(RunAction::DeleteService, serviceName, code));
    };
    ScHolder manager(m_platform, m_platform.OpenSCManager(SC_MANAGER_ALL_ACCESS));
    if (!manager.valid()) {
        failed(MsgScmOpenFailed(m_platform, serviceName), false);
        return;
    }
    // Declared after the manager, so it is closed first.
    ScHolder service(m_platform, m_platform.OpenService(manager.get(), serviceName, DELETE));
    if (!service.valid()) {
        failed(MsgServiceOpenFailed(m_platform, serviceName), true);
        return;
    }
    if (!m_platform.DeleteService(service.get())) {
        failed(MsgServiceDeleteFailed(m_platform, serviceName), true);
        return;
    }
    Record(RunEntry::Done(RunAction::DeleteService, serviceName));
    // DeleteService only marks a service whose driver is loaded, or that a
    // handle elsewhere holds open: it stays until the restart, and a fresh
    // installation meanwhile fails on it. Looked for again once our own
    // handle is closed.
    service.reset();
    ScHolder again(m_platform, m_platform.OpenService(manager.get(), serviceName, DELETE));
    if (again.valid() || m_platform.GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE) {
        m_record.NeedRestart();
        Became(KeptItem::Service, serviceName, ItemFate::LeftToRestart);
        Record(RunEntry::Kept(RunAction::DeleteService, serviceName, IDS_LOG_SERVICE_MARKED));
    } else {
        Became(KeptItem::Service, serviceName, ItemFate::Deleted);
    }
}

}  // namespace vk
