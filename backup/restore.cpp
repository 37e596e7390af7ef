#include "backup/restore.h"

#include "backup/folder_io.h"
#include "backup/reg_file.h"
#include "backup/registry_tree.h"
#include "backup/service_config.h"
#include "cleanup/handles.h"
#include "cleanup/path_buffer.h"
#include "diag/messages.h"
#include "res/resource.h"

namespace vk {

namespace {

// Not a system code: what was saved is there already.
constexpr DWORD kSkipped = 0xFFFFFFFF;
// A device instance is a record only: Windows creates it again when the
// reader is plugged in.
constexpr DWORD kRecordOnly = 0xFFFFFFFE;
constexpr std::size_t kMaxSavedText = 16u * 1024 * 1024;

bool Exists(IPlatform& platform, const std::string& path) {
    FileAttributeData status{};
    return platform.GetFileAttributesEx(path.c_str(), &status);
}

}  // namespace

CRestore::CRestore(IPlatform& platform, CDiagnosticLog& log, std::string folder)
    : m_platform(platform), m_log(log), m_folder(std::move(folder)), m_journal(platform) {
    while (m_folder.size() > 3 && (m_folder.back() == '\\' || m_folder.back() == '/')) m_folder.pop_back();
}

DWORD CRestore::Load() {
    const std::string path = m_folder + "\\" + kManifestName;
    // Whatever the folder holds goes back with administrator rights: a
    // folder or manifest that someone else may change is not read at all.
    // One that is missing is left to the reading, which says so.
    CTrust trust(m_platform);
    m_refusal = trust.Folders(ProgramFolderAbove(m_platform, m_folder), m_folder);
    if (m_refusal.Trusted()) m_refusal = trust.File(path);
    if (m_refusal.why == Distrust::Unreadable &&
        (m_refusal.code == ERROR_FILE_NOT_FOUND || m_refusal.code == ERROR_PATH_NOT_FOUND))
        m_refusal = TrustCheck();
    if (!m_refusal.Trusted()) {
        m_log.Log(m_refusal.code, RefusalText(m_platform, m_refusal, IDS_TRUST_NOTHING_RESTORED),
                  LogLevelError);
        return m_refusal.code != 0 ? m_refusal.code : ERROR_ACCESS_DENIED;
    }
    DWORD code = ReadWholeFile(m_platform, path, kMaxSavedText, &m_text);
    if (code == 0 && !ReadManifest(m_text, &m_manifest)) code = ERROR_INVALID_DATA;
    if (code != 0) m_log.Log(code, MsgManifestUnreadable(m_platform, path.c_str()), LogLevelError);
    return code;
}

DWORD CRestore::ReadChecked(const SavedCopy& copy, std::string* bytes) {
    const DWORD code =
        ReadCheckedCopy(m_platform, m_folder + "\\" + copy.path, copy, kMaxSavedText, bytes, &m_sizeDiffers);
    if (code == ERROR_FILE_CORRUPT) m_damaged = copy.path;
    return code;
}

DWORD CRestore::Note(const ManifestEntry& entry, bool done, bool flush) {
    // A version 1 manifest is never written to.
    if (m_manifest.version < 2) return 0;
    if (!m_journal.IsOpen()) {
        const DWORD code = m_journal.OpenToAppend(m_folder + "\\" + kManifestName, m_text);
        if (code != 0) return code;
    }
    return m_journal.Append(RestoreLine(entry.number, done), flush);
}

DWORD CRestore::RestoreFile(const SavedCopy& copy, const std::string& target) {
    FileAttributeData present{};
    if (m_platform.GetFileAttributesEx(target.c_str(), &present))
        return RestoreAttributes(copy, target, present);
    // Whole or absent, checked against its line before it takes its name.
    const DWORD code =
        CopyWhole(m_platform, m_folder + "\\" + copy.path, target, &copy, nullptr, &m_sizeDiffers);
    if (code == ERROR_FILE_CORRUPT) m_damaged = copy.path;
    return code;
}

DWORD CRestore::RestoreAttributes(const SavedCopy& copy, const std::string& target,
                                  const FileAttributeData& present) {
    // A pass cut short between clearing a read-only file's attribute (and
    // writing its times back to whole seconds) and deleting it leaves the
    // file there, changed. Only a file whose bytes are the copy's (size and
    // SHA-256) is given back the copy's attributes and times; any other is
    // left as it is.
    FileAttributeData saved{};
    if (copy.sha256.empty() || !m_platform.GetFileAttributesEx((m_folder + "\\" + copy.path).c_str(), &saved))
        return kSkipped;
    if (present.attributes == saved.attributes && present.creationTime == saved.creationTime &&
        present.lastAccessTime == saved.lastAccessTime && present.lastWriteTime == saved.lastWriteTime)
        return kSkipped;
    std::string bytes;
    bool sizeDiffers = false;
    if (present.size != copy.size ||
        ReadCheckedCopy(m_platform, target, copy, kMaxSavedText, &bytes, &sizeDiffers) != 0)
        return kSkipped;
    {
        FileHolder file(m_platform, m_platform.CreateFile(target.c_str(), FILE_WRITE_ATTRIBUTES,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
        if (!file.valid()) return m_platform.GetLastError();
        if (!m_platform.SetFileTime(file.get(), &saved.creationTime, &saved.lastAccessTime,
                                    &saved.lastWriteTime))
            return m_platform.GetLastError();
    }
    if (!m_platform.SetFileAttributes(target.c_str(), saved.attributes)) return m_platform.GetLastError();
    return 0;
}

DWORD CRestore::RestorePackage(const ManifestEntry& entry) {
    PathBuffer windows;
    if (!windows.StartWithWindowsDirectory(m_platform)) return ERROR_PATH_NOT_FOUND;
    const std::string infFolder = std::string(windows.c_str()) + "\\inf\\";
    if (entry.SavedAs().compare(0, 6, "store\\") == 0) {
        // Its published INF still there means the package was never removed.
        if (Exists(m_platform, infFolder + entry.source)) return kSkipped;
        // No file of the package is published unless every one is as saved.
        for (const SavedCopy& copy : entry.copies) {
            std::string bytes;
            const DWORD code = ReadChecked(copy, &bytes);
            if (code != 0) return code;
        }
        std::string published;
        if (!m_platform.CopyOEMInf((m_folder + "\\" + entry.SavedAs()).c_str(), &published))
            return m_platform.GetLastError();
        // Published under the name the store gives, not always the one it had.
        m_published = published;
        return 0;
    }
    // The INF and its PNF, each put back when it is absent: a restore cut
    // short between the two finds one of them there. A version 1 manifest
    // names the INF's copy alone; the PNF's, when there is one, is beside it.
    std::vector<SavedCopy> copies = entry.copies;
    const std::string pnfCopy = entry.SavedAs().substr(0, entry.SavedAs().size() - 3) + "pnf";
    if (m_manifest.version < 2 && Exists(m_platform, m_folder + "\\" + pnfCopy))
        copies.push_back({pnfCopy, 0, {}});
    DWORD result = kSkipped;
    for (const SavedCopy& copy : copies) {
        const DWORD code = RestoreFile(copy, infFolder + NameOf(copy.path));
        if (code == kSkipped) continue;
        if (code != 0) return code;
        result = 0;
    }
    return result;
}

DWORD CRestore::RestoreService(const ManifestEntry& entry) {
    ScHolder manager(m_platform, m_platform.OpenSCManager(SC_MANAGER_ALL_ACCESS));
    if (!manager.valid()) return m_platform.GetLastError();
    // One this restore's manifest says it began to create and never
    // finished is its own: its key is given the rest of what was saved.
    const bool unfinished = entry.restoring && !entry.restored;
    {
        ScHolder existing(m_platform,
                          m_platform.OpenService(manager.get(), entry.source.c_str(), SERVICE_QUERY_CONFIG));
        if (existing.valid() && !unfinished) return kSkipped;
        const DWORD code = m_platform.GetLastError();
        if (!existing.valid() && code != ERROR_SERVICE_DOES_NOT_EXIST) return code;
        if (existing.valid()) {
            existing.reset();
            std::string regText;
            std::vector<RegFileKey> keys;
            DWORD read = entry.copies.empty() ? ERROR_INVALID_DATA : ReadChecked(entry.copies[0], &regText);
            if (read != 0) return read;
            if (!ReadRegFile(std::vector<std::uint8_t>(regText.begin(), regText.end()), &keys))
                return ERROR_INVALID_DATA;
            read = static_cast<DWORD>(WriteKeyTree(m_platform, keys, true));
            if (read == 0) Note(entry, true, false);
            return read;
        }
    }
    // The .reg first, then the configuration beside it (a version 1 backup
    // names only the .reg).
    const std::string base = entry.SavedAs().substr(0, entry.SavedAs().size() - 4);
    SavedCopy regCopy = entry.copies.empty() ? SavedCopy{} : entry.copies[0];
    SavedCopy configCopy = entry.copies.size() > 1 ? entry.copies[1] : SavedCopy{base + ".txt", 0, {}};
    std::string text;
    ServiceConfig config;
    DWORD code = ReadChecked(configCopy, &text);
    if (code != 0) return code;
    if (!ReadServiceConfig(text, &config)) return ERROR_INVALID_DATA;
    std::string regText;
    std::vector<RegFileKey> keys;
    code = ReadChecked(regCopy, &regText);
    if (code != 0) return code;
    if (!ReadRegFile(std::vector<std::uint8_t>(regText.begin(), regText.end()), &keys))
        return ERROR_INVALID_DATA;
    // Said on the disk first: cut short after the creation, the next restore
    // finds the service there and knows it for its own.
    code = Note(entry, false, true);
    if (code != 0) return code;
    // Created through the service control manager, so that it exists now and
    // not only after a restart; then the key is given back every value as it
    // was saved (the manager writes some in its own form, ImagePath as an
    // expandable string), and its subkeys.
    ScHolder created(m_platform, m_platform.CreateService(manager.get(), entry.source.c_str(), config,
                                                          SERVICE_ALL_ACCESS));
    if (!created.valid()) return m_platform.GetLastError();
    code = static_cast<DWORD>(WriteKeyTree(m_platform, keys, true));
    if (code == 0) Note(entry, true, false);
    return code;
}

void CRestore::Report(const ManifestEntry& entry, DWORD code) {
    if (code == 0) {
        ++m_restored;
        m_log.Record(RunEntry::Done(RunAction::RestoreItem, m_published.empty()
                                                                ? entry.source
                                                                : entry.source + " -> " + m_published));
    } else if (code == kSkipped || code == kRecordOnly) {
        ++m_skipped;
        m_log.Record(RunEntry::Kept(RunAction::RestoreItem, entry.source,
                                    code == kSkipped ? IDS_LOG_RESTORE_SKIPPED : IDS_LOG_DEVICE_RECORD_ONLY));
    } else {
        ++m_failed;
        // A torn or altered copy could stop the machine from starting: it
        // stays in the folder, and the log says which and why.
        if (code == ERROR_FILE_CORRUPT && !m_damaged.empty()) {
            const std::string copy = m_folder + "\\" + m_damaged;
            m_log.LogOwnEntry(0, MsgCopyDamaged(m_platform, copy.c_str(), m_sizeDiffers) + "\r\n",
                              LogLevelError);
        }
        m_log.Record(RunEntry::Failed(RunAction::RestoreItem, entry.source, code));
    }
    m_published.clear();
    m_damaged.clear();
}

bool CRestore::Run() {
    const std::vector<ManifestEntry>& entries = m_manifest.entries;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const ManifestEntry& entry = *it;
        // What was never saved was never deleted: there is nothing to put back.
        if (entry.copies.empty()) {
            Report(entry, kSkipped);
            continue;
        }
        DWORD code = kRecordOnly;
        m_published.clear();
        switch (entry.kind) {
            case ManifestEntry::Kind::File:
                code = RestoreFile(entry.copies.front(), entry.source);
                break;
            case ManifestEntry::Kind::Package:
                code = RestorePackage(entry);
                break;
            case ManifestEntry::Kind::Service:
                code = RestoreService(entry);
                break;
            case ManifestEntry::Kind::Device:
                break;
        }
        Report(entry, code);
    }
    if (m_journal.IsOpen()) {
        m_journal.Flush();
        m_journal.Close();
    }
    return m_failed == 0;
}

}  // namespace vk
