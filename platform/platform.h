// The workstation as the cleaning logic sees it: every Windows operation the
// pass needs, with the Windows inputs and results (true/false plus a last
// error, or a returned error code for the registry), in standard types only.
// The Windows program links platform/win32, tests link platform/simulated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/winconst.h"

namespace vk {

// Opaque handles. Each kind has its own type so that one cannot be passed
// where another is expected; the values are the backend's.
enum class DevInfoSet : std::uintptr_t {};
enum class RegKey : std::uintptr_t {};
enum class ScHandle : std::uintptr_t {};
enum class FindHandle : std::uintptr_t {};
enum class FileHandle : std::uintptr_t {};
enum class HashHandle : std::uintptr_t {};

// Windows uses two "empty" values: INVALID_HANDLE_VALUE for sets, searches
// and files, null for registry keys and service handles.
constexpr std::uintptr_t kInvalidHandleValue = ~std::uintptr_t{0};
constexpr DevInfoSet kInvalidDevInfoSet = static_cast<DevInfoSet>(kInvalidHandleValue);
constexpr FindHandle kInvalidFindHandle = static_cast<FindHandle>(kInvalidHandleValue);
constexpr FileHandle kInvalidFileHandle = static_cast<FileHandle>(kInvalidHandleValue);
constexpr RegKey kNullRegKey = static_cast<RegKey>(0);
constexpr ScHandle kNullScHandle = static_cast<ScHandle>(0);
constexpr HashHandle kNullHashHandle = static_cast<HashHandle>(0);

// HKEY_LOCAL_MACHINE, the only root the pass opens.
enum class RegRoot { LocalMachine };

struct Guid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

// Same layout as SP_DEVINFO_DATA: 28 bytes in a 32-bit process, 32 in a
// 64-bit one (Reserved is pointer-sized).
struct DevInfoData {
    DWORD cbSize;
    Guid ClassGuid;
    DWORD DevInst;
    std::uintptr_t Reserved;
};

// FILETIME as one 64-bit count of 100-nanosecond intervals since 1601.
using FileTime = std::uint64_t;

struct FileAttributeData {
    DWORD attributes;
    FileTime creationTime;
    FileTime lastAccessTime;
    FileTime lastWriteTime;
    std::uint64_t size;
};

struct FindData {
    DWORD attributes;
    char fileName[MAX_PATH];
};

// What GetCPInfo tells of the process's ANSI code page.
struct CodePageInfo {
    DWORD codePage;
    DWORD maxCharSize;  // 1 for a single-byte code page, 2 for a double-byte one
    // Up to five inclusive ranges of lead bytes; unused entries are {0, 0}.
    std::uint8_t leadByteRanges[5][2];
};

// What SetupUninstallOEMInfA gave. The entry point is looked up at run time:
// systems without it (or without a driver store) leave the INF files to the
// plain deletions.
enum class OemInfUninstall {
    Done,         // INF, PNF, catalog and store package removed
    Failed,       // the reason in GetLastError
    Unavailable,  // setupapi.dll has no SetupUninstallOEMInfA
};
enum class StandardStream { Output, Error };

// What SetupGetInfDriverStoreLocationA gave. The entry point is looked up at
// run time: systems before Vista, and Wine, have none.
enum class StoreLocation {
    Found,        // the path of the package's INF in the store
    Failed,       // the reason in GetLastError
    Unavailable,  // setupapi.dll has no SetupGetInfDriverStoreLocationA
};

// A service's configuration as QueryServiceConfigA reports it and
// CreateServiceA takes it. Dependencies are written one after the other,
// each followed by a null, as the multi-string Windows uses.
struct ServiceConfig {
    DWORD serviceType = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    DWORD tagId = 0;
    std::string binaryPathName;
    std::string loadOrderGroup;
    std::string dependencies;
    std::string serviceStartName;
    std::string displayName;
};

// SYSTEMTIME's fields that a folder name needs.
struct LocalTime {
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
};

// One access control entry of a DACL, its trustee as a string SID
// ("S-1-5-32-544"). Other is any kind but the plain allowed and denied ones
// (object and callback entries).
struct AccessEntry {
    enum class Kind { Allowed, Denied, Other };
    Kind kind = Kind::Allowed;
    DWORD flags = 0;  // OBJECT_INHERIT_ACE, CONTAINER_INHERIT_ACE, INHERIT_ONLY_ACE, INHERITED_ACE...
    DWORD mask = 0;
    std::string sid;
};

// A file's or a folder's owner and DACL, as GetSecurityInfo gives them.
struct SecurityInfo {
    std::string ownerSid;
    // False for a null DACL, which grants everyone every access.
    bool hasDacl = true;
    // SE_DACL_PROTECTED: nothing is inherited from the folder above.
    bool daclProtected = false;
    std::vector<AccessEntry> dacl;
};

// What GetFileInformationByHandle tells of a file or folder.
struct FileIdentity {
    DWORD attributes = 0;  // FILE_ATTRIBUTE_REPARSE_POINT for a link or junction
    DWORD links = 0;       // hard links to the same file
};

// The volume a path is on, as GetVolumeInformationA gives it.
struct VolumeInfo {
    std::string fileSystem;  // "NTFS", "FAT32", "exFAT"...
    DWORD flags = 0;         // FILE_PERSISTENT_ACLS when it keeps security
};

// CreateFileNoFollow options.
constexpr DWORD kOpenFolder = 0x1;  // FILE_FLAG_BACKUP_SEMANTICS: a folder, to look at
constexpr DWORD kProtectNew = 0x2;  // a file created gets the program's own security

// SetupAPI: BOOL results, the reason in GetLastError.
class IDeviceSetup {
public:
    virtual ~IDeviceSetup() = default;
    // SetupDiGetClassDevsA(no class, enumerator, no window, flags).
    virtual DevInfoSet GetClassDevs(const char* enumerator, DWORD flags) = 0;
    virtual bool EnumDeviceInfo(DevInfoSet set, DWORD index, DevInfoData* data) = 0;
    // SetupDiGetDeviceRegistryPropertyA: ERROR_INVALID_DATA when the property is
    // absent, ERROR_INSUFFICIENT_BUFFER (size out = what is needed) when it does
    // not fit the capacity.
    virtual bool GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData* data, DWORD property,
                                           DWORD* regType, std::uint8_t* buffer, DWORD capacity,
                                           DWORD* requiredSize) = 0;
    // The element is in and out: a removal may change its DevInst (null once
    // the instance is gone), and what is read of the element afterwards is
    // read through the copy as SetupAPI left it.
    virtual bool CallClassInstaller(DWORD installFunction, DevInfoSet set, DevInfoData* data) = 0;
    virtual bool DestroyDeviceInfoList(DevInfoSet set) = 0;
    // SetupDiGetDeviceInstanceIdA: the instance ID (e.g. USB\VID_C2B5&PID_000A\5&2C&0&1);
    // ERROR_INSUFFICIENT_BUFFER (size out = what is needed) when it does not fit.
    virtual bool GetDeviceInstanceId(DevInfoSet set, const DevInfoData* data, char* buffer, DWORD size,
                                     DWORD* requiredSize) = 0;

