#include "backup/trust.h"

#include <algorithm>
#include <vector>

#include "backup/folder_io.h"
#include "cleanup/handles.h"
#include "diag/messages.h"
#include "res/resource.h"

namespace vk {

namespace {

constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kTrustedInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// What an entry for CREATOR OWNER grants goes to whoever creates something
// there: in the program's folders, the program.
constexpr const char* kCreatorOwner = "S-1-3-0";

// Rights that change a file or folder, or what is in it.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                               FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                               GENERIC_ALL;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return text;
}

bool Missing(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

TrustCheck Refused(Distrust why, const std::string& path, DWORD code = 0) {
    TrustCheck check;
    check.why = why;
    check.path = path;
    check.code = code;
    return check;
}

// `folder` and the folders above it up to `top`, from the top down.
std::vector<std::string> Chain(const std::string& top, const std::string& folder) {
    std::vector<std::string> chain;
    for (std::string path = folder;;) {
        chain.push_back(path);
        const std::string parent = FolderOf(path);
        // A drive or a share's root is no folder of the program's.
        if (Upper(path) == Upper(top) || parent.empty() || parent.back() == ':' ||
            parent.find_first_not_of('\\') == std::string::npos)
            break;
        path = parent;
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

// The string resource that says why.
unsigned DistrustText(Distrust why) {
    switch (why) {
        case Distrust::Unreadable:
            return IDS_TRUST_UNREADABLE;
        case Distrust::Link:
            return IDS_TRUST_LINK;
        case Distrust::HardLinks:
            return IDS_TRUST_HARD_LINKS;
        case Distrust::ForeignOwner:
            return IDS_TRUST_OWNER;
        case Distrust::OthersMayWrite:
            return IDS_TRUST_WRITABLE;
        case Distrust::NoSecurity:
            return IDS_TRUST_NO_SECURITY;
        case Distrust::None:
            break;
    }
    return 0;
}

}  // namespace

std::string RefusalText(IPlatform& platform, const TrustCheck& refusal, unsigned consequence) {
    return MsgNotTrusted(platform, refusal.path.c_str(), DistrustText(refusal.why), consequence);
}

std::string ProgramFolderAbove(IPlatform& platform, const std::string& folder) {
    std::string programData;
    if (!platform.GetCommonAppDataFolder(&programData) || programData.empty()) return folder;
    const std::string own = programData + "\\VelkorUSBCleaner";
    const std::string upper = Upper(folder);
    if (upper == Upper(own) || upper.compare(0, own.size() + 1, Upper(own) + "\\") == 0) return own;
    return folder;
}

CTrust::CTrust(IPlatform& platform) : m_platform(platform) {
    if (!m_platform.GetProcessUserSid(&m_account)) m_account.clear();
}

bool CTrust::TrustedOwner(const std::string& sid) const {
    return sid == kSystem || sid == kAdministrators || sid == kTrustedInstaller ||
           (!m_account.empty() && sid == m_account);
}

TrustCheck CTrust::Judge(const SecurityInfo& security, const std::string& path) const {
    if (!TrustedOwner(security.ownerSid)) return Refused(Distrust::ForeignOwner, path);
    // No DACL at all lets everyone do everything.
    if (!security.hasDacl) return Refused(Distrust::OthersMayWrite, path);
    for (const AccessEntry& entry : security.dacl) {
        if (entry.kind == AccessEntry::Kind::Denied || (entry.mask & kWriteRights) == 0) continue;
        if (TrustedOwner(entry.sid) || entry.sid == kCreatorOwner) continue;
        // An entry that only goes to what is created inside counts too: the
        // program's copies would be someone else's to change.
        return Refused(Distrust::OthersMayWrite, path);
    }
    return TrustCheck();
}

TrustCheck CTrust::Volume(const std::string& path) {
    VolumeInfo volume;
    if (!m_platform.GetVolumeInformation(path.c_str(), &volume))
        return Refused(Distrust::Unreadable, path, m_platform.GetLastError());
    const std::string name = Upper(volume.fileSystem);
    if (name == "FAT" || name == "FAT12" || name == "FAT16" || name == "FAT32" || name == "EXFAT")
        return Refused(Distrust::NoSecurity, path);
    // Every NTFS volume reports several flags; Wine reports none at all, so
    // no flags is taken as not told rather than as no security.
    if (volume.flags != 0 && (volume.flags & FILE_PERSISTENT_ACLS) == 0)
        return Refused(Distrust::NoSecurity, path);
    return TrustCheck();
}

TrustCheck CTrust::Folder(const std::string& path) {
    FileHolder folder(m_platform,
                      m_platform.CreateFileNoFollow(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                                    kShareAll, OPEN_EXISTING, kOpenFolder));
    if (!folder.valid()) return Refused(Distrust::Unreadable, path, m_platform.GetLastError());
    FileIdentity identity;
    if (!m_platform.GetFileInformationByHandle(folder.get(), &identity))
        return Refused(Distrust::Unreadable, path, m_platform.GetLastError());
    if (identity.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Refused(Distrust::Link, path);
    if ((identity.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return Refused(Distrust::Unreadable, path, ERROR_DIRECTORY);
    SecurityInfo security;
    const DWORD code = m_platform.GetSecurityInfo(folder.get(), &security);
    if (code != 0) return Refused(Distrust::Unreadable, path, code);
    return Judge(security, path);
}

TrustCheck CTrust::OpenedFile(FileHandle file, const std::string& path, bool security) {
    FileIdentity identity;
    if (!m_platform.GetFileInformationByHandle(file, &identity))
        return Refused(Distrust::Unreadable, path, m_platform.GetLastError());
    if (identity.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Refused(Distrust::Link, path);
    if (identity.attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Refused(Distrust::Unreadable, path, ERROR_ACCESS_DENIED);
    if (identity.links > 1) return Refused(Distrust::HardLinks, path);
    if (!security) return TrustCheck();
    SecurityInfo read;
    const DWORD code = m_platform.GetSecurityInfo(file, &read);
    if (code != 0) return Refused(Distrust::Unreadable, path, code);
    return Judge(read, path);
}

TrustCheck CTrust::File(const std::string& path) {
    FileHolder file(m_platform,
                    m_platform.CreateFileNoFollow(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                                  kShareAll, OPEN_EXISTING, 0));
    if (!file.valid()) return Refused(Distrust::Unreadable, path, m_platform.GetLastError());
    return OpenedFile(file.get(), path, true);
}

TrustCheck CTrust::Existing(const std::vector<std::string>& chain, std::size_t* missing, DWORD* createCode) {
    for (*missing = 0; *missing < chain.size(); ++*missing) {
        const std::string& folder = chain[*missing];
        FileAttributeData status{};
        if (!m_platform.GetFileAttributesEx(folder.c_str(), &status)) {
            const DWORD code = m_platform.GetLastError();
            if (Missing(code)) break;
            return Refused(Distrust::Unreadable, folder, code);
        }
        if ((status.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            *createCode = ERROR_ALREADY_EXISTS;
            return TrustCheck();
        }
        const TrustCheck check = Folder(folder);
        if (!check.Trusted()) return check;
    }
    return TrustCheck();
}

TrustCheck CTrust::Folders(const std::string& top, const std::string& folder) {
    TrustCheck check = Volume(folder);
    if (!check.Trusted()) return check;
    const std::vector<std::string> chain = Chain(top, folder);
    std::size_t missing = 0;
    DWORD notFolder = 0;
    check = Existing(chain, &missing, &notFolder);
    if (!check.Trusted()) return check;
    if (notFolder != 0) return Refused(Distrust::Unreadable, chain[missing], ERROR_DIRECTORY);
    if (missing < chain.size()) return Refused(Distrust::Unreadable, chain[missing], ERROR_PATH_NOT_FOUND);
    return TrustCheck();
}

TrustCheck CTrust::PrepareFolders(const std::string& top, const std::string& folder, DWORD* createCode) {
    *createCode = 0;
    TrustCheck check = Volume(folder);
    if (!check.Trusted()) return check;
    const std::vector<std::string> chain = Chain(top, folder);
    std::size_t missing = 0;
    check = Existing(chain, &missing, createCode);
    if (!check.Trusted() || *createCode != 0 || missing == chain.size()) return check;
    // The missing folders above the first one are the program's to make too.
    *createCode = CreateProtectedFolderPath(m_platform, chain[missing]);
    for (std::size_t i = missing + 1; i < chain.size() && *createCode == 0; ++i) {
        if (!m_platform.CreateProtectedDirectory(chain[i].c_str())) *createCode = m_platform.GetLastError();
    }
    return TrustCheck();
}

}  // namespace vk
