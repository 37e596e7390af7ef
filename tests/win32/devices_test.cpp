// SetupAPI through the interface, on a reader instance seeded in the
// registry's Enum\USB tree (Wine's SetupAPI enumerates that tree as it is):
// the element and property bytes as they cross it, and the removal.
#include "win32_test_support.h"

#include <cstring>
#include <string>

namespace vk::test {
namespace {

constexpr const char* kDeviceKey = "System\\CurrentControlSet\\Enum\\USB\\VID_C2B5&PID_000A";
constexpr const char* kInstanceKey = "System\\CurrentControlSet\\Enum\\USB\\VID_C2B5&PID_000A\\VKTEST0001";
const char kHardwareIds[] = "USB\\VID_C2B5&PID_000A&REV_0100\0USB\\VID_C2B5&PID_000A\0";
const char kUsbClassGuid[] = "{36FC9E60-C465-11CF-8056-444553540000}";
constexpr Guid kUsbClass = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

class DeviceSetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDeviceKey);
        win32::unique_hkey instance;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstanceKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    instance.put(), nullptr),
                  ERROR_SUCCESS);
        SetString(instance.get(), "HardwareID", REG_MULTI_SZ, kHardwareIds, sizeof kHardwareIds);
        SetString(instance.get(), "ClassGUID", REG_SZ, kUsbClassGuid, sizeof kUsbClassGuid);
        SetString(instance.get(), "Class", REG_SZ, "USB", 4);
        SetString(instance.get(), "Service", REG_SZ, "velkorusb", 10);
    }
    void TearDown() override { ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDeviceKey); }

    static void SetString(HKEY key, const char* name, ::DWORD type, const char* data, std::size_t size) {
        ASSERT_EQ(::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data), static_cast<::DWORD>(size)),
                  ERROR_SUCCESS);
    }

    // Finds the seeded instance in the set; false if it is not there.
    bool FindSeeded(DevInfoSet set, DevInfoData* found) {
        for (DWORD index = 0;; ++index) {
            DevInfoData data{};
            data.cbSize = sizeof data;
            if (!m_platform.EnumDeviceInfo(set, index, &data)) {
                EXPECT_EQ(m_platform.GetLastError(), ERROR_NO_MORE_ITEMS);
                return false;
            }
            std::uint8_t buffer[260] = {};
            DWORD type = 0;
            DWORD size = 0;
            if (m_platform.GetDeviceRegistryProperty(set, &data, SPDRP_HARDWAREID, &type, buffer, sizeof buffer,
                                                     &size) &&
                size == sizeof kHardwareIds && std::memcmp(buffer, kHardwareIds, size) == 0) {
                *found = data;
                return true;
            }
        }
    }

    Win32Platform m_platform;
};

// The pass's whole use of one instance: found by its hardware IDs, its
// element come back through the byte copy, a property read, and the instance
// removed through the class installer.
TEST_F(DeviceSetupTest, SeededReaderIsEnumeratedReadAndRemoved) {
    {
        unique_vk_devinfo set(m_platform.GetClassDevs("USB", DIGCF_ALLCLASSES));
        ASSERT_TRUE(set) << m_platform.GetLastError();
        DevInfoData data{};
        ASSERT_TRUE(FindSeeded(set.get(), &data));

        // The element came back through the byte copy with SetupAPI's own layout.
        EXPECT_EQ(data.cbSize, sizeof(SP_DEVINFO_DATA));
        EXPECT_EQ(std::memcmp(&data.ClassGuid, &kUsbClass, sizeof kUsbClass), 0);

        std::uint8_t buffer[260] = {};
        DWORD type = 0;
        DWORD size = 0;
        ASSERT_TRUE(m_platform.GetDeviceRegistryProperty(set.get(), &data, SPDRP_SERVICE, &type, buffer,
                                                         sizeof buffer, &size));
        EXPECT_EQ(type, REG_SZ);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), size), std::string("velkorusb", 10));

        // Too small a buffer: the size needed.
        size = 0;
        EXPECT_FALSE(m_platform.GetDeviceRegistryProperty(set.get(), &data, SPDRP_HARDWAREID, &type, buffer,
                                                          8, &size));
        EXPECT_EQ(m_platform.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(size, sizeof kHardwareIds);

        DWORD flags = 0xFFFFFFFF;
        ASSERT_TRUE(m_platform.GetDeviceInstallFlags(set.get(), &data, &flags)) << m_platform.GetLastError();
        EXPECT_EQ(flags & (DI_NEEDREBOOT | DI_NEEDRESTART), 0u);
        EXPECT_TRUE(m_platform.CallClassInstaller(DIF_REMOVE, set.get(), &data)) << m_platform.GetLastError();
        // Windows keeps the removed element's install parameters, where the
        // class installer leaves DI_NEEDREBOOT or DI_NEEDRESTART; Wine drops
        // the element, so the pass learns nothing there and goes on.
        if (RunningUnderWine()) {
            EXPECT_FALSE(m_platform.GetDeviceInstallFlags(set.get(), &data, &flags));
            EXPECT_EQ(m_platform.GetLastError(), ERROR_NO_SUCH_DEVINST);
        } else {
            EXPECT_TRUE(m_platform.GetDeviceInstallFlags(set.get(), &data, &flags))
                << m_platform.GetLastError();
        }
        EXPECT_TRUE(m_platform.DestroyDeviceInfoList(set.release()));
    }
    unique_vk_devinfo again(m_platform.GetClassDevs("USB", DIGCF_ALLCLASSES));
    ASSERT_TRUE(again);
    DevInfoData data{};
    EXPECT_FALSE(FindSeeded(again.get(), &data));
}

}  // namespace
}  // namespace vk::test
