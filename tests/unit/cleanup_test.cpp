// The cleanup actions over simulated workstations: what the removal pass,
// the OEM INF scan and the deletion primitives delete, what they leave, and
// the exact entries they log.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cleanup/cleanup.h"
#include "platform/simulated/simulated.h"
#include "support/log_capture.h"

namespace vk {
namespace {

using sim::SimulatedWorkstation;
using sim::Sz;
using Calls = std::vector<std::string>;

const std::string kPorts = "{4d36e978-e325-11ce-bfc1-08002be10318}";
const std::string kInf = "C:\\Windows\\inf\\";
const std::string kPattern = kInf + "oem*.inf";
const std::string kDrivers = "C:\\Windows\\system32\\drivers\\";
const std::string kComUsb = kDrivers + "vlkcomusb.sys";
const std::string kUsbSer = kDrivers + "vlkusbser.sys";
const std::string kNamesReader =
    "[Version]\r\nProvider=VELKOR\r\n[Devices]\r\nR=Install,USB\\VID_C2B5&PID_000A\r\n";

// System texts of our own, so that every expected entry is spelt out here.
const std::vector<std::pair<DWORD, std::string>> kSystemTexts = {
    {2, "The system cannot find the file specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {30, "The system cannot read from the specified device.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {223, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1072, "The specified service has been marked for deletion.\r\n"},
};

std::string SystemText(DWORD code) {
    for (const auto& entry : kSystemTexts) {
        if (entry.first == code) return entry.second;
    }
    return "<no text>";
}

std::string WithCode(const std::string& prefix, const std::string& text, DWORD code) {
    return prefix + text + "\r\n" + SystemText(code) + "\r\n";
}
std::string FileNotDeleted(const std::string& path, DWORD code) {
    return WithCode("[INFO] : ", path + " : le fichier ne peut \xEAtre effac\xE9", code);
}
std::string InfNotOpened(DWORD code) {
    return WithCode("[ERROR] : ", "Can't Open Inf file", code);
}
std::string ScmRefused(const std::string& service, DWORD code) {
    return WithCode("[ERROR] : ",
                    "D\xE9sinstallation du service " + service + " :\r\nle SC Manager ne peut \xEAtre ouvert",
                    code);
}
std::string ServiceNotOpened(const std::string& service, DWORD code) {
    return WithCode(
        "[ERROR] : ", "D\xE9sinstallation du service " + service + " :\r\nle service ne peut \xEAtre ouvert",
        code);
}
std::string ServiceNotDeleted(const std::string& service, DWORD code) {
    return WithCode("[ERROR] : ", service + " : le Service ne peut \xEAtre d\xE9sinstall\xE9", code);
}
std::string ServiceKept(const std::string& hardwareId) {
    return "[INFO] : " + hardwareId +
           " : Le service correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9";
}

// The same text stored as UTF-16: a zero byte after every character.
std::string Utf16(const std::string& text) {
    std::string wide;
    for (char c : text) wide += std::string{c, '\0'};
    return wide;
}

bool Contains(const Calls& calls, const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

class CleanupFixture : public ::testing::Test {
protected:
    CleanupFixture() {
        for (const auto& entry : kSystemTexts) ws.SetSystemMessage(entry.first, entry.second);
    }
    // Every operation closes what it opened, on every path.
    void TearDown() override { EXPECT_EQ(ws.OpenHandles(), 0u); }

    // A reader (or another device) whose class key names `provider` and `inf`.
    sim::Device& AddDevice(const std::string& instance, const std::string& hardwareId,
                           const std::string& slot, const std::string& inf, const std::string& service,
                           const std::string& provider = "VELKOR") {
        ws.AddClassKey(kPorts + "\\" + slot).Value("ProviderName", Sz(provider)).Value("InfPath", Sz(inf));
        auto& device = ws.AddDevice(instance).HardwareIds({hardwareId + "&REV_0100", hardwareId});
        device.Driver(kPorts + "\\" + slot);
        if (service.empty()) {
            device.Class("USB");
        } else {
            device.Class("Ports").Service(service);
        }
        return device;
    }
    void AddInfPair(const std::string& name, const std::string& content) {
        ws.AddFile(kInf + name + ".inf", content);
        ws.AddFile(kInf + name + ".pnf", "PNF");
    }
    void AddDriverFiles() {
        ws.AddFile(kComUsb, "MZ");
        ws.AddFile(kUsbSer, "MZ");
    }
    // Enumeration as the program runs it, then the removal pass.
    int Pass() {
        EXPECT_EQ(cleaner.EnumerateTargetDevices(TargetTable()), 0);
        int result = cleaner.RemoveDevices();
        cleaner.ReleaseInventory();
        return result;
    }
    int Scan() { return cleaner.ScanOemInfs(kPattern.c_str()); }

    SimulatedWorkstation ws;
    CCleanupActions cleaner{ws};
    test::LogCapture log{cleaner};
};

using CleanupRegisters = CleanupFixture;
using CleanupScan = CleanupFixture;
using CleanupPrimitives = CleanupFixture;
using CleanupGuards = CleanupFixture;

TEST_F(CleanupRegisters, SharedNamesAreDeletedWithTheirLastUser) {
    // oem12.inf and OEM12.INF are one file; the service is shared too.
    AddDevice("USB\\VID_C2B5&PID_000A\\1", "USB\\VID_C2B5&PID_000A", "0001", "oem12.inf", "vlkusbser");
    AddDevice("USB\\VID_C2B5&PID_000B\\2", "USB\\VID_C2B5&PID_000B", "0002", "OEM12.INF", "vlkusbser");
    ws.AddService("vlkusbser");
    AddInfPair("oem12", kNamesReader);

    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(ws.Calls(), (Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000A\\1",
                                 "DIF_REMOVE USB\\VID_C2B5&PID_000B\\2", "DeleteFile " + kInf + "OEM12.INF",
                                 "DeleteFile " + kInf + "OEM12.pNF", "DeleteService vlkusbser"}));
    EXPECT_FALSE(ws.HasFile(kInf + "oem12.inf") || ws.HasFile(kInf + "oem12.pnf"));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(CleanupRegisters, ServiceNamesDifferingInCaseAreTwoServices) {
    AddDevice("USB\\VID_C2B5&PID_000A\\1", "USB\\VID_C2B5&PID_000A", "0001", "oem12.inf", "VlkUsbSer");
    AddDevice("USB\\VID_C2B5&PID_000B\\2", "USB\\VID_C2B5&PID_000B", "0002", "oem12.inf", "vlkusbser");
    ws.AddService("VlkUsbSer");

    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(ws.CallCount("OpenService"), 2u);
    EXPECT_TRUE(Contains(ws.AllCalls(), "OpenService VlkUsbSer"));
    EXPECT_TRUE(Contains(ws.AllCalls(), "OpenService vlkusbser"));
}

TEST_F(CleanupRegisters, AFailedRemovalKeepsTheSharedInfAndServiceAndScans) {
    // PID_0012 is selected but not scanned for, so only the register keeps the pair.
    AddDevice("USB\\VID_C2B5&PID_0012\\1", "USB\\VID_C2B5&PID_0012", "0001", "oem12.inf", "vlkusbser");
    AddDevice("USB\\VID_C2B5&PID_0012\\2", "USB\\VID_C2B5&PID_0012", "0002", "oem12.inf", "vlkusbser")
        .RemoveFails(5);
    ws.AddService("vlkusbser");
    AddInfPair("oem12", "[Devices]\r\nR=Install,USB\\VID_C2B5&PID_0012\r\n");
    AddDriverFiles();

    EXPECT_EQ(Pass(), 0);
    EXPECT_FALSE(ws.HasDevice("USB\\VID_C2B5&PID_0012\\1"));
    EXPECT_TRUE(ws.HasDevice("USB\\VID_C2B5&PID_0012\\2"));
    EXPECT_TRUE(ws.HasFile(kInf + "oem12.inf") && ws.HasFile(kInf + "oem12.pnf"));
    EXPECT_TRUE(ws.HasService("vlkusbser"));
    EXPECT_TRUE(ws.HasFile(kComUsb) && ws.HasFile(kUsbSer));
    EXPECT_EQ(ws.CallCount("FindFirstFile"), 1u);  // the second device's fallback
    EXPECT_TRUE(Contains(ws.AllCalls(), "FindFirstFile " + kPattern));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(CleanupRegisters, ThreeFailedRemovalsDeleteTheMatchOnce) {
    for (int i = 1; i <= 3; ++i) {
        AddDevice("USB\\VID_C2B5&PID_000A\\" + std::to_string(i), "USB\\VID_C2B5&PID_000A",
                  "000" + std::to_string(i), "oem12.inf", "vlkusbser")
            .RemoveFails(5);
    }
    ws.AddService("vlkusbser");
    AddInfPair("oem5", kNamesReader);
    AddDriverFiles();

    EXPECT_EQ(Pass(), 0);
    Calls deletions;
    for (const auto& call : ws.Calls()) {
        if (call.rfind("DIF_REMOVE", 0) != 0) deletions.push_back(call);
    }
    EXPECT_EQ(deletions, (Calls{"DeleteFile " + kInf + "oem5.inf", "DeleteFile " + kInf + "oem5.pnf",
                                "DeleteFile " + kComUsb, "DeleteFile " + kUsbSer}));
    EXPECT_EQ(ws.CallCount("FindFirstFile"), 3u);
    EXPECT_TRUE(ws.HasService("vlkusbser"));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(CleanupRegisters, AnEmptyInfNameScansBeforeTheNamedPairIsLookedUp) {
    AddDevice("USB\\VID_C2B5&PID_000C\\1", "USB\\VID_C2B5&PID_000C", "0001", "oem12.inf", "");
    ws.AddClassKey(kPorts + "\\0001").RefuseFullAccess();  // so its INF name stays empty
    AddDevice("USB\\VID_C2B5&PID_000A\\2", "USB\\VID_C2B5&PID_000A", "0002", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser");
    AddInfPair("oem12", kNamesReader);
    AddDriverFiles();

    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(ws.Calls(),
              (Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000C\\1", "DeleteFile " + kInf + "oem12.inf",
                     "DeleteFile " + kInf + "oem12.pnf", "DeleteFile " + kComUsb, "DeleteFile " + kUsbSer,
                     "DIF_REMOVE USB\\VID_C2B5&PID_000A\\2", "DeleteService vlkusbser"}));
    // The second device's look-up found neither half and said nothing.
    EXPECT_EQ(log.Text(), "");
}

TEST_F(CleanupScan, ContentDecidesWhatMatches) {
    AddInfPair("oem1", "; old package: usb\\vid_c2b5&pid_000c\r\n");           // comment, lower case
    AddInfPair("oem2", "[Devices]\r\nR=Install,USB\\VID_C2B5&PID_00051\r\n");  // longer ID
    AddInfPair("oem3", "[Devices]\r\nR=Install,USB\\VID_C2B5&PID_0012\r\n");   // not scanned for
    AddInfPair("oem4", Utf16(kNamesReader));
    AddInfPair("oem5", "");
    ws.AddFile(kInf + "oem6.inf", kNamesReader).ReadOnly();  // no PNF twin
    AddInfPair("oem7", "USB\\VID_046D&PID_C52B");

    EXPECT_EQ(Scan(), 0);
    for (const char* gone : {"oem1.inf", "oem1.pnf", "oem2.inf", "oem2.pnf", "oem6.inf"}) {
        EXPECT_FALSE(ws.HasFile(kInf + gone)) << gone;
    }
    for (const char* kept : {"oem3.inf", "oem3.pnf", "oem4.inf", "oem5.inf", "oem7.inf", "oem7.pnf"}) {
        EXPECT_TRUE(ws.HasFile(kInf + kept)) << kept;
    }
    EXPECT_EQ(log.Text(), FileNotDeleted(kInf + "oem6.pnf", 2));
    EXPECT_EQ(ws.LiveHeapBlocks(), 0u);
}

TEST_F(CleanupScan, AFileHeldOpenIsLoggedAndTheOthersStillExamined) {
    ws.AddFile(kInf + "oem1.inf", kNamesReader).HeldOpen();
    AddInfPair("oem2", kNamesReader);

    EXPECT_EQ(Scan(), 0);
    EXPECT_TRUE(ws.HasFile(kInf + "oem1.inf"));
    EXPECT_FALSE(ws.HasFile(kInf + "oem2.inf"));
    EXPECT_EQ(log.Text(), InfNotOpened(32));
}

TEST_F(CleanupScan, ASingleFileIsExaminedAndNoFileAllocatesNothing) {
    EXPECT_EQ(Scan(), -1);
    EXPECT_EQ(ws.CallCount("HeapAlloc"), 0u);

    AddInfPair("oem9", kNamesReader);
    EXPECT_EQ(Scan(), 0);
    EXPECT_EQ(ws.Calls(), (Calls{"DeleteFile " + kInf + "oem9.inf", "DeleteFile " + kInf + "oem9.pnf"}));
}

TEST_F(CleanupScan, ASearchEndingInAnErrorFailsAfterAMatch) {
    AddInfPair("oem1", kNamesReader);
    AddInfPair("oem2", kNamesReader);
    ws.FailCall("FindNextFile", 5, 2);

    // The first file matched; the second advance failed, so the file then held stays unexamined.
    EXPECT_EQ(Scan(), -1);
    EXPECT_EQ(ws.Calls(), (Calls{"DeleteFile " + kInf + "oem1.inf", "DeleteFile " + kInf + "oem1.pnf"}));
    EXPECT_TRUE(ws.HasFile(kInf + "oem2.inf"));
}

TEST_F(CleanupScan, OnADoubleByteCodePageMatchesStartOnlyAtCharacterBoundaries) {
    ws.SetCodePage(sim::CodePage::DoubleByte932);
    // 0x82 is a lead byte: in oem1 it swallows the 'U', in oem2 it pairs with 0xA0.
    AddInfPair("oem1", "\x82USB\\VID_C2B5&PID_000A\r\n");
    AddInfPair("oem2", "\x82\xA0USB\\VID_C2B5&PID_000A\r\n");

    EXPECT_EQ(Scan(), 0);
    EXPECT_TRUE(ws.HasFile(kInf + "oem1.inf"));
    EXPECT_FALSE(ws.HasFile(kInf + "oem2.inf"));
}

TEST_F(CleanupPrimitives, ReadOnlyIsClearedAndTimesKeptToWholeSeconds) {
    // The removal is refused, so what was written back can be read.
    const std::string path = kInf + "oem1.inf";
    ws.AddFile(path)
        .Attributes(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY)
        .Times(130000000001234567, 130000000019999999, 130000000020000000)
        .DeleteRefused(5);
    const std::string bare = kInf + "oem2.inf";
    ws.AddFile(bare).Attributes(FILE_ATTRIBUTE_READONLY);

    cleaner.DeleteFileForced(path.c_str());
    cleaner.DeleteFileForced(bare.c_str());
    EXPECT_EQ(ws.Calls(),
              (Calls{"SetFileAttributes " + path + " 0x2", "SetFileTime " + path,
                     "SetFileAttributes " + bare + " 0x80", "SetFileTime " + bare, "DeleteFile " + bare}));
    const sim::File* kept = ws.FindFile(path);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->attributes, FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(kept->creationTime, 130000000000000000u);
    EXPECT_EQ(kept->lastAccessTime, 130000000010000000u);
    EXPECT_EQ(kept->lastWriteTime, 130000000020000000u);
    EXPECT_FALSE(ws.HasFile(bare));
    EXPECT_EQ(log.Text(), FileNotDeleted(path, 5));
}

TEST_F(CleanupPrimitives, FilesWithoutReadOnlyOrAbsentAreOnlyRemoved) {
    const std::string hidden = kInf + "oem1.inf";
    ws.AddFile(hidden).Attributes(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    const std::string absent = kInf + "oem2.inf";

    cleaner.DeleteFileForced(hidden.c_str());
    cleaner.DeleteFileForced(absent.c_str());
    EXPECT_EQ(ws.CallCount("SetFileAttributes"), 0u);
    EXPECT_FALSE(ws.HasFile(hidden));
    EXPECT_EQ(log.Text(), FileNotDeleted(absent, 2));
}

TEST_F(CleanupPrimitives, InfPairsAreLookedUpAndTheTwinDerivedByOneLetter) {
    AddInfPair("oem7", "");
    ws.AddFile(kInf + "oem8.inf");  // no twin: nothing logged

    cleaner.DeleteInfPair("OEM7.INF");
    cleaner.DeleteInfPair("oem8.inf");
    EXPECT_EQ(ws.Calls(), (Calls{"DeleteFile " + kInf + "OEM7.INF", "DeleteFile " + kInf + "OEM7.pNF",
                                 "DeleteFile " + kInf + "oem8.inf"}));
    EXPECT_FALSE(ws.HasFile(kInf + "oem7.pnf"));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(CleanupPrimitives, OnADoubleByteCodePageTrailBytesAreNotSeparators) {
    // Katakana names whose trail bytes 0x5C and 0x7C read as '\\' and '|' when
    // taken byte by byte; a lead byte before a '/' does not hide it.
    ws.SetCodePage(sim::CodePage::DoubleByte932);
    const std::string software = "\x83\x5C\x83\x74\x83\x67";
    const std::string port = "\x83\x7C\x81\x5B\x83\x67";
    AddInfPair(software, "");
    AddInfPair(port, "");
    ws.AddFile(kInf + "x.inf");

    EXPECT_TRUE(cleaner.DeleteInfPair((software + ".inf").c_str()));
    EXPECT_TRUE(cleaner.DeleteInfPair((port + ".INF").c_str()));
    EXPECT_FALSE(cleaner.DeleteInfPair("\x83/x.inf"));
    EXPECT_EQ(ws.Calls(),
              (Calls{"DeleteFile " + kInf + software + ".inf", "DeleteFile " + kInf + software + ".pnf",
                     "DeleteFile " + kInf + port + ".INF", "DeleteFile " + kInf + port + ".pNF"}));
    EXPECT_TRUE(ws.HasFile(kInf + "x.inf"));
    EXPECT_EQ(log.Text(), FileNotDeleted("\x83/x.inf", 123));
}

TEST_F(CleanupPrimitives, AbsentDriverFilesCostOneEntryEachInOrder) {
    cleaner.DeleteDriverFiles();
    EXPECT_EQ(log.Text(), FileNotDeleted(kComUsb, 2) + FileNotDeleted(kUsbSer, 2));
}

TEST_F(CleanupPrimitives, ServiceFailuresAreLoggedAndHandlesClosed) {
    ws.AddService("vlkcomusb").markedForDeletion = true;
    ws.AddService("vlkusbser");

    cleaner.DeleteDriverService("absent");
    cleaner.DeleteDriverService("vlkcomusb");
    EXPECT_EQ(ws.OpenHandles(), 0u);
    ws.SetAdministrator(false);
    cleaner.DeleteDriverService("vlkusbser");
    EXPECT_TRUE(ws.HasService("vlkusbser"));
    EXPECT_EQ(ws.CallCount("OpenService"), 2u);
    EXPECT_EQ(log.Text(), ServiceNotOpened("absent", 1060) + ServiceNotDeleted("vlkcomusb", 1072) +
                              ScmRefused("vlkusbser", 5));
}

TEST_F(CleanupGuards, CraftedInfNamesDeleteNothing) {
    // A registry InfPath pointing at a driver file, through the whole pass.
    AddDevice("USB\\VID_C2B5&PID_000A\\1", "USB\\VID_C2B5&PID_000A", "0001", "..\\system32\\drivers\\x.sys",
              "");
    ws.AddFile(kDrivers + "x.sys");
    AddDriverFiles();
    EXPECT_EQ(Pass(), 0);
    std::string expected = FileNotDeleted("..\\system32\\drivers\\x.sys", 123);

    for (const char* name : {"C:\\Windows\\win.inf", "../oem1.inf", "C:oem1.inf", "oem*.inf", "oem1.sys",
                             ".inf", "oem\t1.inf"}) {
        EXPECT_FALSE(cleaner.DeleteInfPair(name)) << name;
        expected += FileNotDeleted(name, 123);
    }
    EXPECT_EQ(ws.Calls(), Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000A\\1"});
    EXPECT_TRUE(ws.HasFile(kDrivers + "x.sys"));
    EXPECT_EQ(log.Text(), expected);
}

TEST_F(CleanupGuards, AnUnusableInfNameSendsItsReaderToTheScan) {
    // Each name is refused as it stands, never trimmed into oem12.inf: the
    // reader's INF is then found by content, and the driver files follow. The
    // second reader's usable name is still deleted by name, with its last user.
    struct Case {
        std::string windows;
        std::string infPath;
        std::string refused;  // what the refusal names
        DWORD code;
    };
    const std::string longWindows = "C:\\" + std::string(220, 'W');
    const std::string longName = "oem12" + std::string(40, 'x') + ".inf";
    const std::vector<Case> cases = {
        {"C:\\Windows", "oem12.inf ", "oem12.inf ", 123},
        {"C:\\Windows", "oem12.inf.", "oem12.inf.", 123},
        {"C:\\Windows", "..\\inf\\oem12.inf", "..\\inf\\oem12.inf", 123},
        {longWindows, longName, longWindows + "\\inf\\" + longName, 206},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.infPath);
        SimulatedWorkstation station;
        for (const auto& entry : kSystemTexts) station.SetSystemMessage(entry.first, entry.second);
        station.SetWindowsDirectory(c.windows);
        const std::string inf = c.windows + "\\inf\\";
        const std::string drivers = c.windows + "\\system32\\drivers\\";
        const std::vector<std::pair<std::string, std::string>> readers = {
            {"USB\\VID_C2B5&PID_000A\\1", c.infPath}, {"USB\\VID_C2B5&PID_0012\\2", "oem7.inf"}};
        for (std::size_t i = 0; i < readers.size(); ++i) {
            const std::string slot = kPorts + "\\000" + std::to_string(i + 1);
            station.AddClassKey(slot)
                .Value("ProviderName", Sz("VELKOR"))
                .Value("InfPath", Sz(readers[i].second));
            const std::string id = readers[i].first.substr(0, readers[i].first.rfind('\\'));
            station.AddDevice(readers[i].first)
                .HardwareIds({id})
                .Class("Ports")
                .Driver(slot)
                .Service("vlkusbser");
        }
        station.AddService("vlkusbser");
        station.AddFile(inf + "oem12.inf", kNamesReader);
        station.AddFile(inf + "oem12.pnf", "PNF");
        station.AddFile(inf + "oem7.inf", "[Devices]\r\nR=Install,USB\\VID_C2B5&PID_0012\r\n");
        station.AddFile(inf + "oem7.pnf", "PNF");
        station.AddFile(inf + "oem3.inf", "USB\\VID_046D&PID_C52B");
        station.AddFile(drivers + "vlkcomusb.sys", "MZ");
        station.AddFile(drivers + "vlkusbser.sys", "MZ");
        CCleanupActions actions(station);
        test::LogCapture capture(actions);

        ASSERT_EQ(actions.EnumerateTargetDevices(TargetTable()), 0);
        EXPECT_EQ(actions.RemoveDevices(), 0);
        actions.ReleaseInventory();
        EXPECT_EQ(station.Calls(),
                  (Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000A\\1", "DeleteFile " + inf + "oem12.inf",
                         "DeleteFile " + inf + "oem12.pnf", "DeleteFile " + drivers + "vlkcomusb.sys",
                         "DeleteFile " + drivers + "vlkusbser.sys", "DIF_REMOVE USB\\VID_C2B5&PID_0012\\2",
                         "DeleteFile " + inf + "oem7.inf", "DeleteFile " + inf + "oem7.pnf",
                         "DeleteService vlkusbser"}));
        EXPECT_TRUE(station.HasFile(inf + "oem3.inf"));
        EXPECT_EQ(capture.Text(), FileNotDeleted(c.refused, c.code));
        EXPECT_EQ(station.OpenHandles(), 0u);
    }
}

TEST_F(CleanupGuards, PathsBeyondTheBufferAreRefusedNotCut) {
    // 246 characters: the pattern and oem1.inf's path take 259, the most the
    // ANSI file functions accept.
    const std::string windows = "C:\\" + std::string(243, 'W');
    ws.SetWindowsDirectory(windows);
    const std::string inf = windows + "\\inf\\";
    ws.AddFile(inf + "oem1.inf", kNamesReader);
    ws.AddFile(inf + "oem1.pnf", "PNF");
    ws.AddFile(inf + "oem12345.inf", kNamesReader);

    cleaner.RunInfScanFallback();
    cleaner.DeleteInfPair("oem12345.inf");
    EXPECT_EQ(ws.Calls(), (Calls{"DeleteFile " + inf + "oem1.inf", "DeleteFile " + inf + "oem1.pnf"}));
    EXPECT_TRUE(ws.HasFile(inf + "oem12345.inf"));
    const std::string drivers = windows + "\\system32\\drivers\\";
    EXPECT_EQ(log.Text(),
              FileNotDeleted(inf + "oem12345.inf", 206) + FileNotDeleted(drivers + "vlkcomusb.sys", 206) +
                  FileNotDeleted(drivers + "vlkusbser.sys", 206) + FileNotDeleted(inf + "oem12345.inf", 206));

    // One character more and the pattern itself no longer fits: no search,
    // and no file reported as not deleted, since none was meant.
    const std::string before = log.Text();
    ws.SetWindowsDirectory(windows + "W");
    cleaner.RunInfScanFallback();
    EXPECT_EQ(ws.CallCount("FindFirstFile"), 1u);
    EXPECT_EQ(log.Text(), before);
}

TEST_F(CleanupGuards, UnreadableFilesAreLoggedSkippedAndClosed) {
    struct Case {
        const char* operation;
        DWORD code;
    };
    for (const Case& c : {Case{"GetFileSizeEx", 5}, Case{"ReadFile", 30}, Case{"HeapReAlloc", 8}}) {
        SimulatedWorkstation station;
        for (const auto& entry : kSystemTexts) station.SetSystemMessage(entry.first, entry.second);
        CCleanupActions actions(station);
        test::LogCapture capture(actions);
        station.AddFile(kInf + "oem1.inf", kNamesReader);
        station.AddFile(kInf + "oem2.inf", kNamesReader);
        station.FailCall(c.operation, c.code, 1);

        EXPECT_EQ(actions.ScanOemInfs(kPattern.c_str()), 0) << c.operation;
        EXPECT_TRUE(station.HasFile(kInf + "oem1.inf")) << c.operation;
        EXPECT_FALSE(station.HasFile(kInf + "oem2.inf")) << c.operation;
        EXPECT_EQ(capture.Text(), InfNotOpened(c.code) + FileNotDeleted(kInf + "oem2.pnf", 2)) << c.operation;
        EXPECT_EQ(station.OpenHandles(), 0u) << c.operation;
        EXPECT_EQ(station.LiveHeapBlocks(), 0u) << c.operation;
    }
}

TEST_F(CleanupGuards, OversizedFilesAndARefusedFirstBufferAreNotRead) {
    std::string huge = kNamesReader;
    huge.resize(static_cast<std::size_t>(kMaxInfFileSize) + 1, ' ');
    ws.AddFile(kInf + "oem1.inf", huge);
    EXPECT_EQ(Scan(), -1);
    EXPECT_EQ(ws.CallCount("HeapReAlloc"), 0u);
    EXPECT_EQ(ws.CallCount("ReadFile"), 0u);

    ws.FailCall("HeapAlloc", 8);
    EXPECT_EQ(Scan(), -1);
    EXPECT_TRUE(ws.HasFile(kInf + "oem1.inf"));
    EXPECT_EQ(log.Text(), InfNotOpened(223) + InfNotOpened(8));
}

TEST_F(CleanupGuards, AnotherProvidersServiceIsKeptForEveryUser) {
    // The system's own serial driver also serves the reader below.
    AddDevice("USB\\VID_C2B5&PID_000B\\1", "USB\\VID_C2B5&PID_000B", "0001", "mdmcpq.inf", "usbser",
              "Microsoft");
    AddDevice("USB\\VID_C2B5&PID_000A\\2", "USB\\VID_C2B5&PID_000A", "0002", "oem12.inf", "usbser");
    ws.AddService("usbser");
    AddInfPair("oem12", kNamesReader);
    AddDriverFiles();

    EXPECT_EQ(Pass(), 0);
    EXPECT_TRUE(ws.HasService("usbser"));
    EXPECT_EQ(ws.CallCount("OpenSCManager"), 0u);
    EXPECT_FALSE(ws.HasFile(kInf + "oem12.inf") || ws.HasFile(kComUsb));  // its fallback still ran
    EXPECT_EQ(log.Text(), ServiceKept("VID_C2B5&PID_000B"));
}

TEST_F(CleanupGuards, AFailedWriteBackIsLoggedAndTheRemovalStillTried) {
    const std::string first = kInf + "oem1.inf";
    const std::string second = kInf + "oem2.inf";
    ws.AddFile(first).ReadOnly();
    ws.AddFile(second).ReadOnly();
    ws.FailCall("SetFileAttributes", 5, 1);
    ws.FailCall("SetFileTime", 30, 1);

    cleaner.DeleteFileForced(first.c_str());
    cleaner.DeleteFileForced(second.c_str());
    EXPECT_EQ(ws.CallCount("DeleteFile"), 2u);
    EXPECT_FALSE(ws.HasFile(second));
    // The first stays read-only, so its removal is refused as well.
    EXPECT_EQ(log.Text(), FileNotDeleted(first, 5) + FileNotDeleted(first, 5) + FileNotDeleted(second, 30));
}

}  // namespace
}  // namespace vk
