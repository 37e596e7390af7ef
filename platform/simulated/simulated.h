// An in-memory workstation for tests, fuzzers and benchmarks: USB device
// instances with their properties, class keys, services, a case-insensitive
// file system, the driver store, the process heap, prompts answered from a
// script, other programs to start, and any operation made to fail on demand.
// Every mutating call is recorded in order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vk::sim {

// Well-known accounts and groups as string SIDs
// (learn.microsoft.com/windows/win32/secauthz/well-known-sids), and two of
// the workstation's own: the administrator the program runs as, elevated,
// and a standard user.
constexpr const char* kSidSystem = "S-1-5-18";
constexpr const char* kSidAdministrators = "S-1-5-32-544";
constexpr const char* kSidUsers = "S-1-5-32-545";
constexpr const char* kSidEveryone = "S-1-1-0";
constexpr const char* kSidAuthenticatedUsers = "S-1-5-11";
constexpr const char* kSidCreatorOwner = "S-1-3-0";
constexpr const char* kSidTrustedInstaller = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr const char* kSidRunningAdministrator = "S-1-5-21-3623811015-3361044348-30300820-1013";
constexpr const char* kSidStandardUser = "S-1-5-21-3623811015-3361044348-30300820-1014";

struct RegValue {
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
};

// Value makers. Sz and MultiSz add the terminators Windows stores; Raw keeps
// the bytes exactly (for unterminated or oversized data).
RegValue Sz(const std::string& text, DWORD type = REG_SZ);
RegValue MultiSz(const std::vector<std::string>& strings);
RegValue Dword(std::uint32_t value);
RegValue Raw(DWORD type, const std::string& bytes);

struct Device {
    std::string instanceId;  // e.g. USB\VID_C2B5&PID_000A\5&1A2B3C&0&1
    bool present = true;
    std::map<DWORD, RegValue> properties;  // by SPDRP_ code
    DWORD removeError = 0;                 // DIF_REMOVE fails with this code when not 0
    DWORD installFlagsAfterRemove = 0;     // e.g. DI_NEEDREBOOT, read back after DIF_REMOVE
    DWORD setInstallFlagsAfterRemove = 0;  // the same, left on the set's install parameters

    Device& HardwareIds(const std::vector<std::string>& ids);
    Device& Class(const std::string& name);
    Device& Driver(const std::string& key);  // e.g. {4d36e978-e325-11ce-bfc1-08002be10318}\0003
    Device& Service(const std::string& name);
    Device& LowerFilters(const std::vector<std::string>& filters);
    Device& UpperFilters(const std::vector<std::string>& filters);
    Device& Property(DWORD property, RegValue value);
    Device& NotPresent();
    Device& RemoveFails(DWORD code);
    Device& RestartFlagsAfterRemove(DWORD flags);
    // A device the removal cannot stop: SetupDiRemoveDevice sets the flags in
    // the device information set's install parameters, not the element's
    // (learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupdiremovedevice).
    Device& RestartFlagsOnSetAfterRemove(DWORD flags);
};

// A driver package in the driver store, known by its published INF name.
// Uninstalling it removes the package and the INF and PNF files of that name
// from the INF folder.
struct DriverPackage {
    std::string publishedName;  // e.g. oem12.inf
    DWORD uninstallError = 0;   // SetupUninstallOEMInfA fails with this code when not 0
    // The package's INF in the store's folder of the package (full path);
    // empty when the store cannot tell where the package is.
    std::string storeInf;

    DriverPackage& UninstallFails(DWORD code);
};

struct RegistryKey {
    std::string path;                        // below HKEY_LOCAL_MACHINE
    std::map<std::string, RegValue> values;  // looked up case-insensitively
    bool refuseFullAccess = false;           // RegOpenKeyEx(KEY_ALL_ACCESS) gives ERROR_ACCESS_DENIED
    bool refuseRead = false;                 // RegOpenKeyEx gives ERROR_ACCESS_DENIED whatever the access

