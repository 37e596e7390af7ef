// What Windows' own tools make of a backup: regedit imports the .reg text the
// writer gives for a value of every type, with names to escape and names
// outside the ANSI code page; and a copy keeps a read-only file's attributes
// and all three of its times.
#include <vector>

#include "backup/reg_file.h"
#include "win32_test_support.h"

namespace vk::test {
namespace {

using BackupTest = ScratchFolderTest;

const std::u16string kKey = u"SOFTWARE\\VelkorUSBCleanerTest\\RegFile";

std::vector<std::uint8_t> Bytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

TEST_F(BackupTest, RegeditImportsEveryValueTheWriterWrites) {
    const std::vector<std::uint8_t> longBinary(100, 0xA5);
    const std::vector<RegFileKey> keys = {
        {u"HKEY_LOCAL_MACHINE\\" + kKey,
         {{u"", REG_SZ, Bytes(std::u16string(u"d\u00E9faut") + u'\0')},
          {u"Quote \"and\" back\\slash", REG_SZ, Bytes(std::u16string(u"C:\\\"x\"") + u'\0')},
          {u"\u03A9mega \u20AC", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
          {u"Expand", REG_EXPAND_SZ, Bytes(std::u16string(u"%SystemRoot%\\x") + u'\0')},
          {u"Multi", REG_MULTI_SZ, Bytes(std::u16string(u"one\0two\0\0", 9))},
          {u"Binary", REG_BINARY, longBinary},
          {u"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
          {u"None", REG_NONE, {}},
          {u"Lines", REG_SZ, Bytes(std::u16string(u"a\r\nb") + u'\0')},
          {u"Short", REG_DWORD, {1, 2}}}},
        {u"HKEY_LOCAL_MACHINE\\" + kKey + u"\\Sub", {{u"Empty", REG_SZ, {}}}},
    };
    const std::vector<std::uint8_t> bytes = WriteRegFile(keys);
    std::vector<RegFileKey> read;
    ASSERT_TRUE(ReadRegFile(bytes, &read));
    ASSERT_EQ(read.size(), keys.size());

    const std::string file = Path("every-type.reg");
    WriteFileNative(file, std::string(bytes.begin(), bytes.end()));
    char windows[MAX_PATH + 1] = {};
    ASSERT_NE(::GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string regedit = std::string(windows) + "\\regedit.exe";
    DWORD status = 1;
    ASSERT_TRUE(
        m_platform.RunProcess(regedit.c_str(), ("\"" + regedit + "\" /s \"" + file + "\"").c_str(), &status));
    EXPECT_EQ(status, 0u);

    for (std::size_t k = 0; k < keys.size(); ++k) {
        EXPECT_EQ(read[k].path, keys[k].path);
        const std::wstring path(keys[k].path.begin() + 19, keys[k].path.end());
        win32::unique_hkey key;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()), ERROR_SUCCESS);
        ASSERT_EQ(read[k].values.size(), keys[k].values.size());
        for (std::size_t v = 0; v < keys[k].values.size(); ++v) {
            const RegFileValue& value = keys[k].values[v];
            EXPECT_TRUE(read[k].values[v].name == value.name && read[k].values[v].type == value.type &&
                        read[k].values[v].data == value.data);
            const std::wstring name(value.name.begin(), value.name.end());
            std::vector<std::uint8_t> data(512);
            ::DWORD type = 0;
            ::DWORD size = static_cast<::DWORD>(data.size());
            ASSERT_EQ(::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, data.data(), &size),
                      ERROR_SUCCESS)
                << v;
            data.resize(size);
            EXPECT_EQ(type, value.type) << v;
            EXPECT_EQ(data, value.data) << v;
        }
    }
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kKey.begin(), kKey.end()) + L"\\Sub").c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, std::wstring(kKey.begin(), kKey.end()).c_str());
}

TEST_F(BackupTest, ACopyKeepsAttributesAndEveryTime) {
    const std::string original = Path("driver.sys");
    const std::string copy = Path("copy.sys");
    WriteFileNative(original, "MZ");
    {
        win32::unique_hfile file(::CreateFileA(original.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        const FILETIME creation = win32::to_filetime(132223104000000000ull);
        const FILETIME access = win32::to_filetime(132223104360000000ull);
        const FILETIME write = win32::to_filetime(132223104720000000ull);
        ASSERT_TRUE(::SetFileTime(file.get(), &creation, &access, &write));
    }
    ASSERT_TRUE(::SetFileAttributesA(original.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));

    ASSERT_TRUE(m_platform.CopyFile(original.c_str(), copy.c_str(), true)) << m_platform.GetLastError();
    FileAttributeData before{};
    FileAttributeData after{};
    ASSERT_TRUE(m_platform.GetFileAttributesEx(original.c_str(), &before));
    ASSERT_TRUE(m_platform.GetFileAttributesEx(copy.c_str(), &after));
    EXPECT_EQ(after.attributes, before.attributes);
    EXPECT_EQ(after.creationTime, before.creationTime);
    // Reading the original for the copy may touch its access time: the copy
    // keeps the one the original had before.
    EXPECT_EQ(after.lastAccessTime, 132223104360000000ull);
    EXPECT_EQ(after.lastWriteTime, before.lastWriteTime);
    // Never over a file that is there.
    EXPECT_FALSE(m_platform.CopyFile(original.c_str(), copy.c_str(), true));
    EXPECT_EQ(m_platform.GetLastError(), ERROR_FILE_EXISTS);
}

}  // namespace
}  // namespace vk::test
