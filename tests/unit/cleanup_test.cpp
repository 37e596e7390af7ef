// The cleanup actions over simulated workstations, where the rich
// workstation's transcripts do not reach: another provider's service shared
// with a reader, the scan's course and limits, names and paths that must be
// refused, and what a forced deletion writes back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleanup/cleanup.h"
#include "platform/simulated/simulated.h"
#include "support/log_capture.h"
#include "support/workstation.h"

namespace vk {
namespace {

using namespace test;
using sim::SimulatedWorkstation;

class CleanupFixture : public ::testing::Test {
protected:
    // Primitives called alone see a workstation without other devices; a
    // pass walks the devices again.
    CleanupFixture() {
        SetSystemTexts(ws);
        cleaner.CollectOutsideUses();
    }
    // Every operation closes what it opened, on every path.
    void TearDown() override { EXPECT_EQ(ws.OpenHandles(), 0u); }

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
    LogCapture log{cleaner};
};

using CleanupRegisters = CleanupFixture;
using CleanupScan = CleanupFixture;
using CleanupPrimitives = CleanupFixture;
using CleanupGuards = CleanupFixture;

TEST_F(CleanupRegisters, AnotherProvidersServiceIsKeptForEveryUser) {
    // The system's own serial driver also serves the reader below. A reader
    // whose class key is missing runs a service whose image is the maker's
    // driver file: that service is the maker's and goes.
    AddReader(ws, "USB\\VID_C2B5&PID_000B\\1", "0001", "mdmcpq.inf", "usbser", "Microsoft");
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\2", "0002", "oem12.inf", "usbser");
    ws.AddDevice("USB\\VID_C2B5&PID_000C\\3")
        .HardwareIds({"USB\\VID_C2B5&PID_000C"})
        .Class("Ports")
        .Service("vlk");
    ws.AddService("usbser");
    ws.AddService("vlk", "\\SystemRoot\\System32\\DRIVERS\\vlkusbser.sys");
    AddInfPair(ws, "oem12", kNamesReader);
    ws.AddFile(kComUsb, "MZ");

    EXPECT_EQ(Pass(), 0);
    EXPECT_TRUE(ws.HasService("usbser"));
    EXPECT_FALSE(ws.HasService("vlk"));
    EXPECT_EQ(ws.CallCount("OpenSCManager"), 1u);
    EXPECT_FALSE(ws.HasFile(kInf + "oem12.inf") || ws.HasFile(kComUsb));  // its fallback still ran
    EXPECT_EQ(log.Text(),
              "[INFO] : VID_C2B5&PID_000C : Le fichier .inf correspondant \xE0 ce p\xE9riph\xE9rique ne "
              "sera pas d\xE9sinstall\xE9" +
                  FileNotDeleted(kUsbSer, 2) + ServiceKept("VID_C2B5&PID_000B"));
}

// Which texts name a reader is the fuzz target's (against a plain search, on
// both code pages, from seeds at the edges of the IDs and of double-byte
// characters); here, the scan's course.
TEST_F(CleanupScan, NoFileAllocatesNothingOneIsExaminedAndASearchErrorFails) {
    EXPECT_EQ(Scan(), -1);
    EXPECT_EQ(ws.CallCount("HeapAlloc"), 0u);

    // One buffer, of the largest file plus one byte, serves the whole scan.
    AddInfPair(ws, "oem1", kNamesReader);
    AddInfPair(ws, "oem4", std::string(70000, 'y'));
    AddInfPair(ws, "oem5", std::string(30000, 'z'));
    EXPECT_EQ(Scan(), 0);
    EXPECT_EQ(ws.Calls(), (Calls{"DeleteFile " + kInf + "oem1.inf", "DeleteFile " + kInf + "oem1.pnf"}));
    EXPECT_EQ(ws.PeakHeapBytes(), 70001u);
    EXPECT_EQ(ws.CallCount("HeapAlloc"), 1u);

    // The first file matched; the second advance failed, so the file then held stays unexamined.
    AddInfPair(ws, "oem2", kNamesReader);
    AddInfPair(ws, "oem3", kNamesReader);
    ws.FailCall("FindNextFile", 5, 2);
    EXPECT_EQ(Scan(), -1);
    EXPECT_FALSE(ws.HasFile(kInf + "oem2.inf"));
    EXPECT_TRUE(ws.HasFile(kInf + "oem3.inf"));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(CleanupGuards, OversizedFilesAndARefusedFirstBufferAreNotRead) {
    // Too large to read, and no first buffer at all.
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

TEST_F(CleanupGuards, CraftedInfNamesDeleteNothing) {
    // A registry InfPath pointing at a driver file, through the whole pass.
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\1", "0001", "..\\system32\\drivers\\x.sys", "");
    ws.AddFile(kDrivers + "x.sys");
    ws.AddFile(kComUsb, "MZ");
    ws.AddFile(kUsbSer, "MZ");
    EXPECT_EQ(Pass(), 0);
    std::string expected = FileNotDeleted("..\\system32\\drivers\\x.sys", 123);

    // Refused as they stand, never trimmed into a usable name.
    for (const char* name : {"C:\\Windows\\win.inf", "../oem1.inf", "..\\inf\\oem1.inf", "C:oem1.inf",
                             "oem*.inf", "oem1.sys", ".inf", "oem\t1.inf", "oem1.inf ", "oem1.inf."}) {
        EXPECT_FALSE(cleaner.DeleteInfPair(name)) << name;
        expected += FileNotDeleted(name, 123);
    }
    EXPECT_EQ(ws.Calls(), Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000A\\1"});
    EXPECT_TRUE(ws.HasFile(kDrivers + "x.sys"));
    EXPECT_EQ(log.Text(), expected);
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

TEST_F(CleanupPrimitives, ReadOnlyIsClearedTimesKeptToWholeSecondsAndAbsenceLogged) {
    // The first removal is refused, so what was written back can be read.
    const std::string path = kInf + "oem1.inf";
    ws.AddFile(path)
        .Attributes(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY)
        .Times(130000000001234567, 130000000019999999, 130000000020000000)
        .DeleteRefused(5);
    const std::string bare = kInf + "oem2.inf";
    ws.AddFile(bare).Attributes(FILE_ATTRIBUTE_READONLY);
    const std::string hidden = kInf + "oem3.inf";
    ws.AddFile(hidden).Attributes(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);

    cleaner.DeleteFileForced(path.c_str());
    cleaner.DeleteFileForced(bare.c_str());
    cleaner.DeleteFileForced(hidden.c_str());
    cleaner.DeleteDriverFiles();  // neither is there
    EXPECT_EQ(ws.Calls(), (Calls{"SetFileAttributes " + path + " 0x2", "SetFileTime " + path,
                                 "SetFileAttributes " + bare + " 0x80", "SetFileTime " + bare,
                                 "DeleteFile " + bare, "DeleteFile " + hidden}));
    const sim::File* kept = ws.FindFile(path);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->attributes, FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(kept->creationTime, 130000000000000000u);
    EXPECT_EQ(kept->lastAccessTime, 130000000010000000u);
    EXPECT_EQ(kept->lastWriteTime, 130000000020000000u);
    EXPECT_FALSE(ws.HasFile(bare) || ws.HasFile(hidden));
    EXPECT_EQ(log.Text(), FileNotDeleted(path, 5) + FileNotDeleted(kComUsb, 2) + FileNotDeleted(kUsbSer, 2));
}

TEST_F(CleanupPrimitives, InfPairsArePlainNamesWhoseTwinDiffersByOneLetter) {
    // Katakana names whose trail bytes 0x5C and 0x7C read as '\\' and '|' when
    // taken byte by byte; a lead byte before a '/' does not hide it. A pair
    // without its twin is no failure.
    ws.SetCodePage(sim::CodePage::DoubleByte932);
    const std::string software = "\x83\x5C\x83\x74\x83\x67";
    const std::string port = "\x83\x7C\x81\x5B\x83\x67";
    AddInfPair(ws, software, "");
    AddInfPair(ws, port, "");
    ws.AddFile(kInf + "x.inf");

    EXPECT_TRUE(cleaner.DeleteInfPair((software + ".inf").c_str()));
    EXPECT_TRUE(cleaner.DeleteInfPair((port + ".INF").c_str()));
    EXPECT_TRUE(cleaner.DeleteInfPair("x.inf"));
    EXPECT_FALSE(cleaner.DeleteInfPair("\x83/x.inf"));
    EXPECT_EQ(ws.Calls(),
              (Calls{"DeleteFile " + kInf + software + ".inf", "DeleteFile " + kInf + software + ".pnf",
                     "DeleteFile " + kInf + port + ".INF", "DeleteFile " + kInf + port + ".pNF",
                     "DeleteFile " + kInf + "x.inf"}));
    EXPECT_FALSE(ws.HasFile(kInf + port + ".pnf"));
    EXPECT_EQ(log.Text(), FileNotDeleted("\x83/x.inf", 123));
}

}  // namespace
}  // namespace vk