    RegistryKey& Value(const std::string& name, RegValue value);
    RegistryKey& RefuseFullAccess();
};

struct Service {
    std::string name;
    // What QueryServiceConfigA reports; AddService gives a kernel driver
    // started on demand, and writes the same into the service's key.
    ServiceConfig config;
    bool markedForDeletion = false;
    int openHandles = 0;
    bool driverLoaded = false;

    // Its driver is loaded: DeleteService only marks it, and it stays until
    // the restart, since the database entry goes once every handle is closed
    // and the service no longer runs
    // (learn.microsoft.com/windows/win32/api/winsvc/nf-winsvc-deleteservice).
    Service& DriverLoaded();
};

struct File {
    std::string path;  // full path as created (the file system ignores case)
    std::string content;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    FileTime creationTime = 0;
    FileTime lastAccessTime = 0;
    FileTime lastWriteTime = 0;
    // The bytes that are on the disk: what the file held when it was
    // described or last flushed. A power cut loses what was written since.
    std::string durable;
    bool heldOpenByOtherProgram = false;  // opened without sharing elsewhere
    bool readByOtherProgram = false;      // opened elsewhere for reading, sharing everything
    DWORD deleteError = 0;                // DeleteFile fails with this code when not 0
    DWORD links = 1;                      // hard links to its content
    // A symbolic link's target: CreateFile follows it, unless told not to.
    std::string reparseTarget;

    File& Attributes(DWORD value);
    File& ReadOnly();
    File& Times(FileTime creation, FileTime lastAccess, FileTime lastWrite);
    File& HeldOpen();
    // Being read by an antivirus or the search indexer, which share reading,
    // writing and deletion: an open that admits other readers still succeeds.
    File& ReadByOtherProgram();
    File& DeleteRefused(DWORD code);
    // Other names for the same content (CreateHardLink): GetFileInformation
    // ByHandle counts them (learn.microsoft.com/windows/win32/fileio/hard-links-and-junctions).
    File& HardLinks(DWORD count);
    // A symbolic link to `target`: a reparse point, which CreateFile follows
    // unless FILE_FLAG_OPEN_REPARSE_POINT opens the link itself
    // (learn.microsoft.com/windows/win32/fileio/reparse-points).
    File& SymbolicLinkTo(const std::string& target);
};

struct Prompt {
    std::string text;
    std::string caption;
    DWORD type = 0;
    int answer = 0;
    std::size_t liveHeapBlocks = 0;  // at the moment the prompt was shown
    std::size_t openHandles = 0;     // sets, keys, services, searches, files
};

enum class CodePage { Windows1252, DoubleByte932 };

// --- Restore point and event log ---
// A System Restore point, as SRSetRestorePointW keeps it.
struct RestorePoint {
    std::int64_t sequenceNumber = 0;
    std::string description;
    DWORD type = 0;
    FileTime created = 0;
    bool ended = false;  // END_SYSTEM_CHANGE came
};

// What System Restore does on the workstation.
enum class SystemRestore {
    On,
    Off,       // turned off: ERROR_SERVICE_DISABLED
    SafeMode,  // started in safe mode: ERROR_BAD_ENVIRONMENT
    Missing,   // no srclient.dll (Windows Server): ERROR_MOD_NOT_FOUND
};

// An event written to the event log.
struct LoggedEvent {
    std::string source;
    DWORD type = 0;
    DWORD eventId = 0;
    std::string text;  // Windows-1252, as the program gave it
};

class SimulatedWorkstation : public IPlatform {
public:
    // A workstation with the Windows directory C:\Windows and its folders
    // inf, system32\drivers and Temp, Windows-1252, run as administrator.
    SimulatedWorkstation();
    ~SimulatedWorkstation() override;

