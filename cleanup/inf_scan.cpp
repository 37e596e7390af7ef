#include <cstring>
#include <string>

#include "cleanup/cleanup.h"
#include "cleanup/handles.h"
#include "cleanup/inf_id_search.h"
#include "cleanup/path_buffer.h"
#include "diag/messages.h"
#include "platform/ansi_text.h"
#include "res/resource.h"

namespace vk {

namespace {

// The folder part of a search pattern, without its final separator; empty
// when the pattern names no folder.
std::size_t FolderLength(const char* pattern) {
    const char* slash = std::strrchr(pattern, '\\');
    const char* other = std::strrchr(pattern, '/');
    if (other && (!slash || other > slash)) slash = other;
    return slash ? static_cast<std::size_t>(slash - pattern) : std::string::npos;
}

}  // namespace

bool CCleanupActions::InfNamesReader(const char* path, HeapBlock& buffer, const AnsiCodePage& codePage) {
    // Shared with other readers (an antivirus or the search indexer reading
    // the file must not hide it from the scan), never with a writer: no
    // program may change the file while it is read.
    FileHolder file(m_platform, m_platform.CreateFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    if (!file.valid()) {
        LogWithLastError(MsgInfOpenFailed(), LogLevelError);
        return false;
    }

    // Every way of not getting the whole text is the same event: the file
    // could not be read, so it is not examined and the scan goes on.
    const auto unreadable = [this](DWORD code) {
        const std::string text = MsgInfOpenFailed();
        Log(code, text, LogLevelError);
        return false;
    };

    std::uint64_t size = 0;
    if (!m_platform.GetFileSizeEx(file.get(), &size)) return unreadable(m_platform.GetLastError());
    if (size > kMaxInfFileSize) return unreadable(ERROR_FILE_TOO_LARGE);
    const std::size_t length = static_cast<std::size_t>(size);
    // Grown when a file needs more, never shrunk: the peak is the same (the
    // largest file plus one byte), and the heap's moves and copies of a block
    // resized for every file cost more than reading the files.
    if (buffer.size() < length + 1 && !buffer.Resize(length + 1)) return unreadable(ERROR_NOT_ENOUGH_MEMORY);

    char* text = buffer.chars();
    DWORD read = 0;
    if (!m_platform.ReadFile(file.get(), text, static_cast<DWORD>(length), &read)) {
        return unreadable(m_platform.GetLastError());
    }
    if (read != length) return unreadable(ERROR_HANDLE_EOF);
    text[length] = '\0';
    file.reset();

    // The text ends at the first zero byte (a UTF-16 file ends after one character).
    const std::size_t textLength = TextLength(text, length);
    codePage.UpperInPlace(text, textLength);
    return FindScannedId(text, textLength, codePage) >= 0;
}

// The search looks one file ahead: each round first asks for the next file,
// then examines the one it holds, so that a failed advance ends the round
// with the held file unexamined.
int CCleanupActions::ScanOemInfs(const char* pattern) {
    int result = -1;

    FindData held{};
    FindHolder search(m_platform, m_platform.FindFirstFile(pattern, &held));
    if (!search.valid()) return -1;

    // One buffer for the whole scan, grown to each larger file. Without even its
    // first byte no file can be read: the scan ends as one that found nothing.
    HeapBlock buffer(m_platform, 1);
    if (!buffer.present()) {
        const std::string text = MsgInfOpenFailed();
        Log(ERROR_NOT_ENOUGH_MEMORY, text, LogLevelError);
        return -1;
    }

    const AnsiCodePage codePage(m_platform);
    const std::size_t folderLength = FolderLength(pattern);
    // Asked on the first match only: a scan that matches nothing reads no more
    // than before.
    int inStoreFolder = -1;

    for (bool last = false; !last;) {
        FindData next{};
        if (!m_platform.FindNextFile(search.get(), &next)) {
            last = true;
            if (m_platform.GetLastError() != ERROR_NO_MORE_FILES) {
                result = -1;
                break;
            }
        }

        PathBuffer path;
        if (folderLength != std::string::npos) {
            path.Start(pattern, folderLength);
            path.Append("\\");
        }
        path.Append(held.fileName);
        if (!path.fits()) {
            LogFileDeleteFailed(path.Composed().c_str(), ERROR_FILENAME_EXCED_RANGE);
        } else if (InfNamesReader(path.c_str(), buffer, codePage)) {
            Record(RunEntry::Done(RunAction::MatchInf, path.c_str()));
            // Kept for another device, it still counts as a match.
            result = 0;
            if (!KeptForOutside(path.c_str(), Shared::Inf)) {
                if (inStoreFolder < 0) {
                    inStoreFolder = folderLength != std::string::npos &&
                                    IsWindowsInfFolder(std::string(pattern, folderLength), codePage);
                }
                const StoreUninstall store = inStoreFolder == 1
                                                 ? UninstallFromStore(held.fileName, path.c_str())
                                                 : StoreUninstall::NotInStore;
                // A pair whose package the store keeps stays with it (the refusal
                // is logged); what the store's uninstall removed is not missed.
                if (store != StoreUninstall::Refused) {
                    const bool uninstalled = store == StoreUninstall::Removed;
                    RemoveFileForced(path.c_str(), uninstalled);
                    // oem5.inf -> oem5.pnf, deleted whether or not it exists.
                    if (path.length() >= 3) std::memcpy(path.data() + path.length() - 3, "pnf", 3);
                    RemoveFileForced(path.c_str(), uninstalled);
                }
            }
        }

        held = next;
    }
    return result;
}

}  // namespace vk
