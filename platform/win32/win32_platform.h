// The real workstation: every IPlatform operation forwarded to its Windows
// (ANSI) entry point. Standard types only; the implementation files include
// the Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vk {

class Win32Platform final : public IPlatform {
public:
    // IDeviceSetup
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

    // IRegistry
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

    // IServiceManager
    ScHandle OpenSCManager(DWORD access) override;
    ScHandle OpenService(ScHandle manager, const char* serviceName, DWORD access) override;
    bool DeleteService(ScHandle service) override;
    bool CloseServiceHandle(ScHandle handle) override;
    bool QueryServiceConfig(ScHandle service, ServiceConfig* config) override;
    ScHandle CreateService(ScHandle manager, const char* serviceName, const ServiceConfig& config,
                           DWORD access) override;

    // IFileSystem
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

    // IHeap
    void* HeapAlloc(std::size_t size) override;
    void* HeapReAlloc(void* block, std::size_t size) override;
    bool HeapFree(void* block) override;

    // IUserAndText
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

    // --- Restore point and event log ---
    bool SetRestorePoint(DWORD eventType, DWORD restorePointType, std::int64_t sequenceNumber,
                         const char* description, std::int64_t* pointSequenceNumber) override;
    bool GetNewestRestorePoint(bool* exists, std::int64_t* sequenceNumber) override;
    bool ReportEvent(const char* source, DWORD type, DWORD eventId, const char* text) override;
};

}  // namespace vk