    // --- Describing the workstation -------------------------------------
    Device& AddDevice(const std::string& instanceId);
    // A key under HKLM\System\CurrentControlSet\Control\Class\<driverKey>.
    RegistryKey& AddClassKey(const std::string& driverKey);
    RegistryKey& AddRegistryKey(const std::string& pathBelowHklm);
    // A service and its key under System\CurrentControlSet\Services, with
    // an ImagePath value when one is given; the key goes with the service.
    Service& AddService(const std::string& name, const std::string& imagePath = std::string());
    File& AddFile(const std::string& fullPath, const std::string& content = std::string());
    void AddFolder(const std::string& fullPath);
    void SetWindowsDirectory(const std::string& path);  // creates inf, system32\drivers and Temp too
    // On code page 932 the file system walks paths by characters as well.
    void SetCodePage(CodePage codePage);
    void SetAdministrator(bool isAdministrator);  // false: OpenSCManager gives ERROR_ACCESS_DENIED
    void SetWow64(bool wow64);
    void SetModulePath(const std::string& path);
    // System texts for error codes; common codes have English texts ending in
    // "\r\n" by default. An empty text removes the code's text.
    void SetSystemMessage(DWORD code, const std::string& text);
    // Prompt answers, in order; once used up every prompt answers IDOK.
    void AnswerPrompts(const std::vector<int>& answers);
    // Whether the process has a standard output and error to write to (a
    // console, file or pipe); true by default.
    void SetStandardStreams(bool available);
    // Another instance of the program holds its run mutex.
    void SetOtherInstanceRunning(bool running);
    // false: the process's window station is not visible (a service, or a
    // deployment engine running as SYSTEM), so no prompt would be seen.
    void SetWindowStationVisible(bool visible);

    // --- Security -------------------------------------------------------------
    // Who owns a file or folder and its DACL, to change. One not described
    // has what it inherited from the folder above when it was made, by the
    // rules of "ACE Inheritance Rules"
    // (learn.microsoft.com/windows/win32/secauthz/ace-inheritance-rules),
    // owned by Administrators (the elevated program, or Windows itself). The
    // volume's root, the Windows directory, its Temp folder and ProgramData
    // have Windows 10's own: standard users may create folders in C:\ and
    // in ProgramData, and files in the Temp folder, and own what they create.
    SecurityInfo& Security(const std::string& fullPath);
    // What GetSecurityInfo reports for it now.
    SecurityInfo SecurityOf(const std::string& fullPath) const;
    // The file or folder was made by the account `sid`: it owns it, and
    // what its folder gives CREATOR OWNER is that account's.
    void SetCreator(const std::string& fullPath, const std::string& sid);
    // The folder is a junction (a reparse point).
    void MakeJunction(const std::string& folder);
    // The volume of a drive ("E:"); every volume is NTFS unless told.
    void SetVolume(const std::string& drive, const VolumeInfo& volume);
    // The account the program runs as (kSidRunningAdministrator by default).
    void SetProcessUserSid(const std::string& sid);

    // --- Driver store, restart and other programs ---------------------------
    DriverPackage& AddDriverPackage(const std::string& publishedName);
    // The same, with the package's folder in the store holding `files` (name,
    // content), the first of them its INF.
    DriverPackage& AddDriverPackage(const std::string& publishedName, const std::string& storeFolder,
                                    const std::vector<std::pair<std::string, std::string>>& files);
    // false: setupapi.dll has no SetupUninstallOEMInfA (Windows XP before SP2).
    void SetStoreUninstallAvailable(bool available);
    // false: setupapi.dll has no SetupGetInfDriverStoreLocationA (before
    // Vista, and Wine).
    void SetStoreLocationAvailable(bool available);
    // What GetLocalTime gives.
    void SetLocalTime(const LocalTime& time);
    // An executable at `fullPath` that, when run, ends with `exitCode`.
    File& AddProgram(const std::string& fullPath, DWORD exitCode);
    // What GetCommandLineTail gives: the arguments the program was started with.
    void SetCommandLineTail(const std::string& tail);
    // The computer's name ("POSTE-042" by default) and its clock: each reading
    // gives 2026-12-08 08:30:00 UTC (by default) plus one second per earlier
    // reading, so that reports written in tests stay the same.
    void SetComputerName(const std::string& name);
    void SetClock(FileTime firstReading);

