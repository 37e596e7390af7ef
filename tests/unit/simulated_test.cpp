// Fidelity of the simulated workstation where a deviation from Windows would
// let the logic's tests pass against behaviour the real system does not have.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/simulated/simulated.h"

namespace vk::sim {
namespace {

const std::string kInf = "C:\\Windows\\inf\\";

DevInfoData Element() {
    DevInfoData data{};
    data.cbSize = sizeof(DevInfoData);
    return data;
}

TEST(SimulatedDevices, PropertySizesAndErrorsFollowSetupApi) {
    SimulatedWorkstation ws;
    ws.AddDevice("USB\\VID_C2B5&PID_000A\\1").HardwareIds({"USB\\VID_C2B5&PID_000A", "USB\\X"});
    ws.AddDevice("USB\\VID_C2B5&PID_000B\\2").NotPresent().Class("Ports");
    ws.AddDevice("HID\\VID_C2B5&PID_000A\\3");

    DevInfoSet present = ws.GetClassDevs("usb", DIGCF_PRESENT);
    DevInfoData data = Element();
    ASSERT_TRUE(ws.EnumDeviceInfo(present, 0, &data));
    EXPECT_FALSE(ws.EnumDeviceInfo(present, 1, &data));  // not present, other enumerator
    EXPECT_EQ(ws.GetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(ws.DestroyDeviceInfoList(present));

    DevInfoSet set = ws.GetClassDevs("USB", DIGCF_ALLCLASSES);
    DevInfoData wrongSize = Element();
    wrongSize.cbSize = 4;
    EXPECT_FALSE(ws.EnumDeviceInfo(set, 0, &wrongSize));
    EXPECT_EQ(ws.GetLastError(), 1784u);  // ERROR_INVALID_USER_BUFFER
    DevInfoData first = Element();
    DevInfoData second = Element();
    ASSERT_TRUE(ws.EnumDeviceInfo(set, 0, &first));
    ASSERT_TRUE(ws.EnumDeviceInfo(set, 1, &second));
    EXPECT_NE(first.DevInst, second.DevInst);

    // "USB\VID_C2B5&PID_000A" 0 "USB\X" 0 0 = 21 + 1 + 5 + 1 + 1 bytes.
    const DWORD needed = 29;
    std::uint8_t buffer[64];
    std::memset(buffer, 0x5A, sizeof buffer);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_FALSE(
        ws.GetDeviceRegistryProperty(set, &first, SPDRP_HARDWAREID, &type, buffer, needed - 1, &size));
    EXPECT_EQ(ws.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer[0], 0x5A);

    ws.SetLastError(77);
    ASSERT_TRUE(
        ws.GetDeviceRegistryProperty(set, &first, SPDRP_HARDWAREID, &type, buffer, sizeof buffer, &size));
    EXPECT_EQ(ws.GetLastError(), 77u);  // success leaves the last error alone
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size),
              std::string("USB\\VID_C2B5&PID_000A\0USB\\X\0\0", 29));

    EXPECT_FALSE(
        ws.GetDeviceRegistryProperty(set, &first, SPDRP_SERVICE, &type, buffer, sizeof buffer, &size));
    EXPECT_EQ(ws.GetLastError(), ERROR_INVALID_DATA);

