#include "backup/backup.h"

#include <cstdio>

#include "backup/folder_io.h"
#include "backup/reg_file.h"
#include "backup/registry_tree.h"
#include "backup/service_config.h"
#include "cleanup/handles.h"
#include "cleanup/path_buffer.h"
#include "diag/messages.h"

namespace vk {

namespace {

constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr const char* kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\";

std::string Folded(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return folded;
}

std::string AsBytes(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

bool DefaultBackupFolder(IPlatform& platform, std::string* folder) {
    std::string programData;
    if (!platform.GetCommonAppDataFolder(&programData) || programData.empty()) return false;
    LocalTime now;
    platform.GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", now.year % 10000, now.month % 100,
                  now.day % 100, now.hour % 100, now.minute % 100, now.second % 100);
    *folder = programData + "\\VelkorUSBCleaner\\Backup\\" + stamp;
    return true;
}

CBackup::CBackup(IPlatform& platform, CDiagnosticLog& log, std::string folder)
    : m_platform(platform), m_log(log), m_folder(std::move(folder)) {
    while (m_folder.size() > 3 && (m_folder.back() == '\\' || m_folder.back() == '/')) m_folder.pop_back();
}

DWORD CBackup::Prepare() {
    // A folder that holds an earlier backup's manifest is not mixed with this one.
    FileAttributeData status{};
    if (m_platform.GetFileAttributesEx((m_folder + "\\" + kManifestName).c_str(), &status))
        return ERROR_ALREADY_EXISTS;
    // What a standard user may have made there before is checked before
    // anything is made: a folder that someone else may change would let
    // them change what a restore puts back as a driver.
    CTrust trust(m_platform);
    DWORD code = 0;
    m_refusal = trust.PrepareFolders(ProgramFolderAbove(m_platform, m_folder), m_folder, &code);
    if (!m_refusal.Trusted()) return m_refusal.code != 0 ? m_refusal.code : ERROR_ACCESS_DENIED;
    return code;
}

bool CBackup::KnowWindowsDirectory() {
    // Read once it can be: a copy is not placed without it.
    if (m_windowsDirectory.empty()) {
        PathBuffer windows;
        if (!windows.StartWithWindowsDirectory(m_platform)) return false;
        m_windowsDirectory = windows.c_str();
    }
    return true;
}

std::string CBackup::MirrorPath(const std::string& path) {
    if (!KnowWindowsDirectory()) return std::string();
    const std::string windows = m_windowsDirectory + "\\";
    if (Folded(path).compare(0, windows.size(), Folded(windows)) == 0)
        return "files\\" + path.substr(windows.size());
    // Elsewhere: below files\_, the drive letter as a folder.
    std::string rest = path;
    for (char& c : rest) {
        if (c == ':') c = '_';
    }
    while (!rest.empty() && rest[0] == '\\') rest.erase(0, 1);
    return "files\\_\\" + rest;
}

DWORD CBackup::CopyOnce(const std::string& path, const std::string& relative) {
    const std::string key = Folded(path);
    if (m_copies.count(key)) return 0;
    const std::string target = m_folder + "\\" + relative;
    DWORD code = CreateFolderPath(m_platform, FolderOf(target));
    if (code != 0) return code;
    if (!m_platform.CopyFile(path.c_str(), target.c_str(), true)) return m_platform.GetLastError();
    m_copies[key] = relative;
    return 0;
}

bool CBackup::Recorded(RunAction action, const std::string& source, const std::string& savedAs, DWORD code) {
    if (code != 0) {
        m_log.Record(RunEntry::Failed(action, source, code));
        return false;
    }
    RunEntry entry = RunEntry::Done(action, source);
    entry.copy = savedAs;
    m_log.Record(std::move(entry));
    return true;
}

bool CBackup::SaveFile(const std::string& path) {
    FileAttributeData status{};
    if (!m_platform.GetFileAttributesEx(path.c_str(), &status)) {
        const DWORD code = m_platform.GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
        return Recorded(RunAction::SaveFile, path, std::string(), code);
    }
    const auto known = m_copies.find(Folded(path));
    if (known != m_copies.end()) return Recorded(RunAction::SaveFile, path, known->second, 0);
    const std::string relative = MirrorPath(path);
    if (relative.empty()) return Recorded(RunAction::SaveFile, path, std::string(), ERROR_PATH_NOT_FOUND);
    return Recorded(RunAction::SaveFile, path, relative, CopyOnce(path, relative));
}

bool CBackup::SavePackage(const std::string& infName) {
    std::string location;
    const StoreLocation found = m_platform.GetInfDriverStoreLocation(infName.c_str(), &location);
    std::string stem = infName;
    if (stem.size() > 4) stem.erase(stem.size() - 4);
    if (found == StoreLocation::Found) {
        const std::string relative = "store\\" + stem;
        const DWORD code = CopyFolder(m_platform, FolderOf(location), m_folder + "\\" + relative);
        return Recorded(RunAction::SavePackage, infName, relative + "\\" + NameOf(location), code);
    }
    // The store cannot tell (older systems, Wine): the published INF and its
    // PNF are what can be published again.
    if (!KnowWindowsDirectory()) return Recorded(RunAction::SavePackage, infName, "", ERROR_PATH_NOT_FOUND);
    const std::string inf = m_windowsDirectory + "\\inf\\" + infName;
    const std::string pnf = inf.substr(0, inf.size() - 3) + "pnf";
    const std::string relative = MirrorPath(inf);
    DWORD code = CopyOnce(inf, relative);
    // A PNF that is absent has nothing to save; one that cannot be looked at
    // may be there, and the uninstall would take it unsaved.
    FileAttributeData status{};
    if (code == 0) {
        if (m_platform.GetFileAttributesEx(pnf.c_str(), &status)) {
            code = CopyOnce(pnf, MirrorPath(pnf));
        } else {
            const DWORD error = m_platform.GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) code = error;
        }
    }
    return Recorded(RunAction::SavePackage, infName, relative, code);
}

bool CBackup::SaveService(const std::string& name) {
    ServiceConfig config;
    DWORD code = 0;
    {
        ScHolder manager(m_platform, m_platform.OpenSCManager(SC_MANAGER_ALL_ACCESS));
        if (!manager.valid()) return Recorded(RunAction::SaveService, name, "", m_platform.GetLastError());
        ScHolder service(m_platform,
                         m_platform.OpenService(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
        if (!service.valid()) {
            return Recorded(RunAction::SaveService, name, "", m_platform.GetLastError());
        }
        if (!m_platform.QueryServiceConfig(service.get(), &config))
            return Recorded(RunAction::SaveService, name, "", m_platform.GetLastError());
    }
    std::vector<RegFileKey> keys;
    code = static_cast<DWORD>(ReadKeyTree(m_platform, kServicesKey + name, false, &keys));
    const std::string relative = "services\\" + name;
    if (code == 0) code = CreateFolderPath(m_platform, m_folder + "\\services");
    if (code == 0)
        code = WriteNewFile(m_platform, m_folder + "\\" + relative + ".reg", AsBytes(WriteRegFile(keys)));
    if (code == 0)
        code = WriteNewFile(m_platform, m_folder + "\\" + relative + ".txt", ServiceConfigText(config));
    return Recorded(RunAction::SaveService, name, relative + ".reg", code);
}

bool CBackup::SaveDevice(const std::string& instanceId) {
    std::string fileName = instanceId;
    for (char& c : fileName) {
        if (c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
            c == '|')
            c = '#';
    }
    std::vector<RegFileKey> keys;
    DWORD code = static_cast<DWORD>(ReadKeyTree(m_platform, kEnumKey + instanceId, true, &keys));
    const std::string relative = "devices\\" + fileName + ".reg";
    if (code == 0) code = CreateFolderPath(m_platform, m_folder + "\\devices");
    if (code == 0) code = WriteNewFile(m_platform, m_folder + "\\" + relative, AsBytes(WriteRegFile(keys)));
    return Recorded(RunAction::SaveDevice, instanceId, relative, code);
}

DWORD CBackup::WriteManifest(const std::string& text) {
    const std::string path = m_folder + "\\" + kManifestName;
    const DWORD code = WriteNewFile(m_platform, path, text);
    // Everything is saved all the same; only the restore needs the list.
    if (code != 0) m_log.Log(code, MsgManifestNotWritten(m_platform, path.c_str()), LogLevelError);
    return code;
}

}  // namespace vk