    // Makes an operation fail with `code` (set as last error, or returned for
    // the registry). `operation` is the interface method's name, e.g.
    // "GetWindowsDirectory", "FindNextFile", "HeapReAlloc". `onCall` counts the
    // operation's calls from 1 from now on; 0 fails every call from now on.
    void FailCall(const std::string& operation, DWORD code, int onCall = 0);
    // The same from call `fromCall` (counted from 1 from now on) to the last.
    void FailCallsFrom(const std::string& operation, DWORD code, int fromCall);

    // --- A run cut short ----------------------------------------------------
    // The process dies after its `calls`-th platform call from now on, as
    // after TerminateProcess: every later call changes nothing and fails
    // (ERROR_PROCESS_ABORTED), and what it had changed until then stays.
    // With `powerCut` the machine loses its power at that instant, and with
    // it what the file system had not yet put on the disk (see
    // StartNewProcess).
    void KillAfterCall(std::size_t calls, bool powerCut = false);
    // Whether the process has died since KillAfterCall.
    bool Killed() const;
    // A fresh process on what is left: the dead one's handles are closed (a
    // service marked for deletion goes with its last one), its heap is
    // released, and calls work again. After a power cut, first:
    // - file data written but not flushed (FlushFileBuffers) is lost: the
    //   file keeps its length and the bytes never flushed read as zeros, as
    //   NTFS leaves a file whose size was logged and whose data was not;
    //   CopyFile flushes nothing (learn.microsoft.com/windows/win32/fileio/file-caching:
    //   the cache writes data to the disk lazily, FlushFileBuffers forces it,
    //   learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-flushfilebuffers);
    // - a move without MOVEFILE_WRITE_THROUGH is undone: only that flag
    //   promises the new name is on the disk when MoveFileEx returns
    //   (learn.microsoft.com/windows/win32/api/winbase/nf-winbase-movefileexa);
    // - names, folders, deletions, attributes and times stay: NTFS logs its
    //   metadata changes in order and replays them
    //   (learn.microsoft.com/windows-server/storage/file-server/ntfs-overview),
    //   so CreateProtectedDirectory, CreateFile's new name and DeleteFile are kept.
    // The registry, the service database and the driver store keep every
    // change whose call returned.
    void StartNewProcess();

    // --- Reading the end state back --------------------------------------
    bool HasDevice(const std::string& instanceId) const;
    bool HasFile(const std::string& fullPath) const;
    const File* FindFile(const std::string& fullPath) const;  // null when absent
    bool HasService(const std::string& name) const;           // false once deleted and closed
    const Service* FindService(const std::string& name) const;
    // Mutating calls in order, e.g. "DIF_REMOVE USB\VID_C2B5&PID_000A\1",
    // "SetFileAttributes C:\Windows\inf\oem1.inf 0x20",
    // "SetFileTime C:\Windows\inf\oem1.inf", "DeleteFile C:\Windows\inf\oem1.inf",
    // "DeleteService vlkusbser".
    const std::vector<std::string>& Calls() const;
    // Every call made, mutating or not, as "Name arg" (for order checks).
    const std::vector<std::string>& AllCalls() const;
    const std::vector<Prompt>& Prompts() const;
    // Everything written to standard output and standard error.
    const std::string& StandardOutput() const;
    const std::string& StandardError() const;
    std::size_t LiveHeapBlocks() const;
    // Bytes in live heap blocks at their highest since the last reset (or
    // since the start); ResetHeapPeak starts again from what is live now.
    std::size_t PeakHeapBytes() const;
    void ResetHeapPeak();
    std::size_t OpenHandles() const;  // all kinds together
    std::size_t CallCount(const std::string& operation) const;
    // Empties the call records and counts, so that a long run (a benchmark)
    // does not grow them without end.
    void ForgetCalls();
    bool HasDriverPackage(const std::string& publishedName) const;
    // Published names of the packages in the store, and a key's values and subkeys.
    std::vector<std::string> DriverPackages() const;
    const DriverPackage* FindDriverPackage(const std::string& publishedName) const;
    const RegistryKey* FindRegistryKey(const std::string& pathBelowHklm) const;
    // Files that MoveFileEx(path, null, MOVEFILE_DELAY_UNTIL_REBOOT) scheduled.
    const std::vector<std::string>& DeletionsAtRestart() const;
    // Everything there is, to compare two states of the machine: the paths
    // of the files, of the registry keys, and the services' names.
    std::vector<std::string> FilePaths() const;
    std::vector<std::string> RegistryKeyPaths() const;
    std::vector<std::string> ServiceNames() const;

