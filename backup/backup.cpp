#include "backup/backup.h"

#include <algorithm>
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
    : m_platform(platform), m_log(log), m_folder(std::move(folder)), m_manifest(platform) {
    while (m_folder.size() > 3 && (m_folder.back() == '\\' || m_folder.back() == '/')) m_folder.pop_back();
}

DWORD CBackup::Prepare() {
    // A folder that holds an earlier backup's manifest is not mixed with this one.
    FileAttributeData status{};
    if (m_platform.GetFileAttributesEx((m_folder + "\\" + kManifestName).c_str(), &status))
        return ERROR_ALREADY_EXISTS;
    // A copy that cannot be checked is not one to delete anything on.
    std::string digest;
    DWORD code = Sha256Hex(m_platform, std::string(), &digest);
    if (code != 0) return code;
    // What a standard user may have made there before is checked before
    // anything is made: a folder that someone else may change would let
    // them change what a restore puts back as a driver.
    CTrust trust(m_platform);
    m_refusal = trust.PrepareFolders(ProgramFolderAbove(m_platform, m_folder), m_folder, &code);
    if (!m_refusal.Trusted()) return m_refusal.code != 0 ? m_refusal.code : ERROR_ACCESS_DENIED;
    if (code == 0) code = m_manifest.Create(m_folder + "\\" + kManifestName);
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

DWORD CBackup::CopyOnce(const std::string& path, const std::string& relative, SavedCopy* copy) {
    const std::string key = Folded(path);
    const auto known = m_copies.find(key);
    if (known != m_copies.end()) {
        *copy = known->second;
        return 0;
    }
    const std::string target = m_folder + "\\" + relative;
    DWORD code = CreateProtectedFolderPath(m_platform, FolderOf(target));
    copy->path = relative;
    if (code == 0) code = CopyWhole(m_platform, path, target, nullptr, copy);
    if (code == 0) m_copies[key] = *copy;
    return code;
}

DWORD CBackup::WriteCopy(const std::string& relative, const std::string& bytes, SavedCopy* copy, bool flush) {
    const std::string target = m_folder + "\\" + relative;
    DWORD code = CreateProtectedFolderPath(m_platform, FolderOf(target));
    copy->path = relative;
    if (code == 0) code = WriteWhole(m_platform, target, bytes, copy, flush);
    return code;
}

std::vector<std::string> CBackup::Targets(RunAction action, const std::string& source,
                                          const std::vector<SavedCopy>& copies) {
    std::vector<std::string> targets;
    if (action == RunAction::SaveFile) targets.push_back(Folded(copies.front().path + "|" + source));
    // A package saved as its INF and PNF is put back as those two files.
    if (action == RunAction::SavePackage && copies.front().path.compare(0, 6, "files\\") == 0 &&
        KnowWindowsDirectory()) {
        for (const SavedCopy& copy : copies)
            targets.push_back(Folded(copy.path + "|" + m_windowsDirectory + "\\inf\\" + NameOf(copy.path)));
    }
    return targets;
}

bool CBackup::Recorded(RunAction action, const std::string& source, std::vector<SavedCopy> copies, DWORD code,
                       bool record) {
    ManifestEntry::Kind kind = ManifestEntry::Kind::File;
    KeptItem item = KeptItem::File;
    if (action == RunAction::SavePackage) kind = ManifestEntry::Kind::Package, item = KeptItem::Package;
    if (action == RunAction::SaveService) kind = ManifestEntry::Kind::Service, item = KeptItem::Service;
    if (action == RunAction::SaveDevice) kind = ManifestEntry::Kind::Device, item = KeptItem::Device;
    const std::size_t number = ++m_lastNumber;
    if (code == 0) {
        // The line is on the disk before the item may go, unless one there
        // already lets the restore put back all this one does.
        const std::vector<std::string> targets = Targets(action, source, copies);
        const bool covered = record || (!targets.empty() && std::all_of(targets.begin(), targets.end(),
                                                                        [this](const std::string& t) {
                                                                            return m_onDisk.count(t) != 0;
                                                                        }));
        code = m_manifest.Append(SaveLine(number, kind, source, copies), !covered);
        m_unflushed.insert(m_unflushed.end(), targets.begin(), targets.end());
        if (code == 0 && !covered) {
            m_onDisk.insert(m_unflushed.begin(), m_unflushed.end());
            m_unflushed.clear();
        }
        if (code != 0) {
            const std::string path = m_folder + "\\" + kManifestName;
            m_log.Log(code, MsgManifestNotWritten(m_platform, path.c_str()), LogLevelError);
        }
    } else {
        // For the record only: nothing goes on its account.
        m_manifest.Append(KeptLine(number, kind, source, code), false);
    }
    if (code != 0) {
        m_log.Record(RunEntry::Failed(action, source, code));
        return false;
    }
    m_saves[{item, source}] = number;
    RunEntry entry = RunEntry::Done(action, source);
    entry.copy = copies.front().path;
    m_log.Record(std::move(entry));
    return true;
}

bool CBackup::SaveBeforeDeletion(KeptItem kind, const std::string& subject) {
    switch (kind) {
        case KeptItem::File:
            return SaveFile(subject);
        case KeptItem::Package:
            return SavePackage(subject);
        case KeptItem::Service:
            return SaveService(subject);
        case KeptItem::Device:
            return SaveDevice(subject);
    }
    return false;
}

void CBackup::Became(KeptItem kind, const std::string& subject, ItemFate fate, DWORD code) {
    const auto saved = m_saves.find({kind, subject});
    if (saved == m_saves.end()) return;
    ManifestEntry::Outcome outcome = ManifestEntry::Outcome::Deleted;
    if (fate == ItemFate::NotDeleted) outcome = ManifestEntry::Outcome::NotDeleted;
    if (fate == ItemFate::LeftToRestart) outcome = ManifestEntry::Outcome::LeftToRestart;
    if (fate == ItemFate::Untouched) outcome = ManifestEntry::Outcome::Untouched;
    // Not flushed: without it the restore takes the item as possibly gone,
    // which it checks for itself; the next save line takes it to the disk.
    m_manifest.Append(OutcomeLine(saved->second, outcome, code), false);
}

DWORD CBackup::Finish() {
    const DWORD code = m_manifest.Flush();
    m_manifest.Close();
    if (code != 0) {
        const std::string path = m_folder + "\\" + kManifestName;
        m_log.Log(code, MsgManifestNotWritten(m_platform, path.c_str()), LogLevelError);
    }
    return code;
}

bool CBackup::SaveFile(const std::string& path) {
    FileAttributeData status{};
    if (!m_platform.GetFileAttributesEx(path.c_str(), &status)) {
        const DWORD code = m_platform.GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
        return Recorded(RunAction::SaveFile, path, {}, code);
    }
    const std::string relative = MirrorPath(path);
    if (relative.empty()) return Recorded(RunAction::SaveFile, path, {}, ERROR_PATH_NOT_FOUND);
    SavedCopy copy;
    const DWORD code = CopyOnce(path, relative, &copy);
    return Recorded(RunAction::SaveFile, path, {copy}, code);
}

bool CBackup::SavePackage(const std::string& infName) {
    std::string location;
    const StoreLocation found = m_platform.GetInfDriverStoreLocation(infName.c_str(), &location);
    std::string stem = infName;
    if (stem.size() > 4) stem.erase(stem.size() - 4);
    std::vector<SavedCopy> copies;
    if (found == StoreLocation::Found) {
        const std::string relative = "store\\" + stem;
        const DWORD code =
            CopyFolder(m_platform, FolderOf(location), m_folder + "\\" + relative, m_folder, &copies);
        // The INF that is published again comes first.
        const std::string inf = Folded(relative + "\\" + NameOf(location));
        const auto first = std::find_if(copies.begin(), copies.end(),
                                        [&inf](const SavedCopy& copy) { return Folded(copy.path) == inf; });
        if (code == 0 && first == copies.end())
            return Recorded(RunAction::SavePackage, infName, {}, ERROR_FILE_NOT_FOUND);
        if (first != copies.end()) std::rotate(copies.begin(), first, first + 1);
        return Recorded(RunAction::SavePackage, infName, std::move(copies), code);
    }
    // The store cannot tell (older systems, Wine): the published INF and its
    // PNF are what can be published again.
    if (!KnowWindowsDirectory()) return Recorded(RunAction::SavePackage, infName, {}, ERROR_PATH_NOT_FOUND);
    const std::string inf = m_windowsDirectory + "\\inf\\" + infName;
    const std::string pnf = inf.substr(0, inf.size() - 3) + "pnf";
    copies.emplace_back();
    DWORD code = CopyOnce(inf, MirrorPath(inf), &copies.back());
    // A PNF that is absent has nothing to save; one that cannot be looked at
    // may be there, and the uninstall would take it unsaved.
    FileAttributeData status{};
    if (code == 0) {
        if (m_platform.GetFileAttributesEx(pnf.c_str(), &status)) {
            copies.emplace_back();
            code = CopyOnce(pnf, MirrorPath(pnf), &copies.back());
        } else {
            const DWORD error = m_platform.GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) code = error;
        }
    }
    return Recorded(RunAction::SavePackage, infName, std::move(copies), code);
}