    // --- Driver store and restart flags ---
    // SetupDiGetDeviceInstallParamsA: the Flags word (DI_NEEDREBOOT,
    // DI_NEEDRESTART), readable after DIF_REMOVE.
    virtual bool GetDeviceInstallFlags(DevInfoSet set, const DevInfoData* data, DWORD* flags) = 0;
    // SetupUninstallOEMInfA(infName, flags, NULL) for a published name such
    // as oem12.inf.
    virtual OemInfUninstall UninstallOEMInf(const char* infName, DWORD flags) = 0;

    // --- Backup and restore ---
    // SetupGetInfDriverStoreLocationA(published INF name, no platform, no
    // locale): the full path of the package's INF in the driver store.
    virtual StoreLocation GetInfDriverStoreLocation(const char* infName, std::string* location) = 0;
    // SetupCopyOEMInfA(source INF, no media root, SPOST_PATH, no copy style):
    // publishes a package again; the file name it was published under.
    virtual bool CopyOEMInf(const char* sourceInf, std::string* publishedName) = 0;
};

// Registry: every call returns its error code itself (0 on success) and
// leaves GetLastError alone.
class IRegistry {
public:
    virtual ~IRegistry() = default;
    virtual LONG RegOpenKeyEx(RegRoot root, const char* subKey, DWORD options, DWORD access, RegKey* key) = 0;
    // RegQueryValueExA: *size is the capacity in and the data size out;
    // ERROR_MORE_DATA when the value does not fit.
    virtual LONG RegQueryValueEx(RegKey key, const char* valueName, DWORD* type, std::uint8_t* data,
                                 DWORD* size) = 0;
    virtual LONG RegCloseKey(RegKey key) = 0;
    // RegEnumKeyExA: the name of subkey `index`. *nameSize is the capacity in
    // characters (terminator included) in and the length written out;
    // ERROR_NO_MORE_ITEMS past the last subkey, ERROR_MORE_DATA when the name
    // does not fit.
    virtual LONG RegEnumKeyEx(RegKey key, DWORD index, char* name, DWORD* nameSize) = 0;
    // RegEnumValueA: value `index`, its name as RegEnumKeyEx gives a subkey's
    // and its type and data as RegQueryValueEx gives them (a null data asks
    // for the size only).
    virtual LONG RegEnumValue(RegKey key, DWORD index, char* name, DWORD* nameSize, DWORD* type,
                              std::uint8_t* data, DWORD* dataSize) = 0;

