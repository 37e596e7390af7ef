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
    : m_platform(platform), m_log(log), m_folder(std::move(folder)) {
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
        m_log.Log(m_refusal.code,
                  MsgNotTrusted(m_platform, m_refusal.path.c_str(), DistrustText(m_refusal.why),
                                IDS_TRUST_NOTHING_RESTORED),
                  LogLevelError);
        return m_refusal.code != 0 ? m_refusal.code : ERROR_ACCESS_DENIED;
    }
    std::string text;
    DWORD code = ReadWholeFile(m_platform, path, kMaxSavedText, &text);
    if (code == 0 && !ReadManifest(text, &m_entries)) code = ERROR_INVALID_DATA;
    if (code != 0) m_log.Log(code, MsgManifestUnreadable(m_platform, path.c_str()), LogLevelError);
    return code;
}

DWORD CRestore::RestoreFile(const std::string& copy, const std::string& target) {
    if (Exists(m_platform, target)) return kSkipped;
    if (!m_platform.CopyFile(copy.c_str(), target.c_str(), true)) return m_platform.GetLastError();
    return 0;
}

DWORD CRestore::RestorePackage(const ManifestEntry& entry) {
    PathBuffer windows;
    if (!windows.StartWithWindowsDirectory(m_platform)) return ERROR_PATH_NOT_FOUND;
    const std::string inf = std::string(windows.c_str()) + "\\inf\\" + entry.source;
    const std::string copy = m_folder + "\\" + entry.savedAs;
    if (entry.savedAs.compare(0, 6, "store\\") == 0) {
        // Its published INF still there means the package was never removed.
        if (Exists(m_platform, inf)) return kSkipped;
        std::string published;
        if (!m_platform.CopyOEMInf(copy.c_str(), &published)) return m_platform.GetLastError();
        // Published under the name the store gives, not always the one it had.
        m_published = published;
        return 0;
    }
    const DWORD code = RestoreFile(copy, inf);
    if (code != 0) return code;
    const std::string pnfCopy = copy.substr(0, copy.size() - 3) + "pnf";
    if (!Exists(m_platform, pnfCopy)) return 0;
    const DWORD pnf = RestoreFile(pnfCopy, inf.substr(0, inf.size() - 3) + "pnf");
    return pnf == kSkipped ? 0 : pnf;
}

DWORD CRestore::RestoreService(const ManifestEntry& entry) {
    const std::string base = m_folder + "\\" + entry.savedAs.substr(0, entry.savedAs.size() - 4);
    ScHolder manager(m_platform, m_platform.OpenSCManager(SC_MANAGER_ALL_ACCESS));
    if (!manager.valid()) return m_platform.GetLastError();
    {
        ScHolder existing(m_platform,
                          m_platform.OpenService(manager.get(), entry.source.c_str(), SERVICE_QUERY_CONFIG));
        if (existing.valid()) return kSkipped;
        const DWORD code = m_platform.GetLastError();
        if (code != ERROR_SERVICE_DOES_NOT_EXIST) return code;
    }
    std::string text;
    ServiceConfig config;
    DWORD code = ReadWholeFile(m_platform, base + ".txt", kMaxSavedText, &text);
    if (code != 0) return code;
    if (!ReadServiceConfig(text, &config)) return ERROR_INVALID_DATA;
    std::string regText;
    std::vector<RegFileKey> keys;
    code = ReadWholeFile(m_platform, base + ".reg", kMaxSavedText, &regText);
    if (code != 0) return code;
    if (!ReadRegFile(std::vector<std::uint8_t>(regText.begin(), regText.end()), &keys))
        return ERROR_INVALID_DATA;
    // Created through the service control manager, so that it exists now and
    // not only after a restart; then the key is given back every value as it
    // was saved (the manager writes some in its own form, ImagePath as an
    // expandable string), and its subkeys.
    ScHolder created(m_platform, m_platform.CreateService(manager.get(), entry.source.c_str(), config,
                                                          SERVICE_ALL_ACCESS));
    if (!created.valid()) return m_platform.GetLastError();
    return static_cast<DWORD>(WriteKeyTree(m_platform, keys, true));
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
        m_log.Record(RunEntry::Failed(RunAction::RestoreItem, entry.source, code));
    }
    m_published.clear();
}

bool CRestore::Run() {
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        const ManifestEntry& entry = *it;
        // What was never saved was never deleted: there is nothing to put back.
        if (entry.savedAs.empty()) {
            Report(entry, kSkipped);
            continue;
        }
        DWORD code = kRecordOnly;
        m_published.clear();
        switch (entry.kind) {
            case ManifestEntry::Kind::File:
                code = RestoreFile(m_folder + "\\" + entry.savedAs, entry.source);
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
    return m_failed == 0;
}

}  // namespace vk