bool CBackup::SaveService(const std::string& name) {
    ServiceConfig config;
    {
        ScHolder manager(m_platform, m_platform.OpenSCManager(SC_MANAGER_ALL_ACCESS));
        if (!manager.valid()) return Recorded(RunAction::SaveService, name, {}, m_platform.GetLastError());
        ScHolder service(m_platform,
                         m_platform.OpenService(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
        if (!service.valid()) return Recorded(RunAction::SaveService, name, {}, m_platform.GetLastError());
        if (!m_platform.QueryServiceConfig(service.get(), &config))
            return Recorded(RunAction::SaveService, name, {}, m_platform.GetLastError());
    }
    std::vector<RegFileKey> keys;
    DWORD code = static_cast<DWORD>(ReadKeyTree(m_platform, kServicesKey + name, false, &keys));
    const std::string relative = "services\\" + name;
    std::vector<SavedCopy> copies(2);
    if (code == 0) code = WriteCopy(relative + ".reg", AsBytes(WriteRegFile(keys)), &copies[0]);
    if (code == 0) code = WriteCopy(relative + ".txt", ServiceConfigText(config), &copies[1]);
    return Recorded(RunAction::SaveService, name, std::move(copies), code);
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
    SavedCopy copy;
    // A record only: the restore never creates a device instance again.
    if (code == 0)
        code = WriteCopy("devices\\" + fileName + ".reg", AsBytes(WriteRegFile(keys)), &copy, false);
    return Recorded(RunAction::SaveDevice, instanceId, {copy}, code, true);
}

}  // namespace vk
