// Registry reads through the interface of values written with the Windows API
// under HKLM\Software\VelkorTest: the terminator of a string stored without
// one, and how a short buffer, a missing value and a missing key are told.
#include "win32_test_support.h"

#include <cstring>
#include <string>

namespace vk::test {
namespace {

constexpr const char* kTestRoot = "Software\\VelkorTest";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_subKey = std::string(kTestRoot) + "\\" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, m_subKey.c_str());
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, m_subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    m_native.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        m_native.reset();
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, m_subKey.c_str());
    }

    void Set(const char* name, ::DWORD type, const void* data, std::size_t size) {
        ASSERT_EQ(::RegSetValueExA(m_native.get(), name, 0, type, static_cast<const BYTE*>(data),
                                   static_cast<::DWORD>(size)),
                  ERROR_SUCCESS)
            << name;
    }

    unique_vk_key Open() {
        RegKey key = kNullRegKey;
        EXPECT_EQ(m_platform.RegOpenKeyEx(RegRoot::LocalMachine, m_subKey.c_str(), 0, KEY_ALL_ACCESS, &key),
                  static_cast<LONG>(ERROR_SUCCESS));
        EXPECT_NE(key, kNullRegKey);
        return unique_vk_key(key);
    }

    Win32Platform m_platform;
    std::string m_subKey;
    win32::unique_hkey m_native;
};

// A REG_SZ stored without its terminator: RegQueryValueExA adds one when the
// buffer has room for it.
TEST_F(RegistryTest, UnterminatedStringGetsATerminatorWhenThereIsRoom) {
    Set("Unterminated", REG_SZ, "ABCDE", 5);
    unique_vk_key key = Open();

    std::uint8_t roomy[16];
    std::memset(roomy, 0xCC, sizeof roomy);
    DWORD type = 0;
    DWORD size = sizeof roomy;
    ASSERT_EQ(m_platform.RegQueryValueEx(key.get(), "Unterminated", &type, roomy, &size),
              static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(roomy), size), std::string("ABCDE", 6));

    // Room for the characters only: Wine asks for the terminator's byte too,
    // otherwise the bare characters must come back, and nothing past them.
    std::uint8_t exact[6];
    std::memset(exact, 0xCC, sizeof exact);
    size = 5;
    const LONG result = m_platform.RegQueryValueEx(key.get(), "Unterminated", &type, exact, &size);
    if (result == static_cast<LONG>(ERROR_MORE_DATA)) {
        EXPECT_EQ(size, 6u);
    } else {
        ASSERT_EQ(result, static_cast<LONG>(ERROR_SUCCESS));
        EXPECT_EQ(size, 5u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(exact), 6), "ABCDE\xCC");
    }
    EXPECT_EQ(exact[5], 0xCC);
}

// The registry convention: every answer is the returned code (with the size
// needed for a short buffer), and the last error stays as it was.
TEST_F(RegistryTest, ShortBufferOrMissingKeyOrValueIsToldByTheReturnedCodeOnly) {
    Set("ProviderName", REG_SZ, "VELKOR", 7);
    unique_vk_key key = Open();
    m_platform.SetLastError(4321);

    std::uint8_t small[3] = {};
    DWORD type = 0;
    DWORD size = sizeof small;
    EXPECT_EQ(m_platform.RegQueryValueEx(key.get(), "ProviderName", &type, small, &size),
              static_cast<LONG>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(type, REG_SZ);

    // Without a buffer the call only measures.
    size = 0;
    EXPECT_EQ(m_platform.RegQueryValueEx(key.get(), "ProviderName", nullptr, nullptr, &size),
              static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(size, 7u);

    std::uint8_t buffer[16];
    size = sizeof buffer;
    EXPECT_EQ(m_platform.RegQueryValueEx(key.get(), "NoSuchValue", nullptr, buffer, &size),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    RegKey missing = static_cast<RegKey>(0x1234);
    EXPECT_EQ(m_platform.RegOpenKeyEx(RegRoot::LocalMachine, (m_subKey + "\\NoSuchKey").c_str(), 0,
                                      KEY_ALL_ACCESS, &missing),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(missing, kNullRegKey);

    EXPECT_EQ(m_platform.GetLastError(), 4321u);
    EXPECT_EQ(m_platform.RegCloseKey(key.release()), static_cast<LONG>(ERROR_SUCCESS));
}

}  // namespace
}  // namespace vk::test
