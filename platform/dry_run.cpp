#include "platform/dry_run.h"

#include <cstring>

namespace vk {

namespace {

// Windows compares file and service names without regard to case.
std::string Folded(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return folded;
}

std::string FolderOf(const char* pattern) {
    const std::string text = pattern ? pattern : "";
    const std::size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

}  // namespace

bool DryRunPlatform::Deleted(const std::string& path) const {
    return m_deletedFiles.count(Folded(path)) != 0;
}

bool DryRunPlatform::Hidden(const Search& search, const FindData& data) const {
    return search.deleted.count(Folded(search.folder + data.fileName)) != 0;
}

// --- Device setup --------------------------------------------------------

DevInfoSet DryRunPlatform::GetClassDevs(const char* enumerator, DWORD flags) {
    return m_real.GetClassDevs(enumerator, flags);
}

bool DryRunPlatform::EnumDeviceInfo(DevInfoSet set, DWORD index, DevInfoData* data) {
    return m_real.EnumDeviceInfo(set, index, data);
}

bool DryRunPlatform::GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData* data, DWORD property,
                                               DWORD* regType, std::uint8_t* buffer, DWORD capacity,
                                               DWORD* requiredSize) {
    return m_real.GetDeviceRegistryProperty(set, data, property, regType, buffer, capacity, requiredSize);
}

bool DryRunPlatform::CallClassInstaller(DWORD, DevInfoSet, DevInfoData*) {
    return true;
}

bool DryRunPlatform::DestroyDeviceInfoList(DevInfoSet set) {
    return m_real.DestroyDeviceInfoList(set);
}

bool DryRunPlatform::GetDeviceInstanceId(DevInfoSet set, const DevInfoData* data, char* buffer, DWORD size,
                                         DWORD* requiredSize) {
    return m_real.GetDeviceInstanceId(set, data, buffer, size, requiredSize);
}

// --- Registry ------------------------------------------------------------

LONG DryRunPlatform::RegOpenKeyEx(RegRoot root, const char* subKey, DWORD options, DWORD access,
                                  RegKey* key) {
    return m_real.RegOpenKeyEx(root, subKey, options, access, key);
}

LONG DryRunPlatform::RegQueryValueEx(RegKey key, const char* valueName, DWORD* type, std::uint8_t* data,
                                     DWORD* size) {
    // A key of the plan has no values yet.
    if (m_plannedKeys.count(key)) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    return m_real.RegQueryValueEx(key, valueName, type, data, size);
}

LONG DryRunPlatform::RegCloseKey(RegKey key) {
    if (m_plannedKeys.erase(key)) return 0;
    return m_real.RegCloseKey(key);
}

LONG DryRunPlatform::RegCreateKeyEx(RegRoot root, const char* subKey, RegKey* key, bool* created) {
    // An existing key is opened for reading: its values are written in the plan only.
    RegKey opened = kNullRegKey;
    if (m_real.RegOpenKeyEx(root, subKey, 0, KEY_READ, &opened) == 0) {
        if (key) *key = opened;
        if (created) *created = false;
        return 0;
    }
    const RegKey planned = static_cast<RegKey>(m_nextWriteHandle += 4);
    m_plannedKeys.insert(planned);
    if (key) *key = planned;
    if (created) *created = true;
    return 0;
}

LONG DryRunPlatform::RegSetValueEx(RegKey, const char*, DWORD, const std::uint8_t*, DWORD) {
    return 0;
}

LONG DryRunPlatform::RegEnumKeyEx(RegKey key, DWORD index, char* name, DWORD* nameSize) {
    return m_real.RegEnumKeyEx(key, index, name, nameSize);
}

LONG DryRunPlatform::RegEnumValue(RegKey key, DWORD index, char* name, DWORD* nameSize, DWORD* type,
                                  std::uint8_t* data, DWORD* dataSize) {
    return m_real.RegEnumValue(key, index, name, nameSize, type, data, dataSize);
}

// --- Services ------------------------------------------------------------

ScHandle DryRunPlatform::OpenSCManager(DWORD access) {
    return m_real.OpenSCManager(access);
}

ScHandle DryRunPlatform::OpenService(ScHandle manager, const char* serviceName, DWORD access) {
    const std::string name = serviceName ? serviceName : "";
    // Once its last handle is closed a deleted service is gone.
    if (m_deletedServices.count(Folded(name))) {
        m_real.SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return kNullScHandle;
    }
    const ScHandle service = m_real.OpenService(manager, serviceName, access);
    if (service != kNullScHandle) m_services[service] = name;
    return service;
}

bool DryRunPlatform::DeleteService(ScHandle service) {
    auto it = m_services.find(service);
    if (it != m_services.end()) m_deletedServices.insert(Folded(it->second));
    return true;
}

bool DryRunPlatform::CloseServiceHandle(ScHandle handle) {
    if (m_plannedServices.erase(handle)) return true;
    m_services.erase(handle);
    return m_real.CloseServiceHandle(handle);
}

bool DryRunPlatform::QueryServiceConfig(ScHandle service, ServiceConfig* config) {
    return m_real.QueryServiceConfig(service, config);
}

ScHandle DryRunPlatform::CreateService(ScHandle, const char*, const ServiceConfig&, DWORD) {
    const ScHandle planned = static_cast<ScHandle>(m_nextWriteHandle += 4);
    m_plannedServices.insert(planned);
    return planned;
}

// --- Files ---------------------------------------------------------------

DWORD DryRunPlatform::GetWindowsDirectory(char* buffer, DWORD size) {
    return m_real.GetWindowsDirectory(buffer, size);
}

FindHandle DryRunPlatform::FindFirstFile(const char* pattern, FindData* data) {
    Search search{FolderOf(pattern), m_deletedFiles};
    FindData found{};
    const FindHandle handle = m_real.FindFirstFile(pattern, &found);
    if (handle == kInvalidFindHandle) return handle;
    while (Hidden(search, found)) {
        if (!m_real.FindNextFile(handle, &found)) {
            m_real.FindClose(handle);
            m_real.SetLastError(ERROR_FILE_NOT_FOUND);
            return kInvalidFindHandle;
        }
    }
    if (data) *data = found;
    m_searches[handle] = std::move(search);
    return handle;
}

bool DryRunPlatform::FindNextFile(FindHandle search, FindData* data) {
    auto it = m_searches.find(search);
    FindData found{};
    for (;;) {
        if (!m_real.FindNextFile(search, &found)) return false;
        if (it == m_searches.end() || !Hidden(it->second, found)) break;
    }
    if (data) *data = found;
    return true;
}

bool DryRunPlatform::FindClose(FindHandle search) {
    m_searches.erase(search);
    return m_real.FindClose(search);
}

bool DryRunPlatform::GetFileAttributesEx(const char* path, FileAttributeData* data) {
    if (path && Deleted(path)) {
        m_real.SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (path && m_createdFolders.count(Folded(path))) {
        if (data) *data = {FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0, 0};
        return true;
    }
    return m_real.GetFileAttributesEx(path, data);
}

bool DryRunPlatform::SetFileAttributes(const char*, DWORD) {
    return true;
}

FileHandle DryRunPlatform::CreateFile(const char* path, DWORD access, DWORD shareMode, DWORD disposition) {
    if (path && Deleted(path)) {
        m_real.SetLastError(ERROR_FILE_NOT_FOUND);
        return kInvalidFileHandle;
    }
    // Whatever could change the file, its attributes and times included.
    if (access & (GENERIC_WRITE | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES)) {
        const FileHandle handle = static_cast<FileHandle>(m_nextWriteHandle += 4);
        m_writeHandles[handle] = path ? path : "";
        return handle;
    }
    return m_real.CreateFile(path, access, shareMode, disposition);
}

bool DryRunPlatform::SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                                 const FileTime* lastWrite) {
    auto it = m_writeHandles.find(file);
    if (it == m_writeHandles.end()) return m_real.SetFileTime(file, creation, lastAccess, lastWrite);
    return true;
}

bool DryRunPlatform::GetFileSizeEx(FileHandle file, std::uint64_t* size) {
    return m_real.GetFileSizeEx(file, size);
}

bool DryRunPlatform::ReadFile(FileHandle file, void* buffer, DWORD toRead, DWORD* read) {
    return m_real.ReadFile(file, buffer, toRead, read);
}

bool DryRunPlatform::CloseHandle(FileHandle file) {
    if (m_writeHandles.erase(file)) return true;
    return m_real.CloseHandle(file);
}

bool DryRunPlatform::DeleteFile(const char* path) {
    const std::string text = path ? path : "";
    // A file that is already gone cannot be deleted again, as on the real one.
    if (Deleted(text)) {
        m_real.SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    m_deletedFiles.insert(Folded(text));
    return true;
}

bool DryRunPlatform::CopyFile(const char*, const char*, bool) {
    return true;
}

bool DryRunPlatform::WriteFile(FileHandle file, const void* buffer, DWORD toWrite, DWORD* written) {
    if (!m_writeHandles.count(file)) return m_real.WriteFile(file, buffer, toWrite, written);
    if (written) *written = toWrite;
    return true;
}

// --- Journal -------------------------------------------------------------

bool DryRunPlatform::FlushFileBuffers(FileHandle file) {
    if (m_writeHandles.count(file)) return true;
    return m_real.FlushFileBuffers(file);
}

// Hashing reads only: the plan checks copies as the restore would.
HashHandle DryRunPlatform::CreateSha256() {
    return m_real.CreateSha256();
}
bool DryRunPlatform::HashData(HashHandle hash, const void* data, DWORD size) {
    return m_real.HashData(hash, data, size);
}
bool DryRunPlatform::FinishHash(HashHandle hash, std::uint8_t* digest) {
    return m_real.FinishHash(hash, digest);
}
bool DryRunPlatform::DestroyHash(HashHandle hash) {
    return m_real.DestroyHash(hash);
}

// --- Security ---------------------------------------------------------------

// What is looked at is the real workstation's; a file opened for writing,
// as by CreateFile, is only recorded.
FileHandle DryRunPlatform::CreateFileNoFollow(const char* path, DWORD access, DWORD shareMode,
                                              DWORD disposition, DWORD options) {
    if (path && Deleted(path)) {
        m_real.SetLastError(ERROR_FILE_NOT_FOUND);
        return kInvalidFileHandle;
    }
    if (access & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) {
        const FileHandle handle = static_cast<FileHandle>(m_nextWriteHandle += 4);
        m_writeHandles[handle] = path ? path : "";
        return handle;
    }
    return m_real.CreateFileNoFollow(path, access, shareMode, disposition, options);
}

bool DryRunPlatform::GetFileInformationByHandle(FileHandle file, FileIdentity* identity) {
    // A file the plan would write is the plan's own: new, plain, one link.
    if (m_writeHandles.count(file)) {
        if (identity) *identity = {FILE_ATTRIBUTE_NORMAL, 1};
        return true;
    }
    return m_real.GetFileInformationByHandle(file, identity);
}

DWORD DryRunPlatform::GetSecurityInfo(FileHandle file, SecurityInfo* security) {
    if (m_writeHandles.count(file)) {
        if (security) {
            *security = {"S-1-5-32-544", true, true, {}};
            for (const char* sid : {"S-1-5-18", "S-1-5-32-544"}) {
                security->dacl.push_back({AccessEntry::Kind::Allowed,
                                          OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, sid});
            }
        }
        return ERROR_SUCCESS;
    }
    return m_real.GetSecurityInfo(file, security);
}

bool DryRunPlatform::CreateProtectedDirectory(const char* path) {
    const std::string text = path ? path : "";
    m_createdFolders.insert(Folded(text));
    return true;
}

bool DryRunPlatform::GetVolumeInformation(const char* path, VolumeInfo* volume) {
    return m_real.GetVolumeInformation(path, volume);
}

bool DryRunPlatform::GetProcessUserSid(std::string* sid) {
    return m_real.GetProcessUserSid(sid);
}

// --- Heap, user interface and texts --------------------------------------

void* DryRunPlatform::HeapAlloc(std::size_t size) {
    return m_real.HeapAlloc(size);
}
void* DryRunPlatform::HeapReAlloc(void* block, std::size_t size) {
    return m_real.HeapReAlloc(block, size);
}
bool DryRunPlatform::HeapFree(void* block) {
    return m_real.HeapFree(block);
}

int DryRunPlatform::MessageBox(const char* text, const char* caption, DWORD type) {
    return m_real.MessageBox(text, caption, type);
}
int DryRunPlatform::LoadString(unsigned id, char* buffer, int bufferMax) {
    return m_real.LoadString(id, buffer, bufferMax);
}
DWORD DryRunPlatform::GetModuleFileName(char* buffer, DWORD size) {
    return m_real.GetModuleFileName(buffer, size);
}
DWORD DryRunPlatform::FormatSystemMessage(DWORD messageId, DWORD languageId, std::string* text) {
    return m_real.FormatSystemMessage(messageId, languageId, text);
}
DWORD DryRunPlatform::FormatStringMessage(const char* pattern, const char* insert, std::string* text) {
    return m_real.FormatStringMessage(pattern, insert, text);
}
DWORD DryRunPlatform::CharUpperBuff(char* text, DWORD length) {
    return m_real.CharUpperBuff(text, length);
}
bool DryRunPlatform::GetCPInfo(CodePageInfo* info) {
    return m_real.GetCPInfo(info);
}
DWORD DryRunPlatform::GetLastError() {
    return m_real.GetLastError();
}
void DryRunPlatform::SetLastError(DWORD code) {
    m_real.SetLastError(code);
}
bool DryRunPlatform::IsWow64() {
    return m_real.IsWow64();
}
bool DryRunPlatform::WriteStandardStream(StandardStream stream, const char* data, std::size_t length) {
    return m_real.WriteStandardStream(stream, data, length);
}

// --- Driver store, restart and other programs ------------------------------

bool DryRunPlatform::GetDeviceInstallFlags(DevInfoSet set, const DevInfoData* data, DWORD* flags) {
    return m_real.GetDeviceInstallFlags(set, data, flags);
}

OemInfUninstall DryRunPlatform::UninstallOEMInf(const char*, DWORD) {
    // Whether the store knows the name shows only when it is asked for real,
    // so the INF pair stays visible: the plan also lists the file deletions
    // that a store without the package leaves to the pass.
    return OemInfUninstall::Done;
}

StoreLocation DryRunPlatform::GetInfDriverStoreLocation(const char* infName, std::string* location) {
    return m_real.GetInfDriverStoreLocation(infName, location);
}

bool DryRunPlatform::CopyOEMInf(const char*, std::string* publishedName) {
    // The name the store would give is known only once it gives it.
    if (publishedName) publishedName->clear();
    return true;
}

bool DryRunPlatform::MoveFileEx(const char*, const char*, DWORD) {
    return true;
}

void DryRunPlatform::GetCommandLineTail(std::string* tail) {
    m_real.GetCommandLineTail(tail);
}

FileTime DryRunPlatform::GetSystemTimeAsFileTime() {
    return m_real.GetSystemTimeAsFileTime();
}
bool DryRunPlatform::GetComputerName(char* buffer, DWORD* size) {
    return m_real.GetComputerName(buffer, size);
}

// Another program could change anything: nothing is started.
bool DryRunPlatform::RunProcess(const char*, const char*, DWORD*) {
    m_real.SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

// Neither changes the workstation: a mutex goes with the process.
bool DryRunPlatform::CreateRunMutex(const char* name) {
    return m_real.CreateRunMutex(name);
}

bool DryRunPlatform::GetWindowStationVisible(bool* visible) {
    return m_real.GetWindowStationVisible(visible);
}

void DryRunPlatform::GetLocalTime(LocalTime* time) {
    m_real.GetLocalTime(time);
}
bool DryRunPlatform::GetCommonAppDataFolder(std::string* path) {
    return m_real.GetCommonAppDataFolder(path);
}
bool DryRunPlatform::AnsiToUtf16(const std::string& text, std::u16string* wide) {
    return m_real.AnsiToUtf16(text, wide);
}
bool DryRunPlatform::Utf16ToAnsi(const std::u16string& wide, std::string* text) {
    return m_real.Utf16ToAnsi(wide, text);
}

// --- Restore point and event log --------------------------------------------

// A restore point is a change of the workstation: the plan's is made after the
// newest real one, and its end is planned the same way.
bool DryRunPlatform::SetRestorePoint(DWORD eventType, DWORD, std::int64_t sequenceNumber, const char*,
                                     std::int64_t* pointSequenceNumber) {
    if (pointSequenceNumber) {
        *pointSequenceNumber = eventType == BEGIN_SYSTEM_CHANGE ? m_newestRestorePoint + 1 : sequenceNumber;
    }
    return true;
}

bool DryRunPlatform::GetNewestRestorePoint(bool* exists, std::int64_t* sequenceNumber) {
    bool any = false;
    std::int64_t newest = 0;
    if (!m_real.GetNewestRestorePoint(&any, &newest)) return false;
    m_newestRestorePoint = any ? newest : 0;
    if (exists) *exists = any;
    if (sequenceNumber) *sequenceNumber = newest;
    return true;
}

bool DryRunPlatform::ReportEvent(const char*, DWORD, DWORD, const char*) {
    return true;
}

}  // namespace vk
