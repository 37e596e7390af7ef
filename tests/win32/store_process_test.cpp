// The driver store's refusal, deletion at restart and running another
// program to its end, each through the interface against the real calls.
#include "win32_test_support.h"

#include "platform/win32/system_library.h"

#include <string>
#include <vector>

namespace vk::test {
namespace {

// The folder that ::GetWindowsDirectoryA or ::GetSystemDirectoryA gives.
std::string Folder(UINT(WINAPI* get)(LPSTR, UINT)) {
    char buffer[MAX_PATH + 1] = {};
    const UINT length = get(buffer, sizeof buffer);
    return std::string(buffer, length);
}

// The uninstall of a published INF is seen end to end; its refusal is not.
TEST(DriverStoreTest, AnUnknownNameIsRefusedWithItsReason) {
    Win32Platform platform;
    ASSERT_FALSE(PathExists(Folder(::GetWindowsDirectoryA) + "\\inf\\oem986.inf"));
    platform.SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(platform.UninstallOEMInf("oem986.inf", SUOI_FORCEDELETE), OemInfUninstall::Failed);
    EXPECT_NE(platform.GetLastError(), 0u);
}

using RestartTest = ScratchFolderTest;

// The pending deletion lands in Session Manager's PendingFileRenameOperations:
// the file's NT path followed by an empty new name.
TEST_F(RestartTest, AFileIsScheduledForDeletionAtRestart) {
    const std::string path = Path("pending.sys");
    WriteFileNative(path, "MZ");
    ASSERT_TRUE(m_platform.MoveFileEx(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        << m_platform.GetLastError();
    EXPECT_TRUE(PathExists(path));

    constexpr const char* kSessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
    win32::unique_hkey key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, key.put()),
              ERROR_SUCCESS);
    std::vector<char> value(65536);
    ::DWORD size = static_cast<::DWORD>(value.size());
    ::DWORD type = 0;
    ASSERT_EQ(::RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, &type,
                                 reinterpret_cast<BYTE*>(value.data()), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<::DWORD>(REG_MULTI_SZ));
    const std::string entries(value.data(), size);
    const std::string entry = std::string("\\??\\") + path + '\0' + '\0';
    EXPECT_NE(entries.find(entry), std::string::npos);
    // Nothing of this test is to be deleted at the prefix's next start.
    ::RegDeleteValueA(key.get(), "PendingFileRenameOperations");
}

TEST(ProcessTest, AProgramRunsToItsEndAndGivesItsExitStatus) {
    Win32Platform platform;
    const std::string cmd = Folder(::GetSystemDirectoryA) + "\\cmd.exe";
    DWORD status = 0;
    ASSERT_TRUE(platform.RunProcess(cmd.c_str(), ("\"" + cmd + "\" /c exit 3010").c_str(), &status))
        << platform.GetLastError();
    EXPECT_EQ(status, ERROR_SUCCESS_REBOOT_REQUIRED);

    const std::string missing = Folder(::GetSystemDirectoryA) + "\\vk-no-such-program.exe";
    EXPECT_FALSE(platform.RunProcess(missing.c_str(), ("\"" + missing + "\"").c_str(), &status));
    EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
}

// Only a bare name is looked for, and only in System32; what is missing says why.
TEST(SystemLibraryTest, OnlyBareNamesAndOnlyFromSystem32) {
    for (const char* named :
         {"..\\version.dll", "C:\\vk\\version.dll", "sub/version.dll", "C:version.dll", ""}) {
        ::SetLastError(0);
        EXPECT_EQ(win32::LoadSystemLibrary(named), nullptr) << named;
        EXPECT_EQ(::GetLastError(), static_cast<::DWORD>(ERROR_INVALID_PARAMETER)) << named;
    }
    const HMODULE loaded = win32::LoadSystemLibrary("wintrust.dll");
    ASSERT_NE(loaded, nullptr) << ::GetLastError();
    char path[MAX_PATH + 1] = {};
    ASSERT_NE(::GetModuleFileNameA(loaded, path, MAX_PATH), 0u);
    EXPECT_EQ(::lstrcmpiA(path, (Folder(::GetSystemDirectoryA) + "\\wintrust.dll").c_str()), 0) << path;

    EXPECT_EQ(win32::SystemProcedure("vk-no-such-library.dll", "Anything"), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<::DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(win32::SystemProcedure("kernel32.dll", "VkNoSuchFunction"), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<::DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_NE(win32::SystemProcedure("KERNEL32.DLL", "GetTickCount"), nullptr);
}

}  // namespace
}  // namespace vk::test
