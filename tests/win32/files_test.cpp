// File system operations against real files in a scratch folder.
#include "win32_test_support.h"

#include <algorithm>
#include <cstring>
#include <vector>

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

    const FileTime access = kNewYear2020 + 3600 * kSecond;
    const FileTime write = kNewYear2020 + 7200 * kSecond;
    {
        unique_vk_file file(m_platform.CreateFile(path.c_str(), GENERIC_WRITE, 0, OPEN_EXISTING));
        ASSERT_TRUE(file) << m_platform.GetLastError();
        ASSERT_TRUE(m_platform.SetFileTime(file.get(), nullptr, &access, &write)) << m_platform.GetLastError();
    }
    FileAttributeData data{};
    ASSERT_TRUE(m_platform.GetFileAttributesEx(path.c_str(), &data));
    EXPECT_EQ(data.lastAccessTime, access);
    EXPECT_EQ(data.lastWriteTime, write);
    EXPECT_EQ(data.size, 5u);
    EXPECT_EQ(data.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY), 0u);

    // A null time leaves that time as it was.
    const FileTime laterWrite = write + 60 * kSecond;
    {
        unique_vk_file file(m_platform.CreateFile(path.c_str(), GENERIC_WRITE, 0, OPEN_EXISTING));
        ASSERT_TRUE(file);
        ASSERT_TRUE(m_platform.SetFileTime(file.get(), nullptr, nullptr, &laterWrite));
    }
    ASSERT_TRUE(m_platform.GetFileAttributesEx(path.c_str(), &data));
    EXPECT_EQ(data.lastAccessTime, access);
    EXPECT_EQ(data.lastWriteTime, laterWrite);

    ASSERT_TRUE(m_platform.SetFileAttributes(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(m_platform.GetFileAttributesEx(path.c_str(), &data));
    EXPECT_EQ(data.attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    // The native call agrees with the converted record.
    EXPECT_EQ(::GetFileAttributesA(path.c_str()), data.attributes);
}

TEST_F(FileSystemTest, CreationTimeRoundTrips) {
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine keeps no settable creation time on a Unix file system";
    }
    const std::string path = Path("created.bin");
    WriteFileNative(path, "");
    const FileTime creation = kNewYear2020 + 42 * kSecond;
    {
        unique_vk_file file(m_platform.CreateFile(path.c_str(), GENERIC_WRITE, 0, OPEN_EXISTING));
        ASSERT_TRUE(file);
        ASSERT_TRUE(m_platform.SetFileTime(file.get(), &creation, nullptr, nullptr));
    }
    FileAttributeData data{};
    ASSERT_TRUE(m_platform.GetFileAttributesEx(path.c_str(), &data));
    EXPECT_EQ(data.creationTime, creation);
}

TEST_F(FileSystemTest, ReadOnlyFileIsDeletedOnlyAfterItsFlagIsCleared) {
    const std::string path = Path("locked.inf");
    WriteFileNative(path, "[Version]");
    ASSERT_TRUE(m_platform.SetFileAttributes(path.c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_FALSE(m_platform.DeleteFile(path.c_str()));
    EXPECT_EQ(m_platform.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(PathExists(path));

    ASSERT_TRUE(m_platform.SetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(m_platform.DeleteFile(path.c_str())) << m_platform.GetLastError();
    FileAttributeData data{};
    EXPECT_FALSE(m_platform.GetFileAttributesEx(path.c_str(), &data));
    EXPECT_EQ(m_platform.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(m_platform.DeleteFile(path.c_str()));
    EXPECT_EQ(m_platform.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileSystemTest, FileHeldWithoutSharingRefusesOpenAndDelete) {
    const std::string path = Path("busy.sys");
    WriteFileNative(path, "driver");
    {
        unique_vk_file held(m_platform.CreateFile(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING));
        ASSERT_TRUE(held) << m_platform.GetLastError();

        const FileHandle second = m_platform.CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        EXPECT_EQ(second, kInvalidFileHandle);
        EXPECT_EQ(m_platform.GetLastError(), ERROR_SHARING_VIOLATION);

        EXPECT_FALSE(m_platform.DeleteFile(path.c_str()));
        EXPECT_EQ(m_platform.GetLastError(), ERROR_SHARING_VIOLATION);
        EXPECT_TRUE(PathExists(path));
    }
    EXPECT_TRUE(m_platform.DeleteFile(path.c_str())) << m_platform.GetLastError();
}

TEST_F(FileSystemTest, OpenSizeAndReadAWholeFile) {
    const std::string content = std::string("[Version]\r\nSignature=\"$Windows NT$\"\r\n") + '\0' + "\xE9tape";
    const std::string path = Path("oem7.inf");
    WriteFileNative(path, content);

    unique_vk_file file(m_platform.CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    ASSERT_TRUE(file);
    std::uint64_t size = 0;
    ASSERT_TRUE(m_platform.GetFileSizeEx(file.get(), &size));
    ASSERT_EQ(size, content.size());

    std::vector<char> buffer(content.size() + 8, '#');
    DWORD read = 0;
    ASSERT_TRUE(m_platform.ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read));
    EXPECT_EQ(read, content.size());
    EXPECT_EQ(std::string(buffer.data(), read), content);

    // At the end a read succeeds with nothing read.
    read = 99;
    EXPECT_TRUE(m_platform.ReadFile(file.get(), buffer.data(), 4, &read));
    EXPECT_EQ(read, 0u);

    EXPECT_EQ(m_platform.CreateFile(Path("absent.inf").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING),
              kInvalidFileHandle);
    EXPECT_EQ(m_platform.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileSystemTest, SearchReportsEachMatchOnceThenNoMoreFiles) {
    for (const char* name : {"oem1.inf", "oem2.inf", "oem10.inf", "OEM3.INF", "oem4.pnf", "other.inf"}) {
        WriteFileNative(Path(name), name);
    }
    ASSERT_TRUE(::SetFileAttributesA(Path("oem2.inf").c_str(), FILE_ATTRIBUTE_READONLY));

    std::vector<std::string> found;
    FindData data{};
    unique_vk_find search(m_platform.FindFirstFile(Path("oem*.inf").c_str(), &data));
    ASSERT_TRUE(search) << m_platform.GetLastError();
    do {
        found.push_back(data.fileName);
        EXPECT_EQ(data.attributes & FILE_ATTRIBUTE_READONLY,
                  found.back() == "oem2.inf" ? FILE_ATTRIBUTE_READONLY : 0u)
            << found.back();
        std::memset(&data, 0x55, sizeof data);
    } while (m_platform.FindNextFile(search.get(), &data));
    EXPECT_EQ(m_platform.GetLastError(), ERROR_NO_MORE_FILES);
    // Once exhausted, the search stays exhausted.
    EXPECT_FALSE(m_platform.FindNextFile(search.get(), &data));
    EXPECT_EQ(m_platform.GetLastError(), ERROR_NO_MORE_FILES);

    // The order is the file system's; the set is fixed (matching ignores case).
    std::string order;
    for (const std::string& name : found) {
        order += name + " ";
    }
    RecordProperty("search_order", order);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"OEM3.INF", "oem1.inf", "oem10.inf", "oem2.inf"})) << order;
}

TEST_F(FileSystemTest, SearchWithoutMatchesFailsWithTheReason) {
    FindData data{};
    EXPECT_EQ(m_platform.FindFirstFile(Path("oem*.inf").c_str(), &data), kInvalidFindHandle);
    EXPECT_EQ(m_platform.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m_platform.FindFirstFile(Path("missing\\oem*.inf").c_str(), &data), kInvalidFindHandle);
    EXPECT_EQ(m_platform.GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(WindowsDirectoryTest, IsAnExistingFolderWithoutTrailingBackslash) {
    Win32Platform platform;
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = platform.GetWindowsDirectory(buffer, sizeof buffer);
    ASSERT_GT(length, 0u);
    ASSERT_EQ(length, std::strlen(buffer));
    EXPECT_NE(buffer[length - 1], '\\');
    const DWORD attributes = ::GetFileAttributesA(buffer);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(PathExists(std::string(buffer) + "\\inf")) << buffer;

    // Too small a buffer: the size needed, terminator included.
    char tiny[2] = {};
    EXPECT_EQ(platform.GetWindowsDirectory(tiny, sizeof tiny), length + 1);
}

}  // namespace
}  // namespace vk::test
