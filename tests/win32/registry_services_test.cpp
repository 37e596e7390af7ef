// Registry reads through the interface of values written with the Windows API
// under HKLM\Software\VelkorTest, and the service control manager.
#include "win32_test_support.h"

#include <cstring>
#include <vector>

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

// A literal's bytes with its terminating zero.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N);
}

struct StoredValue {
    const char* name;
    DWORD type;
    std::string bytes;  // as written, and as RegQueryValueExA must return them
};

TEST_F(RegistryTest, EachValueTypeReadsBackByteForByte) {
    const std::uint32_t dword = 0x12345678;
    const StoredValue values[] = {
        {"ProviderName", REG_SZ, Bytes("VELKOR")},
        {"French", REG_SZ, Bytes("D\xE9sinstall\xE9")},
        {"InfPath", REG_EXPAND_SZ, Bytes("%SystemRoot%\\inf\\oem12.inf")},
        {"Binary", REG_BINARY, std::string("\x00\x01\xFF\x80", 4)},
        {"Dword", REG_DWORD, std::string(reinterpret_cast<const char*>(&dword), 4)},
        {"LowerFilters", REG_MULTI_SZ, Bytes("vkfilt\0second\0")},
        {"Empty", REG_NONE, std::string()},
    };
    for (const StoredValue& value : values) {
        Set(value.name, value.type, value.bytes.data(), value.bytes.size());
    }
    unique_vk_key key = Open();
    for (const StoredValue& value : values) {
        SCOPED_TRACE(value.name);
        std::uint8_t buffer[260];
        std::memset(buffer, 0xCC, sizeof buffer);
        DWORD type = 0xDEAD;
        DWORD size = sizeof buffer;
        ASSERT_EQ(m_platform.RegQueryValueEx(key.get(), value.name, &type, buffer, &size),
                  static_cast<LONG>(ERROR_SUCCESS));
        EXPECT_EQ(type, value.type);
        ASSERT_EQ(size, value.bytes.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), size), value.bytes);
    }
}

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
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(roomy), size), Bytes("ABCDE"));

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

TEST_F(RegistryTest, TooSmallBufferGivesMoreDataAndTheNeededSize) {
    Set("ProviderName", REG_SZ, "VELKOR", 7);
    unique_vk_key key = Open();

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
}

TEST_F(RegistryTest, MissingKeyOrValueIsReportedByTheReturnedCodeOnly) {
    unique_vk_key key = Open();
    m_platform.SetLastError(4321);

    std::uint8_t buffer[16];
    DWORD size = sizeof buffer;
    EXPECT_EQ(m_platform.RegQueryValueEx(key.get(), "NoSuchValue", nullptr, buffer, &size),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    RegKey missing = static_cast<RegKey>(0x1234);
    EXPECT_EQ(m_platform.RegOpenKeyEx(RegRoot::LocalMachine, (m_subKey + "\\NoSuchKey").c_str(), 0,
                                      KEY_ALL_ACCESS, &missing),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(missing, kNullRegKey);

    // The registry convention: the code is returned, the last error untouched.
    EXPECT_EQ(m_platform.GetLastError(), 4321u);
    EXPECT_EQ(m_platform.RegCloseKey(key.release()), static_cast<LONG>(ERROR_SUCCESS));
}

// The service is created and deleted through one manager handle: Wine 8 does
// not show a service created at run time to a manager opened after it.
TEST(ServiceManagerTest, DeletesAServiceAndReportsAnAbsentOne) {
    Win32Platform platform;
    constexpr const char* kService = "VelkorTestDriver";
    unique_vk_sc manager(platform.OpenSCManager(SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager) << platform.GetLastError();
    {
        // A demand-start kernel driver, as the readers' services are.
        win32::unique_schandle created(::CreateServiceA(
            win32::to_native<SC_HANDLE>(manager.get()), kService, kService, SERVICE_ALL_ACCESS,
            SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "System32\\drivers\\velkortest.sys",
            nullptr, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(created) << ::GetLastError();
    }
    {
        unique_vk_sc service(platform.OpenService(manager.get(), kService, DELETE));
        ASSERT_TRUE(service) << platform.GetLastError();
        EXPECT_TRUE(platform.DeleteService(service.get())) << platform.GetLastError();
    }
    EXPECT_EQ(platform.OpenService(manager.get(), kService, DELETE), kNullScHandle);
    EXPECT_EQ(platform.GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(platform.OpenService(manager.get(), "VelkorNoSuchService", DELETE), kNullScHandle);
    EXPECT_EQ(platform.GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
}

}  // namespace
}  // namespace vk::test