    // --- Restore ---
    // RegCreateKeyExA(root, subKey, no class, REG_OPTION_NON_VOLATILE,
    // KEY_ALL_ACCESS): *created tells whether the key was new.
    virtual LONG RegCreateKeyEx(RegRoot root, const char* subKey, RegKey* key, bool* created) = 0;
    virtual LONG RegSetValueEx(RegKey key, const char* valueName, DWORD type, const std::uint8_t* data,
                               DWORD size) = 0;
};

// Service control manager: handles or null, BOOL results, GetLastError.
class IServiceManager {
public:
    virtual ~IServiceManager() = default;
    // OpenSCManagerA(local machine, default database, access).
    virtual ScHandle OpenSCManager(DWORD access) = 0;
    virtual ScHandle OpenService(ScHandle manager, const char* serviceName, DWORD access) = 0;
    virtual bool DeleteService(ScHandle service) = 0;
    virtual bool CloseServiceHandle(ScHandle handle) = 0;

    // --- Backup and restore ---
    // QueryServiceConfigA on a handle opened with SERVICE_QUERY_CONFIG.
    virtual bool QueryServiceConfig(ScHandle service, ServiceConfig* config) = 0;
    // CreateServiceA(manager, name, display name, access, and the rest from
    // `config`; no tag asked for, no password).
    virtual ScHandle CreateService(ScHandle manager, const char* serviceName, const ServiceConfig& config,
                                   DWORD access) = 0;
};

// File system, ANSI paths. BOOL results and GetLastError.
class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // GetWindowsDirectoryA: the length written (no trailing backslash), 0 on
    // failure, the needed size when the buffer is too small.
    virtual DWORD GetWindowsDirectory(char* buffer, DWORD size) = 0;
    virtual FindHandle FindFirstFile(const char* pattern, FindData* data) = 0;
    virtual bool FindNextFile(FindHandle search, FindData* data) = 0;
    virtual bool FindClose(FindHandle search) = 0;
    // GetFileAttributesExA(GetFileExInfoStandard).
    virtual bool GetFileAttributesEx(const char* path, FileAttributeData* data) = 0;
    virtual bool SetFileAttributes(const char* path, DWORD attributes) = 0;
    // CreateFileA(path, access, share, no security, disposition, normal, none).
    virtual FileHandle CreateFile(const char* path, DWORD access, DWORD shareMode, DWORD disposition) = 0;
    // SetFileTime; a null pointer leaves that time unchanged.
    virtual bool SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                             const FileTime* lastWrite) = 0;
    virtual bool GetFileSizeEx(FileHandle file, std::uint64_t* size) = 0;
    virtual bool ReadFile(FileHandle file, void* buffer, DWORD toRead, DWORD* read) = 0;
    virtual bool CloseHandle(FileHandle file) = 0;
    virtual bool DeleteFile(const char* path) = 0;

    // --- Restart awareness ---
    // MoveFileExA(path, newPath, flags); a null newPath with
    // MOVEFILE_DELAY_UNTIL_REBOOT deletes the file at the next restart.
    virtual bool MoveFileEx(const char* path, const char* newPath, DWORD flags) = 0;

    // --- Backup and restore ---
    // CopyFileA(existing, new, failIfExists), then the copy's creation and
    // last access times set to the original's: the copy has its attributes
    // and all three of its times.
    virtual bool CopyFile(const char* existingPath, const char* newPath, bool failIfExists) = 0;
    virtual bool WriteFile(FileHandle file, const void* buffer, DWORD toWrite, DWORD* written) = 0;

    // --- Journal ---
    // FlushFileBuffers on a handle opened for writing or appending: what was
    // written through it is on the disk. (MoveFileEx above renames too:
    // MOVEFILE_WRITE_THROUGH returns once the new name is on the disk.)
    virtual bool FlushFileBuffers(FileHandle file) = 0;
    // A SHA-256 over data handed in pieces: CNG's SHA-256 provider
    // (BCryptCreateHash, BCryptHashData, BCryptFinishHash, BCryptDestroyHash).
    // Null, with GetLastError, when it cannot be made (Windows XP has no CNG).
    virtual HashHandle CreateSha256() = 0;
    virtual bool HashData(HashHandle hash, const void* data, DWORD size) = 0;
    // Writes the kSha256Size bytes of the digest; the hash then takes no more data.
    virtual bool FinishHash(HashHandle hash, std::uint8_t* digest) = 0;
    virtual bool DestroyHash(HashHandle hash) = 0;
    // --- Security ---
    // The program's own security is: owner Administrators, SYSTEM and
    // Administrators full control, inherited by what is created inside, and
    // nothing inherited from above (a protected DACL).
    // CreateFileA(path, access, share, security, disposition, flags) with
    // FILE_FLAG_OPEN_REPARSE_POINT: a link or junction is opened itself,
    // never followed. kOpenFolder adds FILE_FLAG_BACKUP_SEMANTICS, to open a
    // folder; with kProtectNew a file it creates gets the program's own
    // security. OPEN_EXISTING, CREATE_NEW, OPEN_ALWAYS and CREATE_ALWAYS.
    virtual FileHandle CreateFileNoFollow(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                                          DWORD options) = 0;
    // GetFileInformationByHandle: attributes and the count of hard links.
    virtual bool GetFileInformationByHandle(FileHandle file, FileIdentity* identity) = 0;
    // GetSecurityInfo(file, SE_FILE_OBJECT, OWNER | DACL): returns its error
    // code (0 on success) as the function does, and leaves GetLastError alone.
    virtual DWORD GetSecurityInfo(FileHandle file, SecurityInfo* security) = 0;
    // CreateDirectoryA with the program's own security; ERROR_ALREADY_EXISTS
    // when it is there.
    virtual bool CreateProtectedDirectory(const char* path) = 0;
    // GetVolumePathNameA then GetVolumeInformationA: the file system of the
    // volume that holds `path` (which need not exist yet).
    virtual bool GetVolumeInformation(const char* path, VolumeInfo* volume) = 0;
    // The account the program runs as (TokenUser of its token), as a string SID.
    virtual bool GetProcessUserSid(std::string* sid) = 0;
};

