// The whole program over a rich workstation, once for every platform call of
// a fault-free pass with that call failing, then with that call and every
// later call of the same operation failing. Whatever fails, the program must
// not crash, must end with status 0, must show the second prompt with
// everything released, and must delete nothing that the fault-free pass keeps.
// The same workstation's fault-free runs, and what each first failure says,
// are compared with their transcripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/cleaner_app.h"
#include "backup/reg_file.h"
#include "backup/registry_tree.h"
#include "backup/service_config.h"
#include "platform/simulated/simulated.h"
#include "support/workstation.h"

namespace vk {
namespace {

using sim::SimulatedWorkstation;
using Names = std::vector<std::string>;

using test::kDrivers;
using test::kInf;
constexpr DWORD kErrorInfInUseByDevices = 0xE000023D;
const std::string kNames000A = "[Models]\r\nR=Install,USB\\VID_C2B5&PID_000A\r\n";

// What the workstation holds, to tell afterwards what is gone.
struct Inventory {
    Names devices;
    Names files;
    Names services;
    Names packages;
    Names makerInfPairs;  // the INF files, twins and store packages that readers' keys name
    Names usedOutside;    // what devices outside the selection, or a class, use: never deleted
};

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

// Readers sharing an INF (in two letter cases) and a service, a reader with a
// lower filter, one driven by the system's serial driver, one whose INF name
// cannot be used, one of the USB class, one whose removal fails; another
// maker's device; INF files read-only, held open, read by another program,
// without PNF, in UTF-16, or naming only a reader the scan does not look for;
// a loaded driver image and a loaded filter driver, and a store package the
// store refuses to let go of with a code that has no system text.
Inventory DescribeRichWorkstation(SimulatedWorkstation& ws) {
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
    AddFile(ws, all, kInf + "oem8.pnf", "PNF");
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

// A plausible failure of each operation. An operation missing here is a
// problem of the sweep itself, so a new one cannot go untried.
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
    {"CreateDirectory", ERROR_ACCESS_DENIED},
    {"WriteFile", 112},  // ERROR_DISK_FULL
    {"GetCommonAppDataFolder", ERROR_PATH_NOT_FOUND},
    {"AnsiToUtf16", ERROR_NO_UNICODE_TRANSLATION},
    {"Utf16ToAnsi", ERROR_NO_UNICODE_TRANSLATION},
};

// Faults that hide a reader from the register of INF names (a device list cut
// short, a driver key, value or name copy that cannot be read): its INF pair
// is then unknown to be in use, as on a workstation where that reader's key is
// unreadable, and may go with its other user. Nothing else may go.
const std::set<std::string> kHideRegisterEntries = {"EnumDeviceInfo", "GetDeviceRegistryProperty",
                                                    "RegOpenKeyEx", "RegQueryValueEx", "HeapAlloc"};

// Releases whose failure leaves the thing held by the platform, not by the
// program: each failed call of these is allowed one block or handle.
const std::set<std::string> kHeapReleases = {"HeapFree"};
const std::set<std::string> kHandleReleases = {"DestroyDeviceInfoList", "RegCloseKey", "CloseServiceHandle",
                                               "FindClose", "CloseHandle"};

std::string OperationOf(const std::string& call) {
    return call.substr(0, call.find(' '));
}

struct Outcome {
    int status = -1;
    Names unsaved;      // gone without a copy in the backup folder
    Names overwritten;  // files a restore changed that were there before it
    Names gone;         // devices, files, services and store packages no longer there
    Names makerInfPairs;
    Names usedOutside;
    Names calls;  // every call made, in order
    bool replugShown = false;
    bool listsEmptied = false;       // records and name lists, at the second prompt, else at the end
    std::size_t liveHeapBlocks = 0;  // at the second prompt, else at the end
    std::size_t openHandles = 0;
};

// The second prompt, with or without the sentence that asks for a restart.
bool IsReplug(const std::string& text) {
    return text.rfind(kPromptReplug, 0) == 0;
}
bool IsReplugCall(const std::string& call) {
    return call.rfind(std::string("MessageBox ") + kPromptReplug, 0) == 0;
}

bool ListsEmpty(const CVelkorUSBCleanerApp& app) {
    return app.m_devices.empty() && app.m_infNames.IsEmpty() && app.m_serviceNames.IsEmpty();
}

// Tells whether the program's records and lists were empty when it asked for
// the second prompt.
class ObservedWorkstation : public SimulatedWorkstation {
public:
    int MessageBox(const char* text, const char* caption, DWORD type) override {
        if (app && text && IsReplug(text)) listsEmptyAtReplug = ListsEmpty(*app);
        return SimulatedWorkstation::MessageBox(text, caption, type);
    }