    // --- Restore point and event log ---
    void SetSystemRestore(SystemRestore state);
    // A restore point made `created` (a FileTime of the workstation's clock).
    RestorePoint& AddRestorePoint(std::int64_t sequenceNumber, FileTime created,
                                  const std::string& description = "Windows Update");
    const std::vector<RestorePoint>& RestorePoints() const;
    const std::vector<LoggedEvent>& Events() const;

    // --- IPlatform ---------------------------------------------------------
    DevInfoSet GetClassDevs(const char* enumerator, DWORD flags) override;
    bool EnumDeviceInfo(DevInfoSet set, DWORD index, DevInfoData* data) override;
    bool GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData* data, DWORD property, DWORD* regType,
                                   std::uint8_t* buffer, DWORD capacity, DWORD* requiredSize) override;
    bool CallClassInstaller(DWORD installFunction, DevInfoSet set, DevInfoData* data) override;
    bool DestroyDeviceInfoList(DevInfoSet set) override;
    bool GetDeviceInstallFlags(DevInfoSet set, const DevInfoData* data, DWORD* flags) override;
    OemInfUninstall UninstallOEMInf(const char* infName, DWORD flags) override;
    StoreLocation GetInfDriverStoreLocation(const char* infName, std::string* location) override;
    bool CopyOEMInf(const char* sourceInf, std::string* publishedName) override;
    bool GetDeviceInstanceId(DevInfoSet set, const DevInfoData* data, char* buffer, DWORD size,
                             DWORD* requiredSize) override;

    LONG RegOpenKeyEx(RegRoot root, const char* subKey, DWORD options, DWORD access, RegKey* key) override;
    LONG RegQueryValueEx(RegKey key, const char* valueName, DWORD* type, std::uint8_t* data,
                         DWORD* size) override;
    LONG RegCloseKey(RegKey key) override;
    LONG RegEnumKeyEx(RegKey key, DWORD index, char* name, DWORD* nameSize) override;
    LONG RegEnumValue(RegKey key, DWORD index, char* name, DWORD* nameSize, DWORD* type, std::uint8_t* data,
                      DWORD* dataSize) override;
    LONG RegCreateKeyEx(RegRoot root, const char* subKey, RegKey* key, bool* created) override;
    LONG RegSetValueEx(RegKey key, const char* valueName, DWORD type, const std::uint8_t* data,
                       DWORD size) override;

    ScHandle OpenSCManager(DWORD access) override;
    ScHandle OpenService(ScHandle manager, const char* serviceName, DWORD access) override;
    bool DeleteService(ScHandle service) override;
    bool CloseServiceHandle(ScHandle handle) override;
    bool QueryServiceConfig(ScHandle service, ServiceConfig* config) override;
    ScHandle CreateService(ScHandle manager, const char* serviceName, const ServiceConfig& config,
                           DWORD access) override;

    DWORD GetWindowsDirectory(char* buffer, DWORD size) override;
    FindHandle FindFirstFile(const char* pattern, FindData* data) override;
    bool FindNextFile(FindHandle search, FindData* data) override;
    bool FindClose(FindHandle search) override;
    bool GetFileAttributesEx(const char* path, FileAttributeData* data) override;
    bool SetFileAttributes(const char* path, DWORD attributes) override;
    FileHandle CreateFile(const char* path, DWORD access, DWORD shareMode, DWORD disposition) override;
    bool SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                     const FileTime* lastWrite) override;
    bool GetFileSizeEx(FileHandle file, std::uint64_t* size) override;
    bool ReadFile(FileHandle file, void* buffer, DWORD toRead, DWORD* read) override;
    bool CloseHandle(FileHandle file) override;
    bool DeleteFile(const char* path) override;
    bool MoveFileEx(const char* path, const char* newPath, DWORD flags) override;
    bool CopyFile(const char* existingPath, const char* newPath, bool failIfExists) override;
    bool WriteFile(FileHandle file, const void* buffer, DWORD toWrite, DWORD* written) override;
    // --- Journal ---
    bool FlushFileBuffers(FileHandle file) override;
    HashHandle CreateSha256() override;
    bool HashData(HashHandle hash, const void* data, DWORD size) override;
    bool FinishHash(HashHandle hash, std::uint8_t* digest) override;
    bool DestroyHash(HashHandle hash) override;
    FileHandle CreateFileNoFollow(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                                  DWORD options) override;
    bool GetFileInformationByHandle(FileHandle file, FileIdentity* identity) override;
    DWORD GetSecurityInfo(FileHandle file, SecurityInfo* security) override;
    bool CreateProtectedDirectory(const char* path) override;
    bool GetVolumeInformation(const char* path, VolumeInfo* volume) override;
    bool GetProcessUserSid(std::string* sid) override;

    void* HeapAlloc(std::size_t size) override;
    void* HeapReAlloc(void* block, std::size_t size) override;
    bool HeapFree(void* block) override;

    int MessageBox(const char* text, const char* caption, DWORD type) override;
    int LoadString(unsigned id, char* buffer, int bufferMax) override;
    DWORD GetModuleFileName(char* buffer, DWORD size) override;
    DWORD FormatSystemMessage(DWORD messageId, DWORD languageId, std::string* text) override;
    DWORD FormatStringMessage(const char* pattern, const char* insert, std::string* text) override;
    DWORD CharUpperBuff(char* text, DWORD length) override;
    bool GetCPInfo(CodePageInfo* info) override;
    DWORD GetLastError() override;
    void SetLastError(DWORD code) override;
    bool IsWow64() override;
    void GetCommandLineTail(std::string* tail) override;
    bool RunProcess(const char* application, const char* commandLine, DWORD* exitCode) override;
    FileTime GetSystemTimeAsFileTime() override;
    bool GetComputerName(char* buffer, DWORD* size) override;
    bool WriteStandardStream(StandardStream stream, const char* data, std::size_t length) override;
    bool CreateRunMutex(const char* name) override;
    bool GetWindowStationVisible(bool* visible) override;
    void GetLocalTime(LocalTime* time) override;
    bool GetCommonAppDataFolder(std::string* path) override;
    bool AnsiToUtf16(const std::string& text, std::u16string* wide) override;
    bool Utf16ToAnsi(const std::u16string& wide, std::string* text) override;
    bool SetRestorePoint(DWORD eventType, DWORD restorePointType, std::int64_t sequenceNumber,
                         const char* description, std::int64_t* pointSequenceNumber) override;
    bool GetNewestRestorePoint(bool* exists, std::int64_t* sequenceNumber) override;
    bool ReportEvent(const char* source, DWORD type, DWORD eventId, const char* text) override;

private:
    void WriteServiceKey(const Service& service);
    bool MoveFileTo(const std::string& from, const std::string& to, DWORD flags);

    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace vk::sim
