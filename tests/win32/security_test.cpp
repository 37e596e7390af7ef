// What Wine keeps of the security calls: the program's own folders and files
// are made and read back as trusted (Wine keeps no DACL, only a Unix mode, so
// what others are refused is tested on the simulated workstation), a folder
// opens to be looked at, hard links are counted, and the volume and the
// account are named.
#include "win32_test_support.h"

#include <string>

#include "backup/trust.h"

namespace vk::test {
namespace {

using SecurityTest = ScratchFolderTest;

std::string ReadFileNative(const std::string& path) {
    win32::unique_hfile file(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[256] = {};
    ::DWORD read = 0;
    if (!file || !::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return std::string();
    return std::string(buffer, read);
}

TEST_F(SecurityTest, WhatTheProgramMakesIsTrustedAndLinksAreToldApart) {
    const std::string own = Path("own");
    const std::string file = own + "\\manifest.txt";
    ASSERT_TRUE(m_platform.CreateProtectedDirectory(own.c_str())) << m_platform.GetLastError();
    EXPECT_FALSE(m_platform.CreateProtectedDirectory(own.c_str()));
    EXPECT_EQ(m_platform.GetLastError(), ERROR_ALREADY_EXISTS);

    std::string account;
    ASSERT_TRUE(m_platform.GetProcessUserSid(&account)) << m_platform.GetLastError();
    EXPECT_EQ(account.compare(0, 6, "S-1-5-"), 0) << account;
    VolumeInfo volume;
    ASSERT_TRUE(m_platform.GetVolumeInformation(own.c_str(), &volume)) << m_platform.GetLastError();
    EXPECT_FALSE(volume.fileSystem.empty());

    {
        unique_vk_file folder(m_platform.CreateFileNoFollow(
            own.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, kOpenFolder));
        ASSERT_TRUE(folder) << m_platform.GetLastError();
        FileIdentity identity;
        ASSERT_TRUE(m_platform.GetFileInformationByHandle(folder.get(), &identity));
        EXPECT_NE(identity.attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
        SecurityInfo security;
        m_platform.SetLastError(1234);
        ASSERT_EQ(m_platform.GetSecurityInfo(folder.get(), &security), 0u);
        EXPECT_EQ(m_platform.GetLastError(), 1234u);
        EXPECT_TRUE(security.hasDacl);
        EXPECT_FALSE(security.ownerSid.empty());
        // Without backup semantics a folder is no file to open.
        EXPECT_EQ(m_platform.CreateFileNoFollow(own.c_str(), READ_CONTROL, FILE_SHARE_READ, OPEN_EXISTING, 0),
                  kInvalidFileHandle);
    }
    {
        unique_vk_file written(
            m_platform.CreateFileNoFollow(file.c_str(), GENERIC_WRITE, 0, CREATE_NEW, kProtectNew));
        ASSERT_TRUE(written) << m_platform.GetLastError();
        DWORD count = 0;
        ASSERT_TRUE(m_platform.WriteFile(written.get(), "VelkorUSBCleaner backup 1\r\n", 27, &count));
    }
    CTrust trust(m_platform);
    EXPECT_TRUE(trust.Volume(own).Trusted());
    EXPECT_EQ(trust.Folder(own).why, Distrust::None);
    EXPECT_EQ(trust.File(file).why, Distrust::None);
    // A file that is already there is opened, not replaced, by OPEN_ALWAYS.
    {
        unique_vk_file again(m_platform.CreateFileNoFollow(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                                           OPEN_ALWAYS, kProtectNew));
        ASSERT_TRUE(again) << m_platform.GetLastError();
        EXPECT_EQ(m_platform.GetLastError(), ERROR_ALREADY_EXISTS);
    }
    EXPECT_EQ(ReadFileNative(file), "VelkorUSBCleaner backup 1\r\n");

    const std::string second = own + "\\other-name.txt";
    ASSERT_TRUE(::CreateHardLinkA(second.c_str(), file.c_str(), nullptr)) << ::GetLastError();
    EXPECT_EQ(trust.File(file).why, Distrust::HardLinks);
    ASSERT_TRUE(::DeleteFileA(second.c_str()));
    EXPECT_EQ(trust.File(file).why, Distrust::None);

    // Wine 8 makes no symbolic link (the call succeeds and leaves nothing):
    // where one is made, it is opened itself and refused.
    const std::string link = own + "\\link.txt";
    if (::CreateSymbolicLinkA(link.c_str(), file.c_str(), 0) && PathExists(link)) {
        EXPECT_EQ(trust.File(link).why, Distrust::Link);
        ::DeleteFileA(link.c_str());
    }
    ::DeleteFileA(file.c_str());
    EXPECT_TRUE(::RemoveDirectoryA(own.c_str()));
}

}  // namespace
}  // namespace vk::test