    const CVelkorUSBCleanerApp* app = nullptr;
    bool listsEmptyAtReplug = false;
};

const std::string kBackup = "C:\\b";

// The devices, files, services and store packages no longer there.
Names GoneItems(const SimulatedWorkstation& ws, const Inventory& all) {
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
const std::string kRestoredDriver = kDrivers + "vlkcomusb.sys";

// What a file is, to tell whether a restore changed it.
std::string FileState(const sim::File& file) {
    return file.content + "|" + std::to_string(file.attributes) + "|" + std::to_string(file.creationTime) +
           "|" + std::to_string(file.lastAccessTime) + "|" + std::to_string(file.lastWriteTime);
}

// Whether an item that is gone has its copy in the backup folder: a file
// (unless its package's store folder went there), a package's store folder
// or INF, a service's key and configuration, a device's key.
bool SavedInBackup(const SimulatedWorkstation& ws, const std::string& item,
                   const std::map<std::string, std::string>& contents,
                   const std::map<std::string, std::string>& storeInfs) {
    const std::size_t space = item.find(' ');
    const std::string kind = item.substr(0, space);
    const std::string name = item.substr(space + 1);
    const auto storeSaved = [&](const std::string& infName) {
        const auto stored = storeInfs.find(infName);
        return stored != storeInfs.end() &&
               ws.HasFile(kBackup + "\\store\\" + infName.substr(0, infName.size() - 4) + "\\" +
                          stored->second);
    };
    if (kind == "file") {
        const sim::File* copy =
            ws.FindFile(kBackup + "\\files\\" + name.substr(std::string("C:\\Windows\\").size()));
        if (copy) return copy->content == contents.at(name);
        const std::string infName =
            name.substr(name.rfind('\\') + 1, name.size() - name.rfind('\\') - 4) + "inf";
        return name.rfind(kInf, 0) == 0 && storeSaved(infName);
    }
    if (kind == "package") return storeSaved(name) || ws.HasFile(kBackup + "\\files\\inf\\" + name);
    if (kind == "service")
        return ws.HasFile(kBackup + "\\services\\" + name + ".reg") &&
               ws.HasFile(kBackup + "\\services\\" + name + ".txt");
    std::string file = name;
    std::replace(file.begin(), file.end(), '\\', '#');
    return ws.HasFile(kBackup + "\\devices\\" + file + ".reg");
}

// One whole run on a fresh workstation; with an operation, its call onCall
// fails (and every later one too when `andLater`). With `before`, a
// fault-free run with those arguments comes first (a backup before a
// restore), and the driver file is then installed again.
Outcome RunProgram(const Names& arguments, const std::string& operation = std::string(), int onCall = 0,
                   bool andLater = false, const Names& before = Names()) {
    ObservedWorkstation ws;
    const Inventory all = DescribeRichWorkstation(ws);
    std::map<std::string, std::string> contents;
    for (const std::string& file : all.files) contents[file] = ws.FindFile(file)->content;
    std::map<std::string, std::string> storeInfs;
    for (const std::string& package : all.packages) {
        const std::string& inf = ws.FindDriverPackage(package)->storeInf;
        if (!inf.empty()) storeInfs[package] = inf.substr(inf.rfind('\\') + 1);
    }
    std::map<std::string, std::string> present;
    Names goneBefore;
    if (!before.empty()) {
        RunVelkorUSBCleaner(ws, before);
        goneBefore = GoneItems(ws, all);
        ws.AddFile(kRestoredDriver, "MZ again");
        ws.ForgetCalls();
        for (const std::string& file : all.files) {
            if (const sim::File* found = ws.FindFile(file)) present[file] = FileState(*found);
        }
    }
    if (!operation.empty()) {
        const DWORD code = kFailureCodes.at(operation);
        if (andLater) {
            ws.FailCallsFrom(operation, code, onCall);
        } else {
            ws.FailCall(operation, code, onCall);
        }
    }
    Outcome run;
    run.makerInfPairs = all.makerInfPairs;
    run.usedOutside = all.usedOutside;
    // As RunVelkorUSBCleaner runs it, with the application object in view.
    const RunOptions options = ParseSwitches(arguments);
    CVelkorUSBCleanerApp app(ws, options);
    ws.app = &app;
    run.status = options.restore ? RunVelkorUSBCleaner(ws, arguments) : app.RunCleaning();
    run.calls = ws.AllCalls();
    for (const auto& file : present) {
        const sim::File* now = ws.FindFile(file.first);
        if (now && FileState(*now) != file.second) run.overwritten.push_back(file.first);
    }
    // A restore is judged by what was there before it.
    for (const std::string& item : GoneItems(ws, all)) {
        if (std::count(goneBefore.begin(), goneBefore.end(), item) == 0) run.gone.push_back(item);
    }
    if (options.backup) {
        for (const std::string& item : run.gone) {
            if (!SavedInBackup(ws, item, contents, storeInfs)) run.unsaved.push_back(item);
        }
    }
    run.liveHeapBlocks = ws.LiveHeapBlocks();
    run.openHandles = ws.OpenHandles();
    for (const sim::Prompt& prompt : ws.Prompts()) {
        if (!IsReplug(prompt.text)) continue;
        run.liveHeapBlocks = prompt.liveHeapBlocks;
        run.openHandles = prompt.openHandles;
    }
    run.replugShown = std::any_of(run.calls.begin(), run.calls.end(), IsReplugCall);
    run.listsEmptied = run.replugShown ? ws.listsEmptyAtReplug : ListsEmpty(app);
    if (options.restore) run.listsEmptied = true;
    return run;
}

// How many calls of `operation` failed before the second prompt (or the end).
std::size_t FailedBeforeReplug(const Outcome& run, const std::string& operation, int onCall, bool andLater) {
    std::size_t failed = 0;
    int seen = 0;
    for (const std::string& call : run.calls) {
        if (IsReplugCall(call)) break;
        if (OperationOf(call) != operation) continue;
        ++seen;
        if (seen == onCall || (andLater && seen > onCall)) ++failed;
    }
    return failed;
}

struct Tally {
    std::size_t runs = 0;
    std::size_t faults = 0;
    Names problems;
};

// Both sweeps over the calls of one fault-free run of the program (after a
// fault-free run with `before`, when given).
void Sweep(const Names& arguments, bool prompts, Tally& tally, const Names& before = Names()) {
    const RunOptions options = ParseSwitches(arguments);
    const Outcome clean = RunProgram(arguments, std::string(), 0, false, before);
    ++tally.runs;
    std::map<std::string, int> seen;
    for (const std::string& call : clean.calls) {
        const std::string operation = OperationOf(call);
        // These cannot fail.
        if (operation == "GetLastError" || operation == "SetLastError" || operation == "GetCommandLineTail") {
            continue;
        }
        const int onCall = ++seen[operation];
        if (kFailureCodes.count(operation) == 0) {
            if (onCall == 1) tally.problems.push_back("no failure code for " + operation);
            continue;
        }
        for (bool andLater : {false, true}) {
            const Outcome run = RunProgram(arguments, operation, onCall, andLater, before);
            ++tally.runs;
            const std::size_t failed = FailedBeforeReplug(run, operation, onCall, andLater);
            tally.faults += failed;
            const std::size_t heapAllowed = kHeapReleases.count(operation) ? failed : 0;
            const std::size_t handlesAllowed = kHandleReleases.count(operation) ? failed : 0;

            Names wrong;
            // Unattended, a restart still to come is the installer's to know.
            // A backup folder that cannot be made stops the run before any
            // change; a restore says when something was not put back.
            const bool statusRight = run.status == ExitCompleted ||
                                     (!prompts && run.status == ExitRestartRequired && !options.restore) ||
                                     (options.backup && run.status == ExitBackupFailed && run.gone.empty()) ||
                                     (options.restore && run.status == ExitRestoreFailed);
            if (!statusRight) wrong.push_back("exit status " + std::to_string(run.status));
            if (prompts && !run.replugShown) wrong.push_back("no second prompt");
            for (const std::string& item : run.unsaved) wrong.push_back("deleted unsaved " + item);
            for (const std::string& file : run.overwritten) wrong.push_back("overwrote " + file);
            if (!run.listsEmptied) wrong.push_back("records or name lists left");
            if (run.liveHeapBlocks > heapAllowed) {
                wrong.push_back(std::to_string(run.liveHeapBlocks) + " heap blocks live");
            }
            if (run.openHandles > handlesAllowed)
                wrong.push_back(std::to_string(run.openHandles) + " handles open");
            for (const std::string& item : run.gone) {
                if (std::count(run.usedOutside.begin(), run.usedOutside.end(), item) != 0) {
                    wrong.push_back("deleted what another device uses: " + item);
                    continue;
                }
                if (std::count(clean.gone.begin(), clean.gone.end(), item) != 0) continue;
                const bool unprotected =
                    kHideRegisterEntries.count(operation) != 0 &&
                    std::count(run.makerInfPairs.begin(), run.makerInfPairs.end(), item) != 0;
                if (!unprotected) wrong.push_back("deleted " + item);
            }
            for (const std::string& what : wrong) {
                std::string args;
                for (const std::string& argument : arguments) args += argument + " ";
                tally.problems.push_back(args + operation + " call " + std::to_string(onCall) +
                                         (andLater ? " and later" : "") + ": " + what);
            }
        }
    }
}

TEST(FaultSweep, EveryFailureEndsTheRunSafely) {
    Tally tally;
    // What the fault-free runs delete is in their transcript below.
    const Outcome clean = RunProgram({});
    EXPECT_TRUE(clean.replugShown && clean.listsEmptied && clean.liveHeapBlocks == 0 &&
                clean.openHandles == 0);
    for (const std::string& item : clean.gone)
        EXPECT_EQ(std::count(clean.usedOutside.begin(), clean.usedOutside.end(), item), 0) << item;

    Sweep({}, true, tally);
    Sweep({"/quiet"}, false, tally);
    // Recorded for a report: each action's subject is asked for as it is made.
    Sweep({"/quiet", "/report"}, false, tally);
    // The backup's and the restore's own calls: nothing deleted unsaved,
    // nothing overwritten.
    const Names backup = {"/quiet", "/backup:" + kBackup};
    const Names restore = {"/quiet", "/restore:" + kBackup};
    const Outcome saved = RunProgram(backup);
    EXPECT_TRUE(saved.unsaved.empty() && !saved.gone.empty());
    const Outcome restored = RunProgram(restore, std::string(), 0, false, backup);
    EXPECT_EQ(restored.status, ExitCompleted);
    EXPECT_TRUE(restored.overwritten.empty());
    Sweep(backup, false, tally);
    Sweep(restore, false, tally, backup);

    std::printf("fault sweep: %zu runs, %zu faults injected, %zu problems\n", tally.runs, tally.faults,
                tally.problems.size());
    for (std::size_t i = 0; i < tally.problems.size() && i < 20; ++i) ADD_FAILURE() << tally.problems[i];
    EXPECT_EQ(tally.problems.size(), 0u);
}

// Compares `text` with a file of tests/golden/; VK_UPDATE_GOLDEN=1 writes the
// file instead, after a deliberate change whose difference is then read.
void ExpectGolden(const std::string& name, const std::string& text) {
    const std::string golden = std::string(VK_GOLDEN_DIR) + "/" + name;
    if (std::getenv("VK_UPDATE_GOLDEN")) std::ofstream(golden, std::ios::binary) << text;
    EXPECT_EQ(text, test::ReadWhole(golden));
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

// Where the program runs: alone, or beside a run that holds the run mutex,
// or in a window station nobody sees.
enum class Setting { Alone, AnotherRun, Unseen };

void Place(SimulatedWorkstation& ws, Setting setting) {
    ws.SetOtherInstanceRunning(setting == Setting::AnotherRun);
    ws.SetWindowStationVisible(setting != Setting::Unseen);
}

// What a person, an installer, a support technician and a deployment engine
// see of the fault-free runs, attended, unattended, listing only and checking
// only, and where no run may go ahead, with the logs and reports they write:
// the plan, every deletion in order, and every message, byte for byte.
TEST(RichWorkstation, WhatTheFaultFreeRunsDoAndSay) {
    struct Run {
        Names options;
        Setting setting;
        const char* label;
    };
    std::ostringstream transcript;
    for (const Run& run :
         {Run{{}, Setting::Alone, ""}, Run{{"/quiet"}, Setting::Alone, " /quiet"},
          Run{{"/list"}, Setting::Alone, " /list"}, Run{{"/check"}, Setting::Alone, " /check"},
          Run{{}, Setting::AnotherRun, " while another run holds the mutex"},
          Run{{}, Setting::Unseen, " in a window station nobody sees"}}) {
        SimulatedWorkstation ws;
        DescribeRichWorkstation(ws);
        Place(ws, run.setting);
        test::TempFile log;
        test::TempFile report;
        Names arguments = run.options;
        arguments.push_back("/log:" + log.path);
        arguments.push_back("/report:" + report.path);
        const int status = RunVelkorUSBCleaner(ws, arguments);
        if (run.setting == Setting::Alone) {
            std::string json = test::ReadWhole(report.path);
            ReplaceAll(json, log.path, "<log>");
            ReplaceAll(json, report.path, "<report>");
            ExpectGolden("rich-workstation-report" +
                             (run.options.empty() ? "" : "-" + run.options[0].substr(1)) + ".json",
                         json);
        }
        transcript << "== run" << run.label << ": exit status " << status << "\n";
        for (const sim::Prompt& prompt : ws.Prompts()) {
            transcript << "prompt 0x" << std::hex << prompt.type << std::dec << " " << prompt.caption << ": "
                       << prompt.text << "\n";
        }
        for (const std::string& call : ws.Calls()) transcript << "call " << call << "\n";
        transcript << "output:\n" << ws.StandardOutput() << ws.StandardError() << "log:\n";
        const std::string written = test::ReadWhole(log.path);
        transcript << written << "\n";

        // The log is appended to, never truncated.
        SimulatedWorkstation again;
        DescribeRichWorkstation(again);
        Place(again, run.setting);
        RunVelkorUSBCleaner(again, arguments);
        const std::string appended = test::ReadWhole(log.path);
        EXPECT_EQ(appended.compare(0, written.size(), written), 0);
        if (run.setting != Setting::AnotherRun) {
            EXPECT_GT(appended.size(), written.size());
        }
    }
    ExpectGolden("rich-workstation-runs.txt", transcript.str());
}

// A deployment engine reads a failed action, with its code, from the report.
TEST(RichWorkstation, AReportNamesEachFailedActionWithItsCode) {
    SimulatedWorkstation ws;
    DescribeRichWorkstation(ws);
    ws.FailCall("DeleteService", ERROR_ACCESS_DENIED, 1);
    ws.SetComputerName("");
    test::TempFile report;
    const int status = RunVelkorUSBCleaner(ws, {"/quiet", "/report:" + report.path});
    const auto json = nlohmann::json::parse(test::ReadWhole(report.path));
    EXPECT_EQ(json["exitStatus"], status);
    EXPECT_TRUE(json["computerName"].is_null());
    Names failed;
    for (const auto& action : json["actions"]) {
        if (action["outcome"] == "failed") {
            failed.push_back(action["action"].get<std::string>() + " " +
                             action["subject"].get<std::string>() + " " +
                             std::to_string(action["code"].get<unsigned long>()));
        }
    }
    // The injected failure, once, among the workstation's own (a file in use,
    // a package the store keeps, a device that cannot be removed).
    EXPECT_EQ(std::count(failed.begin(), failed.end(), "delete_service vlkusbser 5"), 1);
    EXPECT_EQ(std::count(failed.begin(), failed.end(), "remove_device USB\\VID_C2B5&PID_000A\\7 5"), 1);
    EXPECT_NE(std::count(failed.begin(), failed.end(), "uninstall_driver_package oem21.inf 3758096957"), 0);
}

// The log's entries, each from its "[INFO] : " or "[ERROR] : " on.
Names Entries(const std::string& log) {
    Names entries;
    for (std::size_t at = 0; at < log.size();) {
        std::size_t next = log.size();
        for (const char* prefix : {"[INFO] : ", "[ERROR] : "})
            next = std::min(next, log.find(prefix, at + 1));
        entries.push_back(log.substr(at, next - at));
        at = next;
    }
    return entries;
}

// What each failure says: for every operation, its first call failing, the
// entries and prompts that the fault-free run does not have (the messages of
// every failure path, byte for byte).
TEST(RichWorkstation, WhatEachFirstFailureSays) {
    const auto run = [](const std::string& operation, Names* said) {
        SimulatedWorkstation ws;
        DescribeRichWorkstation(ws);
        if (!operation.empty()) ws.FailCall(operation, kFailureCodes.at(operation), 1);
        test::TempFile log;
        const int status = RunVelkorUSBCleaner(ws, {"/log:" + log.path});
        *said = Entries(test::ReadWhole(log.path));
        for (const sim::Prompt& prompt : ws.Prompts()) said->push_back("prompt: " + prompt.text + "\n");
        return status;
    };
    Names clean;
    run("", &clean);
    std::ostringstream transcript;
    for (const auto& failure : kFailureCodes) {
        Names said;
        const int status = run(failure.first, &said);
        transcript << "== " << failure.first << " fails (" << failure.second << "): exit status " << status
                   << "\n";
        Names expected = clean;
        for (const std::string& entry : said) {
            const auto known = std::find(expected.begin(), expected.end(), entry);
            if (known != expected.end()) {
                expected.erase(known);
            } else {
                transcript << entry;
            }
        }
    }
    ExpectGolden("rich-workstation-failures.txt", transcript.str());
}

}  // namespace
}  // namespace vk

namespace vk {
namespace {

// The .reg text as Windows-1252, for the transcript.
std::string Narrow(const std::string& utf16) {
    std::string text;
    for (std::size_t i = 2; i + 1 < utf16.size(); i += 2) text += utf16[i + 1] == 0 ? utf16[i] : '?';
    return text;
}

// Every value and subkey of a key, as its .reg text.
std::string KeyTree(SimulatedWorkstation& ws, const std::string& key) {
    std::vector<RegFileKey> keys;
    if (ReadKeyTree(ws, key, false, &keys) != 0) return "(unreadable)";
    const std::vector<std::uint8_t> bytes = WriteRegFile(keys);
    return std::string(bytes.begin(), bytes.end());
}

// A backup of the rich workstation, then a restore: every file (bytes,
// attributes, times), service (configuration and key) and store package is
// back, a file that came back in between is left alone, and an item that
// could not be saved (a driver file held open) was kept. What the two runs
// do, say and write is compared with its transcript.
TEST(RichWorkstation, BackupThenRestoreGivesEverythingBack) {
    SimulatedWorkstation ws;
    const Inventory all = DescribeRichWorkstation(ws);
    std::map<std::string, std::string> files;
    for (const std::string& file : all.files) files[file] = FileState(*ws.FindFile(file));
    std::map<std::string, std::string> services;
    for (const std::string& service : all.services) {
        services[service] = ServiceConfigText(ws.FindService(service)->config) +
                            KeyTree(ws, "System\\CurrentControlSet\\Services\\" + service);
    }
    const auto storeInfs = [&ws]() {
        std::multiset<std::string> contents;
        for (const std::string& package : ws.DriverPackages()) {
            const std::string& inf = ws.FindDriverPackage(package)->storeInf;
            contents.insert(inf.empty() ? package : ws.FindFile(inf)->content);
        }
        return contents;
    };
    const std::multiset<std::string> packages = storeInfs();

    std::ostringstream transcript;
    const auto run = [&](const Names& options) {
        test::TempFile log;
        Names arguments = options;
        arguments.push_back("/log:" + log.path);
        ws.ForgetCalls();
        const std::size_t shown = ws.Prompts().size();
        const std::size_t written = ws.StandardOutput().size();
        const int status = RunVelkorUSBCleaner(ws, arguments);
        transcript << "== run";
        for (const std::string& option : options) transcript << " " << option;
        transcript << ": exit status " << status << "\n";
        for (std::size_t i = shown; i < ws.Prompts().size(); ++i)
            transcript << "prompt: " << ws.Prompts()[i].text << "\n";
        for (const std::string& call : ws.Calls()) transcript << "call " << call << "\n";
        transcript << "output:\n"
                   << ws.StandardOutput().substr(written) << "log:\n"
                   << test::ReadWhole(log.path) << "\n";
        return status;
    };
    EXPECT_EQ(run({"/list", "/backup:" + kBackup}), ExitCompleted);
    EXPECT_EQ(run({"/quiet", "/backup:" + kBackup}), ExitCompleted);
    EXPECT_TRUE(ws.HasFile(kDrivers + "vlkusbser.sys"));
    transcript << "manifest:\n"
               << ws.FindFile(kBackup + "\\manifest.txt")->content << "service:\n"
               << Narrow(ws.FindFile(kBackup + "\\services\\vlkusbser.reg")->content)
               << ws.FindFile(kBackup + "\\services\\vlkusbser.txt")->content;
    ws.AddFile(kRestoredDriver, "MZ again");
    EXPECT_EQ(run({"/list", "/restore:" + kBackup}), ExitCompleted);
    EXPECT_EQ(run({"/restore:" + kBackup}), ExitCompleted);
    ExpectGolden("rich-workstation-backup.txt", transcript.str());

    for (const auto& file : files) {
        const sim::File* now = ws.FindFile(file.first);
        // A package's INF pair comes back under the name the store gives it.
        const bool republished = file.first.rfind(kInf + "oem12.", 0) == 0 ||
                                 file.first.rfind(kInf + "oem20.", 0) == 0 ||
                                 file.first.rfind(kInf + "oem30.", 0) == 0;
        if (file.first == kRestoredDriver) {
            EXPECT_EQ(now->content, "MZ again");
        } else if (!republished) {
            EXPECT_TRUE(now && FileState(*now) == file.second) << file.first;
        }
    }
    for (const auto& service : services) {
        EXPECT_EQ(ServiceConfigText(ws.FindService(service.first)->config) +
                      KeyTree(ws, "System\\CurrentControlSet\\Services\\" + service.first),
                  service.second);
    }
    EXPECT_EQ(storeInfs(), packages);
    EXPECT_EQ(ws.OpenHandles(), 0u);
}

// Without a folder the backup goes to ProgramData under the local time; a
// folder that cannot be made stops the run before any change, and says so.
TEST(RichWorkstation, TheBackupFolderIsMadeBeforeAnyChangeOrTheRunStops) {
    const std::string folder = "C:\\ProgramData\\VelkorUSBCleaner\\Backup\\20261208-160509";
    SimulatedWorkstation saved;
    DescribeRichWorkstation(saved);
    EXPECT_EQ(RunVelkorUSBCleaner(saved, {"/quiet", "/backup"}), ExitCompleted);
    EXPECT_TRUE(saved.HasFile(folder + "\\manifest.txt"));

    SimulatedWorkstation refused;
    const Inventory all = DescribeRichWorkstation(refused);
    refused.FailCall("CreateDirectory", ERROR_ACCESS_DENIED);
    EXPECT_EQ(RunVelkorUSBCleaner(refused, {"/quiet", "/backup"}), ExitBackupFailed);
    EXPECT_TRUE(GoneItems(refused, all).empty());
    EXPECT_EQ(refused.StandardError(), folder +
                                           " : le dossier de sauvegarde ne peut \xEAtre cr\xE9\xE9 ; aucune "
                                           "modification n'a \xE9t\xE9 faite\nAccess is denied.\r\n\r\n");
}

}  // namespace
}  // namespace vk
