#include "support/rich_workstation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "support/workstation.h"

namespace vk::rich {

using sim::SimulatedWorkstation;
using test::kDrivers;
using test::kInf;

const std::string kNames000A = "[Models]\r\nR=Install,USB\\VID_C2B5&PID_000A\r\n";
const std::string kBackup = "C:\\b";
const std::string kRestoredDriver = kDrivers + "vlkcomusb.sys";

namespace {

sim::Device& AddReader(SimulatedWorkstation& ws, Inventory& all, const std::string& instance,
                       const std::string& slot, const std::string& provider, const std::string& inf,
                       const std::string& service) {
    all.devices.push_back(instance);
    if (provider == "VELKOR") {
        all.makerInfPairs.push_back("file " + kInf + inf);
        all.makerInfPairs.push_back("file " + kInf + inf.substr(0, inf.size() - 3) + "pnf");
        all.makerInfPairs.push_back("package " + inf);
    }
    return test::AddReader(ws, instance, slot, inf, service, provider);
}

sim::File& AddFile(SimulatedWorkstation& ws, Inventory& all, const std::string& path,
                   const std::string& content) {
    all.files.push_back(path);
    return ws.AddFile(path, content);
}

}  // namespace

// Readers sharing an INF (in two letter cases) and a service, a reader with a
// lower filter, one driven by the system's serial driver, one whose INF name
// cannot be used, one of the USB class, one whose removal fails; another
// maker's device; INF files read-only, held open, read by another program,
// without PNF, in UTF-16, or naming only a reader the scan does not look for;
// a loaded driver image and a loaded filter driver, and a store package the
// store refuses to let go of with a code that has no system text.
Inventory DescribeRichWorkstation(sim::SimulatedWorkstation& ws) {
    Inventory all;
    test::SetSystemTexts(ws);
    AddReader(ws, all, "USB\\VID_C2B5&PID_000A\\1", "0001", "VELKOR", "oem12.inf", "vlkusbser");
    AddReader(ws, all, "USB\\VID_C2B5&PID_000B\\2", "0002", "VELKOR", "OEM12.INF", "vlkusbser");
    AddReader(ws, all, "USB\\VID_C2B5&PID_000C\\3", "0003", "VELKOR", "oem20.inf", "vlkcomusb")
        .LowerFilters({"vlkfilter"})
        .NotPresent();
    AddReader(ws, all, "USB\\VID_C2B5&PID_0005\\4", "0004", "Microsoft", "mdmcpq.inf", "usbser");
    AddReader(ws, all, "USB\\VID_C2B5&PID_000E\\5", "0005", "VELKOR", "oem21.inf ", "vlkusbser");
    AddReader(ws, all, "USB\\VID_C2B5&PID_0012\\6", "0006", "VELKOR", "oem30.inf", "");
    AddReader(ws, all, "USB\\VID_C2B5&PID_000A\\7", "0007", "VELKOR", "oem20.inf", "vlkcomusb")
        .RemoveFails(ERROR_ACCESS_DENIED);
    ws.AddDevice("USB\\VID_046D&PID_C52B\\8")
        .HardwareIds({"USB\\VID_046D&PID_C52B"})
        .Class("Mouse")
        .Service("logimouse");
    all.devices.push_back("USB\\VID_046D&PID_C52B\\8");
    ws.AddDevice("USB\\ROOT_HUB20\\9").Class("USB");
    all.devices.push_back("USB\\ROOT_HUB20\\9");
    // Readers whose class, or service, cannot be read.
    ws.AddDevice("USB\\VID_C2B5&PID_000B\\10").HardwareIds({"USB\\VID_C2B5&PID_000B"}).Service("vlkusbser");
    all.devices.push_back("USB\\VID_C2B5&PID_000B\\10");
    ws.AddDevice("USB\\VID_C2B5&PID_000C\\11").HardwareIds({"USB\\VID_C2B5&PID_000C"}).Class("Ports");
    all.devices.push_back("USB\\VID_C2B5&PID_000C\\11");
    // Outside the selection: a product of the maker that is no target, on the
    // readers' INF and on a service of its own that runs vlkcomusb.sys; a
    // reader's HID child, of another enumerator, with the lower filter of a
    // reader as its upper one; the Ports class, whose filter is vlkcomusb.
    // vlkusbser, its driver file and oem30.inf stay the readers' alone, so
    // the pass still deletes a service, a driver file and a store package.
    test::AddReader(ws, "USB\\VID_C2B5&PID_0020\\12", "0012", "oem12.inf", "vlkprod");
    ws.AddDevice("HID\\VID_C2B5&PID_000C&MI_01\\13")
        .HardwareIds({"HID\\VID_C2B5&PID_000C&MI_01"})
        .Class("HIDClass")
        .Service("HidUsb")
        .UpperFilters({"vlkfilter"});
    ws.AddClassKey(test::kPorts).Value("LowerFilters", sim::MultiSz({"vlkcomusb"}));
    all.devices.insert(all.devices.end(), {"USB\\VID_C2B5&PID_0020\\12", "HID\\VID_C2B5&PID_000C&MI_01\\13"});
    all.usedOutside = {"service vlkprod",
                       "service vlkfilter",
                       "service vlkcomusb",
                       "file " + kInf + "oem12.inf",
                       "file " + kInf + "oem12.pnf",
                       "package oem12.inf",
                       "file " + kDrivers + "vlkcomusb.sys",
                       "device USB\\VID_C2B5&PID_0020\\12",
                       "device HID\\VID_C2B5&PID_000C&MI_01\\13"};

    for (const char* service : {"vlkusbser", "vlkcomusb", "vlkfilter", "usbser", "logimouse"}) {
        sim::Service& added = ws.AddService(service);
        all.services.push_back(service);
        if (added.name == "vlkfilter") added.DriverLoaded();
    }
    ws.AddService("vlkprod", "\\SystemRoot\\System32\\drivers\\vlkcomusb.sys");
    all.services.push_back("vlkprod");

    AddFile(ws, all, kInf + "oem12.inf", kNames000A)
        .ReadOnly()
        .Times(132000000001234567, 132000000011234567, 132000000021234567);
    AddFile(ws, all, kInf + "oem12.pnf", "PNF");
    AddFile(ws, all, kInf + "oem20.inf", "[Models]\r\nR=Install,USB\\VID_C2B5&PID_0012\r\n");
    AddFile(ws, all, kInf + "oem20.pnf", "PNF");
    AddFile(ws, all, kInf + "oem21.inf", "; usb\\vid_c2b5&pid_000e\r\n");
    AddFile(ws, all, kInf + "oem21.pnf", "PNF").ReadOnly();
    AddFile(ws, all, kInf + "oem30.inf", "[Models]\r\nR=Install,USB\\VID_C2B5&PID_0012\r\n");
    AddFile(ws, all, kInf + "oem30.pnf", "PNF");
    AddFile(ws, all, kInf + "oem4.inf", kNames000A).HeldOpen();
    AddFile(ws, all, kInf + "oem5.inf", "USB\\VID_C2B5&PID_00051");
    AddFile(ws, all, kInf + "oem6.inf", std::string("U\0S\0B\0", 6));
    AddFile(ws, all, kInf + "oem7.inf", "USB\\VID_046D&PID_C52B");
    AddFile(ws, all, kInf + "oem7.pnf", "PNF");
    AddFile(ws, all, kInf + "oem8.inf", kNames000A).ReadByOtherProgram();
    AddFile(ws, all, kInf + "oem8.pnf", "PNF")
        .ReadOnly()
        .Times(132000000031234567, 132000000041234567, 132000000051234567);
    AddFile(ws, all, kInf + "mdmcpq.inf", "usbser");
    AddFile(ws, all, kInf + "machine.inf", kNames000A);
    // A loaded driver's image: Windows refuses to delete a file mapped into
    // memory, with access denied
    // (learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-deletefilea).
    AddFile(ws, all, kDrivers + "vlkcomusb.sys", "MZ").ReadOnly().DeleteRefused(ERROR_ACCESS_DENIED);
    AddFile(ws, all, kDrivers + "vlkusbser.sys", "MZ").HeldOpen();  // a loaded driver
    AddFile(ws, all, kDrivers + "usbser.sys", "MZ");
    // Three packages with their folders in the store, one the store cannot
    // place, one it refuses to remove (SetupAPI's codes have no system text
    // of their own).
    const std::string store = "C:\\Windows\\System32\\DriverStore\\FileRepository\\";
    ws.AddDriverPackage("oem12.inf", store + "vlkusb.inf_x86_1",
                        {{"vlkusb.inf", kNames000A}, {"vlkusb.cat", "CAT"}, {"vlkusbser.sys", "MZ"}});
    ws.AddDriverPackage("oem20.inf", store + "vlkcom.inf_x86_2", {{"vlkcom.inf", "[Models]"}});
    ws.AddDriverPackage("oem21.inf").UninstallFails(kErrorInfInUseByDevices);
    ws.AddDriverPackage("oem30.inf", store + "vlkhub.inf_x86_3", {{"vlkhub.inf", "[Models] hub"}});
    ws.AddDriverPackage("mdmcpq.inf");
    all.packages = {"oem12.inf", "oem20.inf", "oem21.inf", "oem30.inf", "mdmcpq.inf"};
    // A service with more than its configuration: a subkey, every value type,
    // names the .reg text must escape or convert.
    ws.AddRegistryKey("System\\CurrentControlSet\\Services\\vlkusbser\\Parameters")
        .Value(
            "Port \"COM\\3\" d\xE9"
            "bit",
            sim::Sz("115200 \x80"))
        .Value("Buffers", sim::MultiSz({"in", "out"}))
        .Value("Mask", sim::Raw(REG_BINARY, std::string("\x01\x00\xFF", 3)))
        .Value("Limit", sim::Raw(REG_QWORD, std::string(8, '\x7F')))
        .Value("Path", sim::Sz("%SystemRoot%\\vlk", REG_EXPAND_SZ))
        .Value("", sim::Dword(7));
    return all;
}

const std::map<std::string, DWORD> kFailureCodes = {
    {"GetClassDevs", ERROR_NOT_ENOUGH_MEMORY},
    // Not ERROR_NO_MORE_ITEMS: a list cut short with the code of its end
    // cannot be told from its end, so no walk could know what it missed.
    {"EnumDeviceInfo", ERROR_INVALID_HANDLE},
    {"GetDeviceRegistryProperty", ERROR_NO_SUCH_DEVINST},
    {"GetDeviceInstanceId", ERROR_NO_SUCH_DEVINST},
    {"CallClassInstaller", ERROR_ACCESS_DENIED},
    {"DestroyDeviceInfoList", ERROR_INVALID_HANDLE},
    {"GetDeviceInstallFlags", ERROR_NO_SUCH_DEVINST},
    {"UninstallOEMInf", ERROR_ACCESS_DENIED},
    {"RegOpenKeyEx", ERROR_ACCESS_DENIED},
    {"RegQueryValueEx", ERROR_MORE_DATA},
    {"RegCloseKey", ERROR_INVALID_HANDLE},
    {"RegEnumKeyEx", ERROR_MORE_DATA},
    {"OpenSCManager", ERROR_ACCESS_DENIED},
    {"OpenService", ERROR_SERVICE_DOES_NOT_EXIST},
    {"DeleteService", ERROR_SERVICE_MARKED_FOR_DELETE},
    {"CloseServiceHandle", ERROR_INVALID_HANDLE},
    {"GetWindowsDirectory", ERROR_NOT_ENOUGH_MEMORY},
    {"FindFirstFile", ERROR_ACCESS_DENIED},
    {"FindNextFile", ERROR_ACCESS_DENIED},
    {"FindClose", ERROR_INVALID_HANDLE},
    {"GetFileAttributesEx", ERROR_ACCESS_DENIED},
    {"SetFileAttributes", ERROR_ACCESS_DENIED},
    {"CreateFile", ERROR_SHARING_VIOLATION},
    {"SetFileTime", ERROR_ACCESS_DENIED},
    {"GetFileSizeEx", ERROR_ACCESS_DENIED},
    {"ReadFile", 30},  // ERROR_READ_FAULT
    {"CloseHandle", ERROR_INVALID_HANDLE},
    {"DeleteFile", ERROR_ACCESS_DENIED},
    {"MoveFileEx", ERROR_ACCESS_DENIED},
    {"HeapAlloc", ERROR_NOT_ENOUGH_MEMORY},
    {"HeapReAlloc", ERROR_NOT_ENOUGH_MEMORY},
    {"HeapFree", ERROR_INVALID_PARAMETER},
    {"MessageBox", ERROR_NOT_ENOUGH_MEMORY},
    {"LoadString", 1814},  // ERROR_RESOURCE_NAME_NOT_FOUND
    {"GetModuleFileName", ERROR_INSUFFICIENT_BUFFER},
    {"FormatSystemMessage", 317},  // ERROR_MR_MID_NOT_FOUND
    {"FormatStringMessage", ERROR_NOT_ENOUGH_MEMORY},
    {"CharUpperBuff", ERROR_INVALID_PARAMETER},
    {"GetCPInfo", ERROR_INVALID_PARAMETER},
    {"IsWow64", ERROR_INVALID_HANDLE},
    {"WriteStandardStream", ERROR_INVALID_HANDLE},
    {"GetComputerName", ERROR_BUFFER_OVERFLOW},
    {"RunProcess", ERROR_FILE_NOT_FOUND},
    {"CreateRunMutex", ERROR_NOT_ENOUGH_MEMORY},
    {"GetWindowStationVisible", ERROR_INVALID_HANDLE},
    {"GetInfDriverStoreLocation", ERROR_ACCESS_DENIED},
    {"CopyOEMInf", ERROR_ACCESS_DENIED},
    {"RegEnumValue", ERROR_ACCESS_DENIED},
    {"RegCreateKeyEx", ERROR_ACCESS_DENIED},
    {"RegSetValueEx", ERROR_ACCESS_DENIED},
    {"QueryServiceConfig", ERROR_ACCESS_DENIED},
    {"CreateService", ERROR_ACCESS_DENIED},
    {"CopyFile", ERROR_ACCESS_DENIED},
    {"WriteFile", 112},  // ERROR_DISK_FULL
    {"GetCommonAppDataFolder", ERROR_PATH_NOT_FOUND},
    {"AnsiToUtf16", ERROR_NO_UNICODE_TRANSLATION},
    {"Utf16ToAnsi", ERROR_NO_UNICODE_TRANSLATION},
    {"SetRestorePoint", 1460},              // ERROR_TIMEOUT, waiting for System Restore's mutex
    {"GetNewestRestorePoint", 0x80041010},  // WBEM_E_INVALID_CLASS: no SystemRestore class
    {"ReportEvent", 1502},                  // ERROR_LOG_FILE_FULL
    // --- Journal ---
    {"FlushFileBuffers", 112},  // ERROR_DISK_FULL, as a delayed write finds it
    {"CreateSha256", ERROR_PROC_NOT_FOUND},
    {"HashData", ERROR_INVALID_PARAMETER},
    {"FinishHash", ERROR_INVALID_HANDLE},
    {"DestroyHash", ERROR_INVALID_HANDLE},
    {"CreateFileNoFollow", ERROR_SHARING_VIOLATION},
    {"GetFileInformationByHandle", ERROR_ACCESS_DENIED},
    {"GetSecurityInfo", ERROR_ACCESS_DENIED},
    {"CreateProtectedDirectory", ERROR_ACCESS_DENIED},
    {"GetVolumeInformation", 21},  // ERROR_NOT_READY
    {"GetProcessUserSid", ERROR_ACCESS_DENIED},
};

std::string FileState(const sim::File& file) {
    return file.content + "|" + std::to_string(file.attributes) + "|" + std::to_string(file.creationTime) +
           "|" + std::to_string(file.lastAccessTime) + "|" + std::to_string(file.lastWriteTime);
}

void ExpectGolden(const std::string& name, const std::string& text) {
    const std::string golden = std::string(VK_GOLDEN_DIR) + "/" + name;
    if (std::getenv("VK_UPDATE_GOLDEN")) std::ofstream(golden, std::ios::binary) << text;
    EXPECT_EQ(text, test::ReadWhole(golden));
}

Names GoneItems(const sim::SimulatedWorkstation& ws, const Inventory& all) {
    Names gone;
    for (const std::string& device : all.devices) {
        if (!ws.HasDevice(device)) gone.push_back("device " + device);
    }
    const Names& atRestart = ws.DeletionsAtRestart();
    for (const std::string& file : all.files) {
        if (!ws.HasFile(file) || std::count(atRestart.begin(), atRestart.end(), file) != 0) {
            gone.push_back("file " + file);
        }
    }
    for (const std::string& package : all.packages) {
        if (!ws.HasDriverPackage(package)) gone.push_back("package " + package);
    }
    for (const std::string& service : all.services) {
        if (!ws.HasService(service)) gone.push_back("service " + service);
    }
    return gone;
}

}  // namespace vk::rich