    ASSERT_TRUE(ws.CallClassInstaller(DIF_REMOVE, set, &first));
    EXPECT_FALSE(ws.HasDevice("usb\\vid_c2b5&pid_000a\\1"));
    EXPECT_FALSE(
        ws.GetDeviceRegistryProperty(set, &first, SPDRP_HARDWAREID, &type, buffer, sizeof buffer, &size));
    EXPECT_EQ(ws.GetLastError(), ERROR_NO_SUCH_DEVINST);
    EXPECT_TRUE(ws.DestroyDeviceInfoList(set));
    EXPECT_EQ(ws.OpenHandles(), 0u);
}

TEST(SimulatedRegistry, QueriesReturnStoredBytesAndMoreData) {
    SimulatedWorkstation ws;
    ws.AddClassKey("{4d36e978-e325-11ce-bfc1-08002be10318}\\0003")
        .Value("ProviderName", Sz("VELKOR"))
        .Value("InfPath", Raw(REG_SZ, "oem12.inf"));  // stored without a terminator
    ws.SetLastError(77);

    RegKey key = kNullRegKey;
    ASSERT_EQ(ws.RegOpenKeyEx(
                  RegRoot::LocalMachine,
                  "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}\\0003",
                  0, KEY_ALL_ACCESS, &key),
              0);
    DWORD type = 0;
    std::uint8_t data[16];
    std::memset(data, 0x5A, sizeof data);
    DWORD size = 6;  // "VELKOR" without room for its terminator
    EXPECT_EQ(ws.RegQueryValueEx(key, "providername", &type, data, &size),
              static_cast<LONG>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(data[0], 0x5A);

    size = sizeof data;
    ASSERT_EQ(ws.RegQueryValueEx(key, "InfPath", &type, data, &size), 0);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(data[9], 0x5A);  // no terminator appended
    EXPECT_EQ(ws.RegQueryValueEx(key, "Missing", &type, data, &size),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ws.RegCloseKey(key), 0);
    EXPECT_EQ(ws.RegCloseKey(key), static_cast<LONG>(ERROR_INVALID_HANDLE));

    ws.AddClassKey("locked").RefuseFullAccess();
    EXPECT_EQ(ws.RegOpenKeyEx(RegRoot::LocalMachine, "System\\CurrentControlSet\\Control\\Class\\locked", 0,
                              KEY_ALL_ACCESS, &key),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ws.GetLastError(), 77u);  // the registry reports by its return value only
}

TEST(SimulatedFiles, SharingReadOnlyAndSearchOrder) {
    SimulatedWorkstation ws;
    ws.AddFile(kInf + "oem10.inf", "x");
    ws.AddFile(kInf + "OEM2.INF", "y");
    ws.AddFile(kInf + "oem1.inf", "z").ReadOnly();
    ws.AddFile(kInf + "oem1.pnf");
    ws.AddFile(kInf + "machine.inf");
    ws.AddFile(kInf + "oem7.inf").HeldOpen();

    // An open that shares with nobody keeps every other reader out.
    FileHandle exclusive = ws.CreateFile((kInf + "oem10.inf").c_str(), GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(exclusive, kInvalidFileHandle);
    EXPECT_EQ(ws.CreateFile((kInf + "OEM10.INF").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING),
              kInvalidFileHandle);
    EXPECT_EQ(ws.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(ws.DeleteFile((kInf + "oem10.inf").c_str()));
    EXPECT_EQ(ws.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(ws.CloseHandle(exclusive));
    EXPECT_FALSE(ws.CloseHandle(exclusive));
    EXPECT_EQ(ws.GetLastError(), ERROR_INVALID_HANDLE);

    // Another program's exclusive open refuses our reader and the deletion.
    EXPECT_EQ(ws.CreateFile((kInf + "oem7.inf").c_str(), GENERIC_READ, 0, OPEN_EXISTING), kInvalidFileHandle);
    EXPECT_EQ(ws.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(ws.DeleteFile((kInf + "oem7.inf").c_str()));
    EXPECT_EQ(ws.GetLastError(), ERROR_SHARING_VIOLATION);

    // A reader that admits other readers lets a second reader in, but no writer.
    FileHandle shared =
        ws.CreateFile((kInf + "oem2.inf").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    FileHandle again =
        ws.CreateFile((kInf + "oem2.inf").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(again, kInvalidFileHandle);
    EXPECT_EQ(ws.CreateFile((kInf + "oem2.inf").c_str(), GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING),
              kInvalidFileHandle);
    EXPECT_EQ(ws.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(ws.CloseHandle(shared));
    EXPECT_TRUE(ws.CloseHandle(again));

    // Read-only refuses writers and deletion until the attribute is cleared.
    EXPECT_EQ(ws.CreateFile((kInf + "oem1.inf").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                            OPEN_EXISTING),
              kInvalidFileHandle);
    EXPECT_EQ(ws.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ws.DeleteFile((kInf + "oem1.inf").c_str()));
    EXPECT_EQ(ws.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(ws.HasFile(kInf + "OEM1.INF"));
    ASSERT_TRUE(ws.SetFileAttributes((kInf + "oem1.inf").c_str(), 0));
    EXPECT_TRUE(ws.DeleteFile((kInf + "oem1.inf").c_str()));
    EXPECT_FALSE(ws.HasFile(kInf + "oem1.inf"));
    EXPECT_FALSE(ws.DeleteFile((kInf + "oem1.inf").c_str()));
    EXPECT_EQ(ws.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(ws.DeleteFile("C:\\Windows\\nowhere\\oem1.inf"));
    EXPECT_EQ(ws.GetLastError(), ERROR_PATH_NOT_FOUND);

    // Matches come sorted by upper-cased name, with the names as stored.
    ws.AddFile(kInf + "oem1.inf");
    FindData found{};
    FindHandle search = ws.FindFirstFile((kInf + "oem*.inf").c_str(), &found);
    ASSERT_NE(search, kInvalidFindHandle);
    std::string names = found.fileName;
    while (ws.FindNextFile(search, &found)) names += std::string(" ") + found.fileName;
    EXPECT_EQ(ws.GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_EQ(names, "oem1.inf oem10.inf OEM2.INF oem7.inf");
    EXPECT_TRUE(ws.FindClose(search));

    EXPECT_EQ(ws.FindFirstFile((kInf + "vlk*.inf").c_str(), &found), kInvalidFindHandle);
    EXPECT_EQ(ws.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ws.FindFirstFile("C:\\Windows\\nowhere\\oem*.inf", &found), kInvalidFindHandle);
    EXPECT_EQ(ws.GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ws.OpenHandles(), 0u);
    EXPECT_EQ(ws.Calls(), (std::vector<std::string>{"SetFileAttributes " + kInf + "oem1.inf 0x0",
                                                    "DeleteFile " + kInf + "oem1.inf"}));
}

TEST(SimulatedText, MessagePatternsAndUpperCasing) {
    SimulatedWorkstation ws;
    std::string text;
    EXPECT_EQ(ws.FormatStringMessage("%1% : ", "N", &text), 4u);
    EXPECT_EQ(text, "N : ");
    EXPECT_EQ(ws.FormatStringMessage(" %1% :\n", "N", &text), 6u);
    EXPECT_EQ(text, " N :\r\n");
    EXPECT_EQ(ws.FormatStringMessage("%1", "100%%1", &text), 6u);  // an insert is not expanded again
    EXPECT_EQ(text, "100%%1");
    ws.SetLastError(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ws.FormatStringMessage("%1 %2", "N", &text), 0u);  // only one insert exists
    EXPECT_EQ(ws.GetLastError(), ERROR_SHARING_VIOLATION);       // a text call keeps the pending code

    char western[] =
        "abz\xE0\xF7\xFE\xFF\x9A\x9C\x9E"
        "1";
    ws.CharUpperBuff(western, sizeof western - 1);
    EXPECT_STREQ(western,
                 "ABZ\xC0\xF7\xDE\x9F\x8A\x8C\x8E"
                 "1");

    // Second bytes that look like a-z stay; full-width a-z (0x82 0x81..) rise; a
    // lead byte at the very end is left alone.
    ws.SetCodePage(CodePage::DoubleByte932);
    char japanese[] = "a\x82\x61\x82\x81\x82\x9A\x82\x9B\xE0\x7A\xB1z\x81";
    ws.CharUpperBuff(japanese, sizeof japanese - 1);
    EXPECT_STREQ(japanese, "A\x82\x61\x82\x60\x82\x79\x82\x9B\xE0\x7A\xB1Z\x81");
    CodePageInfo info{};
    ASSERT_TRUE(ws.GetCPInfo(&info));
    EXPECT_EQ(info.maxCharSize, 2u);
    EXPECT_EQ(info.leadByteRanges[1][0], 0xE0);
    EXPECT_EQ(info.leadByteRanges[2][0], 0);
}

TEST(SimulatedFailures, OnCallCountsFromTheFailCall) {
    SimulatedWorkstation ws;
    char buffer[MAX_PATH + 1];
    ASSERT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 10u);  // before the FailCall: not counted
    ws.FailCall("GetWindowsDirectory", ERROR_NOT_ENOUGH_MEMORY, 2);
    EXPECT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 10u);
    EXPECT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 0u);
    EXPECT_EQ(ws.GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 10u);  // once only
    EXPECT_STREQ(buffer, "C:\\Windows");
    EXPECT_EQ(ws.CallCount("GetWindowsDirectory"), 4u);

    ws.FailCall("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ws.HeapAlloc(1), nullptr);
    EXPECT_EQ(ws.HeapAlloc(1), nullptr);
    EXPECT_EQ(ws.LiveHeapBlocks(), 0u);

    ws.FailCall("RegOpenKeyEx", ERROR_ACCESS_DENIED, 1);
    ws.SetLastError(0);
    RegKey key = kNullRegKey;
    EXPECT_EQ(ws.RegOpenKeyEx(RegRoot::LocalMachine, "Anything", 0, KEY_ALL_ACCESS, &key),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ws.GetLastError(), 0u);
}

TEST(SimulatedHeapAndServices, DoubleFreeIsCaughtAndDeletedServiceLeavesOnClose) {
    SimulatedWorkstation ws;
    auto* block = static_cast<char*>(ws.HeapAlloc(2));
    ASSERT_NE(block, nullptr);
    block[0] = 'a';
    block = static_cast<char*>(ws.HeapReAlloc(block, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 'a');
    EXPECT_EQ(block[4095], 0);  // growth is zero-filled
    EXPECT_TRUE(ws.HeapFree(block));
    EXPECT_FALSE(ws.HeapFree(block));
    EXPECT_EQ(ws.GetLastError(), ERROR_INVALID_PARAMETER);

    ws.AddService("vlkusbser");
    ScHandle manager = ws.OpenSCManager(SC_MANAGER_ALL_ACCESS);
    ScHandle service = ws.OpenService(manager, "VLKUSBSER", DELETE);
    ScHandle other = ws.OpenService(manager, "vlkusbser", DELETE);
    ASSERT_NE(service, kNullScHandle);
    ASSERT_NE(other, kNullScHandle);
    ASSERT_TRUE(ws.DeleteService(service));
    EXPECT_FALSE(ws.DeleteService(other));
    EXPECT_EQ(ws.GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_TRUE(ws.CloseServiceHandle(service));
    EXPECT_TRUE(ws.HasService("vlkusbser"));  // still held open
    EXPECT_TRUE(ws.CloseServiceHandle(other));
    EXPECT_FALSE(ws.HasService("vlkusbser"));
    EXPECT_EQ(ws.OpenService(manager, "vlkusbser", DELETE), kNullScHandle);
    EXPECT_EQ(ws.GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_TRUE(ws.CloseServiceHandle(manager));
    EXPECT_EQ(ws.Calls(), std::vector<std::string>{"DeleteService vlkusbser"});

    ws.SetAdministrator(false);
    EXPECT_EQ(ws.OpenSCManager(SC_MANAGER_ALL_ACCESS), kNullScHandle);
    EXPECT_EQ(ws.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ws.OpenHandles(), 0u);
}

}  // namespace
}  // namespace vk::sim
