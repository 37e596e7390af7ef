// The driver store, restart awareness and the 32-bit hand-over over
// simulated workstations: without the store's entry point the plain
// deletions run alone, whatever only a restart can finish is noticed and
// said, and a 32-bit program on 64-bit Windows hands the run to the 64-bit
// one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cleaner_app.h"
#include "cleanup/cleanup.h"
#include "platform/simulated/simulated.h"
#include "support/log_capture.h"
#include "support/workstation.h"

namespace vk {
namespace {

using namespace test;
using sim::SimulatedWorkstation;
using Names = std::vector<std::string>;

class StoreFixture : public ::testing::Test {
protected:
    StoreFixture() { SetSystemTexts(ws); }
    void TearDown() override { EXPECT_EQ(ws.OpenHandles(), 0u); }

    // An installed package: its INF pair in the INF folder and in the store.
    sim::DriverPackage& AddPublishedInf(const std::string& name) {
        AddInfPair(ws, name, kNamesReader);
        return ws.AddDriverPackage(name + ".inf");
    }
    int Pass() {
        EXPECT_EQ(cleaner.EnumerateTargetDevices(TargetTable()), 0);
        int result = cleaner.RemoveDevices();
        cleaner.ReleaseInventory();
        return result;
    }

    SimulatedWorkstation ws;
    CCleanupActions cleaner{ws};
    LogCapture log{cleaner};
};

using DriverStore = StoreFixture;
using RestartAwareness = StoreFixture;

TEST_F(DriverStore, WithoutTheEntryPointThePlainDeletionsRunAlone) {
    ws.SetStoreUninstallAvailable(false);
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser");
    AddPublishedInf("oem12");

    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(ws.Calls(), (Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000A\\1", "DeleteFile " + kInf + "oem12.inf",
                                 "DeleteFile " + kInf + "oem12.pnf", "DeleteService vlkusbser"}));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(RestartAwareness, AServiceAlreadyMarkedForDeletionNeedsARestart) {
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser").markedForDeletion = true;
    EXPECT_EQ(Pass(), 0);
    EXPECT_TRUE(cleaner.RestartNeeded());
    EXPECT_NE(log.Text().find("marked for deletion"), std::string::npos);
}

// --- The whole program -----------------------------------------------------

const char* const kReplugText =
    "Rebranchez maintenant votre lecteur VELKOR\nau poste de travail pour continuer l'installation.";

void DescribeReader(SimulatedWorkstation& ws, DWORD flagsAfterRemove, DWORD setFlagsAfterRemove = 0) {
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser")
        .RestartFlagsAfterRemove(flagsAfterRemove)
        .RestartFlagsOnSetAfterRemove(setFlagsAfterRemove);
    ws.AddService("vlkusbser");
    ws.AddFile(kInf + "oem12.inf", kNamesReader);
    ws.AddDriverPackage("oem12.inf");
}

TEST(RestartPrompt, TheSecondPromptOrTheExitStatusSaysWhenARestartIsNeeded) {
    SimulatedWorkstation plain;
    DescribeReader(plain, 0);
    EXPECT_EQ(RunVelkorUSBCleaner(plain), 0);
    ASSERT_EQ(plain.Prompts().size(), 2u);
    EXPECT_EQ(plain.Prompts()[1].text, kReplugText);

    // Either flag the class installer may leave, on the element or on the
    // set; other bits do not matter.
    SimulatedWorkstation rebooting;
    DescribeReader(rebooting, DI_NEEDREBOOT | 0x4);
    EXPECT_EQ(RunVelkorUSBCleaner(rebooting), 0);
    ASSERT_EQ(rebooting.Prompts().size(), 2u);
    EXPECT_EQ(
        rebooting.Prompts()[1].text,
        std::string(kReplugText) + "\n\nRed\xE9marrez ensuite l'ordinateur pour terminer le nettoyage.");
    EXPECT_FALSE(rebooting.HasDriverPackage("oem12.inf"));

    SimulatedWorkstation restarting;
    DescribeReader(restarting, 0, DI_NEEDRESTART);
    EXPECT_EQ(RunVelkorUSBCleaner(restarting, {"/quiet"}), 3010);
    EXPECT_TRUE(restarting.Prompts().empty());
    EXPECT_FALSE(restarting.HasDevice("USB\\VID_C2B5&PID_000A\\1"));
    EXPECT_FALSE(restarting.HasService("vlkusbser"));
}

// --- 32-bit hand-over ------------------------------------------------------

const std::string kFolder32 = "D:\\Setup\\VELKOR\\x86\\";
const std::string kSibling = "D:\\Setup\\VELKOR\\x64\\VelkorUSBCleaner.exe";

TEST(HandOver, The32BitProgramRunsThe64BitOneWithItsArgumentsAndReturnsItsStatus) {
    SimulatedWorkstation ws;
    ws.SetWow64(true);
    ws.SetModulePath(kFolder32 + "VelkorUSBCleaner.exe");
    ws.AddProgram(kSibling, 3010);
    ws.SetCommandLineTail("/quiet /log:\"C:\\Temp\\vk log.txt\"");

    EXPECT_EQ(RunVelkorUSBCleaner(ws), 3010);
    EXPECT_EQ(ws.Calls(), (Calls{"RunProcess " + kSibling + " | \"" + kSibling +
                                 "\" /quiet /log:\"C:\\Temp\\vk log.txt\""}));
    // The 64-bit program does the talking; this one shows nothing.
    EXPECT_TRUE(ws.Prompts().empty());
    EXPECT_EQ(ws.CallCount("GetClassDevs"), 0u);

    // The 64-bit program itself never hands over, whatever lies beside it.
    SimulatedWorkstation native;
    native.SetModulePath(kFolder32 + "VelkorUSBCleaner.exe");
    native.AddProgram(kSibling, 7);
    EXPECT_EQ(RunVelkorUSBCleaner(native), 0);
    EXPECT_EQ(native.CallCount("RunProcess"), 0u);
}

TEST(HandOver, WithoutThe64BitProgramThe32BitOneRefusesAndChangesNothing) {
    // No folder to look in, a folder where the program should be, a file
    // there that cannot be run, and the same refusal unattended.
    struct Case {
        std::string modulePath;
        bool folder;
        bool unrunnable;
        bool quiet;
    };
    const std::string own = kFolder32 + "VelkorUSBCleaner.exe";
    for (const Case& c : {Case{"VelkorUSBCleaner.exe", false, false, false}, Case{own, true, false, false},
                          Case{own, false, true, false}, Case{own, false, false, true}}) {
        SimulatedWorkstation ws;
        ws.SetWow64(true);
        ws.SetModulePath(c.modulePath);
        if (c.folder) ws.AddFolder(kSibling);
        if (c.unrunnable) ws.AddFile(kSibling, "not a program");
        EXPECT_EQ(RunVelkorUSBCleaner(ws, c.quiet ? Names{"/quiet"} : Names{}), 2);
        EXPECT_TRUE(test::CleaningCalls(ws).empty());
        // Unattended, the refusal is an Error event of its own.
        ASSERT_EQ(ws.Events().size(), c.quiet ? 1u : 0u);
        if (c.quiet) {
            EXPECT_EQ(ws.Events()[0].eventId, 200u);
            EXPECT_EQ(ws.Events()[0].type, EVENTLOG_ERROR_TYPE);
            EXPECT_TRUE(ws.Prompts().empty());
            EXPECT_EQ(ws.StandardError(), std::string(kPromptWow64) + "\r\n");
        } else {
            ASSERT_EQ(ws.Prompts().size(), 1u);
            EXPECT_EQ(ws.Prompts()[0].text, kPromptWow64);
        }
    }
}

}  // namespace
}  // namespace vk
