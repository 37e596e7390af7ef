// The driver store's uninstall, deletion at restart, the device-install
// flags, the program's own command line and running another program, each
// through the interface against the real calls.
#include "win32_test_support.h"

#include <string>
#include <vector>

namespace vk::test {
namespace {

std::string WindowsDirectory() {
    char buffer[MAX_PATH + 1] = {};
    const UINT length = ::GetWindowsDirectoryA(buffer, sizeof buffer);
    return std::string(buffer, length);
}

std::string SystemDirectory() {
    char buffer[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryA(buffer, sizeof buffer);
    return std::string(buffer, length);
}

TEST(DriverStoreTest, UninstallingAPublishedInfRemovesItsFile) {
    Win32Platform platform;
    const std::string inf = WindowsDirectory() + "\\inf\\oem987.inf";
    WriteFileNative(inf, "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    ASSERT_TRUE(PathExists(inf));

    EXPECT_EQ(platform.UninstallOEMInf("oem987.inf", SUOI_FORCEDELETE), OemInfUninstall::Done)
        << platform.GetLastError();
    EXPECT_FALSE(PathExists(inf));
    ::DeleteFileA(inf.c_str());
}

TEST(DriverStoreTest, AnUnknownNameIsRefused) {
    Win32Platform platform;
    ASSERT_FALSE(PathExists(WindowsDirectory() + "\\inf\\oem986.inf"));
    EXPECT_EQ(platform.UninstallOEMInf("oem986.inf", SUOI_FORCEDELETE), OemInfUninstall::Failed);
    EXPECT_NE(platform.GetLastError(), 0u);
}

using RestartTest = ScratchFolderTest;

// The pending deletion lands in Session Manager's PendingFileRenameOperations:
// the file's NT path followed by an empty new name.
TEST_F(RestartTest, AFileIsScheduledForDeletionAtRestart) {
    const std::string path = Path("in-use.sys");
    WriteFileNative(path, "MZ");
    win32::unique_hfile held(
        ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(m_platform.DeleteFile(path.c_str()));
    EXPECT_EQ(m_platform.GetLastError(), ERROR_SHARING_VIOLATION);

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

TEST(InstallFlagsTest, AnInvalidSetIsRefused) {
    Win32Platform platform;
    DevInfoData data{};
    data.cbSize = sizeof data;
    DWORD flags = 0xFFFFFFFF;
    EXPECT_FALSE(platform.GetDeviceInstallFlags(kInvalidDevInfoSet, &data, &flags));
    EXPECT_EQ(platform.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(ProcessTest, TheCommandLineTailIsWhatFollowsTheProgramName) {
    Win32Platform platform;
    std::string tail;
    platform.GetCommandLineTail(&tail);
    // CTest starts each test with its filter as the one argument.
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    EXPECT_EQ(tail.rfind("--gtest_filter=", 0), 0u) << tail;
    EXPECT_NE(tail.find(info->name()), std::string::npos) << tail;
}

TEST(ProcessTest, AProgramRunsToItsEndAndGivesItsExitStatus) {
    Win32Platform platform;
    const std::string cmd = SystemDirectory() + "\\cmd.exe";
    DWORD status = 0;
    ASSERT_TRUE(platform.RunProcess(cmd.c_str(), ("\"" + cmd + "\" /c exit 3010").c_str(), &status))
        << platform.GetLastError();
    EXPECT_EQ(status, ERROR_SUCCESS_REBOOT_REQUIRED);

    const std::string missing = SystemDirectory() + "\\vk-no-such-program.exe";
    EXPECT_FALSE(platform.RunProcess(missing.c_str(), ("\"" + missing + "\"").c_str(), &status));
    EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace vk::test