// The process heap: zero-filled blocks (HEAP_ZERO_MEMORY). Null on failure.
class IHeap {
public:
    virtual ~IHeap() = default;
    virtual void* HeapAlloc(std::size_t size) = 0;
    // Grows or shrinks a block; new bytes are zero. Null on failure, and the
    // old block stays valid.
    virtual void* HeapReAlloc(void* block, std::size_t size) = 0;
    virtual bool HeapFree(void* block) = 0;
};

// User interface, resources, texts of the system and the ANSI code page.
// LoadString, FormatSystemMessage and FormatStringMessage leave the last
// error as they found it, failing or not: a failure's code is read once its
// message has been composed with them.
class IUserAndText {
public:
    virtual ~IUserAndText() = default;
    // MessageBoxA(no owner, text, caption, type): the button pressed.
    virtual int MessageBox(const char* text, const char* caption, DWORD type) = 0;
    // LoadStringA from the program's own module: characters copied, 0 if absent.
    virtual int LoadString(unsigned id, char* buffer, int bufferMax) = 0;
    // GetModuleFileNameA(null): the program's full path, length or 0.
    virtual DWORD GetModuleFileName(char* buffer, DWORD size) = 0;
    // FormatMessageA(FROM_SYSTEM | IGNORE_INSERTS | ALLOCATE_BUFFER, code,
    // language): the system's text for an error code, with its line ends. The
    // length, 0 when the system has none (then *text is left empty). The
    // backend releases its buffer (LocalFree) itself.
    virtual DWORD FormatSystemMessage(DWORD messageId, DWORD languageId, std::string* text) = 0;
    // FormatMessageA(FROM_STRING | ALLOCATE_BUFFER | ARGUMENT_ARRAY, pattern,
    // language 0, one string insert): the expanded pattern. 0 on failure.
    virtual DWORD FormatStringMessage(const char* pattern, const char* insert, std::string* text) = 0;
    // CharUpperBuffA: upper-cases length bytes in place under the ANSI code page.
    virtual DWORD CharUpperBuff(char* text, DWORD length) = 0;
    // GetCPInfo(CP_ACP).
    virtual bool GetCPInfo(CodePageInfo* info) = 0;
    virtual DWORD GetLastError() = 0;
    virtual void SetLastError(DWORD code) = 0;
    // IsWow64Process(current process): true in a 32-bit process on 64-bit Windows.
    virtual bool IsWow64() = 0;
    // Writes bytes to the process's standard output or error: its own handle
    // when that is a file or a pipe, else the parent's console when there is
    // one. False when there is nowhere to write.
    virtual bool WriteStandardStream(StandardStream stream, const char* data, std::size_t length) = 0;

