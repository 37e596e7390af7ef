// The simulated workstation's security: owners and DACLs of files and
// folders, inherited as Windows does, links and junctions, volumes with or
// without security, and the program's own security for what it creates.
// Wine keeps none of this (a folder's DACL reads back as one made from its
// Unix mode), so it is modelled from Microsoft Learn: "GetSecurityInfo" and
// "SetSecurityInfo" (learn.microsoft.com/windows/win32/api/aclapi/), "ACE
// Inheritance Rules" (learn.microsoft.com/windows/win32/secauthz/ace-inheritance-rules),
// "Reparse Points" (learn.microsoft.com/windows/win32/fileio/reparse-points)
// and "File Security and Access Rights"
// (learn.microsoft.com/windows/win32/fileio/file-security-and-access-rights).
#include "platform/simulated/state.h"

namespace vk::sim {

namespace {

// FILE_TRAVERSE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | SYNCHRONIZE: what
// "icacls" shows as (S,WD,AD,X).
constexpr DWORD kCreateInFolder = 0x00100000 | 0x20 | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kReadAndExecute = 0x001200A9;
constexpr DWORD kModify = 0x001301BF;
// NTFS's flags: FILE_CASE_SENSITIVE_SEARCH, FILE_CASE_PRESERVED_NAMES,
// FILE_UNICODE_ON_DISK, FILE_PERSISTENT_ACLS and more.
constexpr DWORD kNtfsFlags = 0x03E700FF;

AccessEntry Allow(const char* sid, DWORD mask, DWORD flags) {
    return {AccessEntry::Kind::Allowed, flags, mask, sid};
}

// The program's own security (and Windows' for its own folders below).
SecurityInfo ProgramSecurity() {
    SecurityInfo security{kSidAdministrators, true, true, {}};
    security.dacl.push_back(Allow(kSidSystem, FILE_ALL_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
    security.dacl.push_back(
        Allow(kSidAdministrators, FILE_ALL_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
    return security;
}

// What Windows 10 sets on the folders every workstation has ("icacls" of
// each): the root lets authenticated users make folders, which they then
// may change; ProgramData lets users make files and folders, which they own;
// the Temp folder lets them make files there.
bool WindowsDefault(const std::string& upper, const std::string& windows, SecurityInfo* security) {
    const DWORD both = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    if (upper.size() == 2 && upper[1] == ':') {
        *security = {kSidSystem, true, true, {}};
        security->dacl = {Allow(kSidAdministrators, FILE_ALL_ACCESS, both),
                          Allow(kSidSystem, FILE_ALL_ACCESS, both), Allow(kSidUsers, kReadAndExecute, both),
                          Allow(kSidAuthenticatedUsers, kModify, both | INHERIT_ONLY_ACE),
                          Allow(kSidAuthenticatedUsers, FILE_APPEND_DATA, 0)};
        return true;
    }
    if (upper == Upper(windows)) {
        *security = {kSidTrustedInstaller, true, true, {}};
        security->dacl = {Allow(kSidTrustedInstaller, FILE_ALL_ACCESS, CONTAINER_INHERIT_ACE),
                          Allow(kSidSystem, FILE_ALL_ACCESS, both),
                          Allow(kSidAdministrators, FILE_ALL_ACCESS, both),
                          Allow(kSidUsers, kReadAndExecute, both),
                          Allow(kSidCreatorOwner, GENERIC_ALL, both | INHERIT_ONLY_ACE)};
        return true;
    }
    if (upper == Upper(windows + "\\Temp")) {
        *security = {kSidSystem, true, true, {}};
        security->dacl = {Allow(kSidSystem, FILE_ALL_ACCESS, both),
                          Allow(kSidAdministrators, FILE_ALL_ACCESS, both),
                          Allow(kSidCreatorOwner, GENERIC_ALL, both | INHERIT_ONLY_ACE),
                          Allow(kSidUsers, kCreateInFolder, CONTAINER_INHERIT_ACE)};
        return true;
    }
    if (upper == "C:\\PROGRAMDATA") {
        *security = {kSidSystem, true, true, {}};
        security->dacl = {
            Allow(kSidSystem, FILE_ALL_ACCESS, both), Allow(kSidAdministrators, FILE_ALL_ACCESS, both),
            Allow(kSidCreatorOwner, GENERIC_ALL, both | INHERIT_ONLY_ACE),
            Allow(kSidUsers, kReadAndExecute, both),
            Allow(kSidUsers, FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA,
                  CONTAINER_INHERIT_ACE)};
        return true;
    }
    return false;
}

// What a new file or folder inside `parent`, owned by `owner`, inherits.
SecurityInfo Inherited(const SecurityInfo& parent, const std::string& owner, bool folder) {
    SecurityInfo child{owner, true, false, {}};
    for (const AccessEntry& entry : parent.dacl) {
        const bool objects = (entry.flags & OBJECT_INHERIT_ACE) != 0;
        const bool containers = (entry.flags & CONTAINER_INHERIT_ACE) != 0;
        const bool onlyOnce = (entry.flags & NO_PROPAGATE_INHERIT_ACE) != 0;
        const bool creator = entry.sid == kSidCreatorOwner;
        AccessEntry effective = entry;
        effective.flags = INHERITED_ACE;
        if (creator) effective.sid = owner;
        if (!folder) {
            if (objects) child.dacl.push_back(effective);
            continue;
        }
        if (containers) {
            // It applies to the folder, and goes on to what is below it
            // unless it was to go one level only. CREATOR OWNER applies to
            // the folder as its owner, and stays as it is for what is below.
            if (creator) {
                child.dacl.push_back(effective);
                if (!onlyOnce) {
                    AccessEntry below = entry;
                    below.flags = (entry.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) |
                                  INHERIT_ONLY_ACE | INHERITED_ACE;
                    child.dacl.push_back(below);
                }
            } else {
                if (!onlyOnce) effective.flags |= entry.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
                child.dacl.push_back(effective);
            }
        } else if (objects && !onlyOnce) {
            // Only for the files below.
            AccessEntry below = entry;
            below.flags = OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE | INHERITED_ACE;
            child.dacl.push_back(below);
        }
    }
    return child;
}

}  // namespace

VolumeInfo SimulatedWorkstation::State::VolumeOf(const std::string& path) const {
    const std::string drive = path.size() >= 2 && path[1] == ':' ? Upper(path.substr(0, 2)) : std::string();
    const auto it = volumes.find(drive);
    return it != volumes.end() ? it->second : VolumeInfo{"NTFS", kNtfsFlags};
}

SecurityInfo SimulatedWorkstation::State::EffectiveSecurity(const std::string& path) const {
    const std::string upper = Upper(path);
    const auto described = security.find(upper);
    if (described != security.end()) return described->second;
    // A volume that keeps no security: no owner to tell, and a null DACL,
    // which grants everyone everything.
    if ((VolumeOf(path).flags & FILE_PERSISTENT_ACLS) == 0) return {kSidEveryone, false, false, {}};
    SecurityInfo windows;
    if (WindowsDefault(upper, windowsDirectory, &windows)) return windows;
    const std::string parent = FolderOf(path, DoubleByte());
    if (parent.empty() || parent == path) return ProgramSecurity();
    const bool folder = folders.count(upper) != 0;
    return Inherited(EffectiveSecurity(parent), kSidAdministrators, folder);
}

File& File::HardLinks(DWORD count) {
    links = count;
    return *this;
}

File& File::SymbolicLinkTo(const std::string& target) {
    reparseTarget = target;
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return *this;
}

SecurityInfo& SimulatedWorkstation::Security(const std::string& fullPath) {
    const std::string upper = Upper(fullPath);
    if (!m_state->security.count(upper)) m_state->security[upper] = m_state->EffectiveSecurity(fullPath);
    return m_state->security[upper];
}

SecurityInfo SimulatedWorkstation::SecurityOf(const std::string& fullPath) const {
    return m_state->EffectiveSecurity(fullPath);
}

void SimulatedWorkstation::SetCreator(const std::string& fullPath, const std::string& sid) {
    const std::string parent = FolderOf(fullPath, m_state->DoubleByte());
    const bool folder = m_state->FolderExists(fullPath);
    m_state->security[Upper(fullPath)] = Inherited(m_state->EffectiveSecurity(parent), sid, folder);
}

void SimulatedWorkstation::MakeJunction(const std::string& folder) {
    AddFolder(folder);
    m_state->junctions.insert(Upper(folder));
}

void SimulatedWorkstation::SetVolume(const std::string& drive, const VolumeInfo& volume) {
    m_state->volumes[Upper(drive)] = volume;
}

void SimulatedWorkstation::SetProcessUserSid(const std::string& sid) {
    m_state->processUserSid = sid;
}

FileHandle SimulatedWorkstation::CreateFileNoFollow(const char* path, DWORD access, DWORD shareMode,
                                                    DWORD disposition, DWORD options) {
    const std::string text = path ? path : "";
    if (m_state->Injected("CreateFileNoFollow", text)) return kInvalidFileHandle;
    if (DWORD error = m_state->CheckPath(text)) return m_state->Error(error, kInvalidFileHandle);
    if (m_state->FolderExists(text)) {
        // A folder opens only with backup semantics, and then only to be looked at.
        if ((options & kOpenFolder) == 0 || disposition == CREATE_NEW || disposition == CREATE_ALWAYS)
            return m_state->Error(ERROR_ACCESS_DENIED, kInvalidFileHandle);
        const std::uintptr_t handle = m_state->NewHandle();
        m_state->folderHandles[handle] = text;
        return static_cast<FileHandle>(handle);
    }
    File* file = m_state->FindFileEntry(text);
    if (disposition != OPEN_EXISTING && disposition != CREATE_NEW && disposition != OPEN_ALWAYS &&
        disposition != CREATE_ALWAYS)
        return m_state->Error(ERROR_INVALID_PARAMETER, kInvalidFileHandle);
    if (file && disposition == CREATE_NEW) return m_state->Error(ERROR_FILE_EXISTS, kInvalidFileHandle);
    if (!file && disposition == OPEN_EXISTING)
        return m_state->Error(ERROR_FILE_NOT_FOUND, kInvalidFileHandle);
    const bool created = file == nullptr;
    if (created) {
        file = &AddFile(text);
        if (options & kProtectNew) m_state->security[Upper(text)] = ProgramSecurity();
        m_state->calls.push_back("CreateFile " + text);
    }
    // The link itself is opened, never its target.
    const FileHandle handle = m_state->OpenEntry(file, access, shareMode);
    if (handle == kInvalidFileHandle) return handle;
    if (!created && disposition == CREATE_ALWAYS) {
        file->content.clear();
        m_state->calls.push_back("CreateFile " + text + " (replaced)");
    }
    // Both opens say whether the file was there, as CreateFileA documents:
    // ERROR_ALREADY_EXISTS when it was, 0 when it was created.
    if (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS)
        m_state->lastError = created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
    return handle;
}

bool SimulatedWorkstation::GetFileInformationByHandle(FileHandle handle, FileIdentity* identity) {
    const auto folder = m_state->folderHandles.find(static_cast<std::uintptr_t>(handle));
    const auto file = m_state->openFiles.find(static_cast<std::uintptr_t>(handle));
    const std::string path =
        folder != m_state->folderHandles.end() ? folder->second : m_state->PathOf(handle);
    if (m_state->Injected("GetFileInformationByHandle", path)) return false;
    FileIdentity read;
    if (folder != m_state->folderHandles.end()) {
        read.attributes = FILE_ATTRIBUTE_DIRECTORY;
        if (m_state->junctions.count(Upper(folder->second))) read.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        read.links = 1;
    } else if (file != m_state->openFiles.end()) {
        const DWORD attributes = file->second.file->attributes;
        read.attributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
        read.links = file->second.file->links;
    } else {
        return m_state->Error(ERROR_INVALID_HANDLE, false);
    }
    if (identity) *identity = read;
    return true;
}

DWORD SimulatedWorkstation::GetSecurityInfo(FileHandle handle, SecurityInfo* security) {
    const auto folder = m_state->folderHandles.find(static_cast<std::uintptr_t>(handle));
    const std::string path =
        folder != m_state->folderHandles.end() ? folder->second : m_state->PathOf(handle);
    if (DWORD code = m_state->InjectedCode("GetSecurityInfo", path)) return code;
    if (path.empty()) return ERROR_INVALID_HANDLE;
    if (security) *security = m_state->EffectiveSecurity(path);
    return ERROR_SUCCESS;
}

bool SimulatedWorkstation::CreateProtectedDirectory(const char* path) {
    const std::string text = path ? path : "";
    if (m_state->Injected("CreateProtectedDirectory", text)) return false;
    if (!m_state->MakeFolder(text)) return false;
    // A volume without security keeps none (FAT32, exFAT).
    if (m_state->VolumeOf(text).flags & FILE_PERSISTENT_ACLS)
        m_state->security[Upper(text)] = ProgramSecurity();
    m_state->calls.push_back("CreateProtectedDirectory " + text);
    return true;
}

bool SimulatedWorkstation::GetVolumeInformation(const char* path, VolumeInfo* volume) {
    const std::string text = path ? path : "";
    if (m_state->Injected("GetVolumeInformation", text)) return false;
    if (text.size() < 2 || text[1] != ':') return m_state->Error(ERROR_PATH_NOT_FOUND, false);
    if (volume) *volume = m_state->VolumeOf(text);
    return true;
}

bool SimulatedWorkstation::GetProcessUserSid(std::string* sid) {
    if (m_state->Injected("GetProcessUserSid", "")) return false;
    if (sid) *sid = m_state->processUserSid;
    return true;
}

}  // namespace vk::sim
