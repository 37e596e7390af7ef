// File system calls against real files in a scratch folder: the times and
// attributes as they cross the interface, and a file held without sharing.
#include "win32_test_support.h"

namespace vk::test {
namespace {

// 2020-01-01 00:00:00 UTC in 100-ns units since 1601; the file systems Wine
// runs on keep at least whole seconds.
constexpr FileTime kNewYear2020 = 132223104000000000ull;
constexpr FileTime kSecond = 10000000ull;

using FileSystemTest = ScratchFolderTest;

TEST_F(FileSystemTest, AttributesAndTimesRoundTrip) {
    const std::string path = Path("times.bin");
    WriteFileNative(path, "hello");
    const auto setTimes = [&](const FileTime* access, const FileTime* write) {
        unique_vk_file file(m_platform.CreateFile(path.c_str(), GENERIC_WRITE, 0, OPEN_EXISTING));
        ASSERT_TRUE(file) << m_platform.GetLastError();
        ASSERT_TRUE(m_platform.SetFileTime(file.get(), nullptr, access, write)) << m_platform.GetLastError();
    };

    const FileTime access = kNewYear2020 + 3600 * kSecond;
    const FileTime write = kNewYear2020 + 7200 * kSecond;
    setTimes(&access, &write);
    FileAttributeData data{};
    ASSERT_TRUE(m_platform.GetFileAttributesEx(path.c_str(), &data));
    EXPECT_EQ(data.lastAccessTime, access);
    EXPECT_EQ(data.lastWriteTime, write);
    EXPECT_EQ(data.size, 5u);

    ASSERT_TRUE(m_platform.SetFileAttributes(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(m_platform.GetFileAttributesEx(path.c_str(), &data));
    EXPECT_EQ(data.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    // The native call agrees with the converted record.
    EXPECT_EQ(::GetFileAttributesA(path.c_str()), data.attributes);
}

TEST_F(FileSystemTest, FileHeldWithoutSharingRefusesOpenAndDelete) {
    const std::string path = Path("busy.sys");
    WriteFileNative(path, "driver");
    {
        unique_vk_file held(m_platform.CreateFile(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING));
        ASSERT_TRUE(held) << m_platform.GetLastError();

        const FileHandle second =
            m_platform.CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        EXPECT_EQ(second, kInvalidFileHandle);
        EXPECT_EQ(m_platform.GetLastError(), ERROR_SHARING_VIOLATION);

        EXPECT_FALSE(m_platform.DeleteFile(path.c_str()));
        EXPECT_EQ(m_platform.GetLastError(), ERROR_SHARING_VIOLATION);
        EXPECT_TRUE(PathExists(path));
    }
    EXPECT_TRUE(m_platform.DeleteFile(path.c_str())) << m_platform.GetLastError();
}

}  // namespace
}  // namespace vk::test