    // --- Process hand-over ---
    // GetCommandLineA without the program's own name: the arguments as typed.
    virtual void GetCommandLineTail(std::string* tail) = 0;
    // CreateProcessA(application, commandLine) with this process's standard
    // handles, and waiting for its end: true with its exit status, false
    // (GetLastError) when it could not be started or waited for.
    virtual bool RunProcess(const char* application, const char* commandLine, DWORD* exitCode) = 0;

    // --- What a report says of the machine ---
    // GetSystemTimeAsFileTime: the current time, UTC, in 100-ns intervals
    // since 1601-01-01. It cannot fail.
    virtual FileTime GetSystemTimeAsFileTime() = 0;
    // GetComputerNameA: the NetBIOS name; *size is the buffer's size in, the
    // name's length out. False (GetLastError) when it cannot be read or does
    // not fit (ERROR_BUFFER_OVERFLOW, *size then the size needed).
    virtual bool GetComputerName(char* buffer, DWORD* size) = 0;
    // --- Where the program runs ---
    // CreateMutexA(no security, not owned, name), the handle kept until the
    // process ends. False with GetLastError when it could not be made, or
    // ERROR_ALREADY_EXISTS when it already existed: another process holds it
    // (ERROR_ACCESS_DENIED too when that process runs as another user).
    virtual bool CreateRunMutex(const char* name) = 0;
    // Whether the process's window station is visible (WSF_VISIBLE from
    // GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS)): a
    // service or a deployment engine running as SYSTEM has one nobody sees,
    // where a prompt would wait forever. False (GetLastError) when it
    // cannot be told.
    virtual bool GetWindowStationVisible(bool* visible) = 0;
    // --- Backup and restore ---
    // GetLocalTime.
    virtual void GetLocalTime(LocalTime* time) = 0;
    // SHGetFolderPathA(CSIDL_COMMON_APPDATA): the ProgramData folder (All
    // Users\Application Data before Vista). False when the system cannot tell.
    virtual bool GetCommonAppDataFolder(std::string* path) = 0;
    // MultiByteToWideChar and WideCharToMultiByte with the ANSI code page;
    // false (GetLastError) when the text does not convert.
    virtual bool AnsiToUtf16(const std::string& text, std::u16string* wide) = 0;
    virtual bool Utf16ToAnsi(const std::u16string& wide, std::string* text) = 0;

    // --- Restore point and event log ---
    // SRSetRestorePointW(event type, restore point type, sequence number,
    // description converted from Windows-1252), from srclient.dll loaded at
    // run time from System32 once COM security is set as System Restore
    // asks. True with the point's sequence number (which may be an earlier
    // point's: Windows makes one a day); false with the reason as the last
    // error: the call's status (ERROR_SERVICE_DISABLED, ERROR_BAD_ENVIRONMENT
    // in safe mode...), ERROR_CALL_NOT_IMPLEMENTED where it failed without
    // one, or why the DLL or its entry point could not be had.
    virtual bool SetRestorePoint(DWORD eventType, DWORD restorePointType, std::int64_t sequenceNumber,
                                 const char* description, std::int64_t* pointSequenceNumber) = 0;
    // The sequence number of the newest restore point (the SystemRestore
    // class of WMI's root\default namespace); *exists false when there is
    // none. False (GetLastError) when the system cannot tell.
    virtual bool GetNewestRestorePoint(bool* exists, std::int64_t* sequenceNumber) = 0;
    // RegisterEventSourceW(local computer, source), ReportEventW(type,
    // category 0, eventId, no user, the one string `text` converted from
    // Windows-1252), DeregisterEventSource. False (GetLastError) when the
    // event could not be written.
    virtual bool ReportEvent(const char* source, DWORD type, DWORD eventId, const char* text) = 0;
};

// The whole workstation.
class IPlatform : public IDeviceSetup,
                  public IRegistry,
                  public IServiceManager,
                  public IFileSystem,
                  public IHeap,
                  public IUserAndText {};

}  // namespace vk
