// What Windows' own tools make of a backup: regedit imports the .reg text the
// writer gives for a value of every type, with names to escape and names
// outside the ANSI code page; and a copy keeps a read-only file's attributes
// and all three of its times.
#include <vector>

#include "backup/folder_io.h"
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

// A copy as the backup and the restore make it: flushed and renamed into
// place whole, with the original's attributes and all three of its times,
// never over a file that is there, and never at all when the original is not
// as expected.
TEST_F(BackupTest, ACopyIsWholeAndKeepsAttributesAndEveryTime) {
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

    SavedCopy made;
    ASSERT_EQ(CopyWhole(m_platform, original, copy, nullptr, &made), 0u);
    // SHA-256 of "MZ", as sha256sum gives it.
    EXPECT_EQ(made.sha256, "9b8db510ef42b8ed54a3712636fda55a4f8cfcd5493e20b74ab00cd4f3979f2d");
    EXPECT_EQ(made.size, 2u);
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
    // No temporary file is left beside it.
    EXPECT_FALSE(PathExists(Path("~copy.sys.tmp")));
    // Never over a file that is there.
    EXPECT_EQ(CopyWhole(m_platform, original, copy, nullptr, nullptr),
              static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // A source that is not what its line says is not put in place.
    SavedCopy expected = made;
    expected.sha256[0] = expected.sha256[0] == '0' ? '1' : '0';
    bool sizeDiffers = true;
    EXPECT_EQ(CopyWhole(m_platform, original, Path("checked.sys"), &expected, nullptr, &sizeDiffers),
              static_cast<DWORD>(ERROR_FILE_CORRUPT));
    EXPECT_FALSE(sizeDiffers);
    EXPECT_FALSE(PathExists(Path("checked.sys")));
    EXPECT_FALSE(PathExists(Path("~checked.sys.tmp")));
    ASSERT_EQ(CopyWhole(m_platform, original, Path("checked.sys"), &made, nullptr), 0u);
}

// CNG, loaded from System32 at run time, gives the standard SHA-256 over
// data handed in pieces.
TEST_F(BackupTest, Sha256ComesFromCng) {
    const HashHandle hash = m_platform.CreateSha256();
    ASSERT_NE(hash, kNullHashHandle) << m_platform.GetLastError();
    const std::string message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    ASSERT_TRUE(m_platform.HashData(hash, message.data(), 10));
    ASSERT_TRUE(m_platform.HashData(hash, message.data() + 10, static_cast<DWORD>(message.size() - 10)));
    std::uint8_t digest[kSha256Size] = {};
    ASSERT_TRUE(m_platform.FinishHash(hash, digest));
    EXPECT_TRUE(m_platform.DestroyHash(hash));
    const std::uint8_t expected[kSha256Size] = {
        0x24, 0x8d, 0x6a, 0x61, 0xd2, 0x06, 0x38, 0xb8, 0xe5, 0xc0, 0x26, 0x93, 0x0c, 0x3e, 0x60, 0x39,
        0xa3, 0x3c, 0xe4, 0x59, 0x64, 0xff, 0x21, 0x67, 0xf6, 0xec, 0xed, 0xd4, 0x19, 0xdb, 0x06, 0xc1};
    EXPECT_EQ(std::string(digest, digest + kSha256Size), std::string(expected, expected + kSha256Size));
    std::string hex;
    ASSERT_EQ(Sha256Hex(m_platform, "abc", &hex), 0u);
    EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // bcrypt.dll came from System32: the module loaded is the system's.
    char loaded[MAX_PATH + 1] = {};
    char system[MAX_PATH + 1] = {};
    ASSERT_NE(::GetModuleFileNameA(::GetModuleHandleA("bcrypt.dll"), loaded, MAX_PATH), 0u);
    ASSERT_NE(::GetSystemDirectoryA(system, MAX_PATH), 0u);
    EXPECT_EQ(::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, loaded, -1,
                               (std::string(system) + "\\bcrypt.dll").c_str(), -1),
              CSTR_EQUAL)
        << loaded;
}

// What the manifest's lines rely on: a handle opened to append writes at the
// end, and FlushFileBuffers takes a handle that may write, not one that
// only reads.
TEST_F(BackupTest, AppendedLinesAreFlushed) {
    const std::string path = Path("manifest.txt");
    WriteFileNative(path, "head\r\n");
    {
        unique_vk_file file(
            m_platform.CreateFile(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_EXISTING));
        ASSERT_TRUE(file) << m_platform.GetLastError();
        DWORD written = 0;
        ASSERT_TRUE(m_platform.WriteFile(file.get(), "line\r\n", 6, &written));
        EXPECT_TRUE(m_platform.FlushFileBuffers(file.get())) << m_platform.GetLastError();
    }
    std::string bytes;
    ASSERT_EQ(ReadWholeFile(m_platform, path, 100, &bytes), 0u);
    EXPECT_EQ(bytes, "head\r\nline\r\n");
    unique_vk_file reader(m_platform.CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    ASSERT_TRUE(reader);
    EXPECT_FALSE(m_platform.FlushFileBuffers(reader.get()));
}

}  // namespace
}  // namespace vk::test
