// The driver store, restart awareness and the 32-bit hand-over over
// simulated workstations: a reader's published INF leaves the store with its
// files, a refused uninstall still loses its files, whatever only a restart
// can finish is noticed and said, and a 32-bit program on 64-bit Windows
// hands the run to the 64-bit one.
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

TEST_F(DriverStore, ARefusedUninstallIsLoggedAndTheFilesStillGo) {
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser");
    AddPublishedInf("oem12").UninstallFails(ERROR_ACCESS_DENIED);
    AddPublishedInf("oem5").UninstallFails(ERROR_ACCESS_DENIED);

    EXPECT_EQ(Pass(), 0);
    ASSERT_EQ(cleaner.ScanOemInfs((kInf + "oem*.inf").c_str()), 0);
    EXPECT_EQ(ws.Calls(), (Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000A\\1", "DeleteFile " + kInf + "oem12.inf",
                                 "DeleteFile " + kInf + "oem12.pnf", "DeleteService vlkusbser",
                                 "DeleteFile " + kInf + "oem5.inf", "DeleteFile " + kInf + "oem5.pnf"}));
    EXPECT_TRUE(ws.HasDriverPackage("oem12.inf"));
    EXPECT_TRUE(ws.HasDriverPackage("oem5.inf"));
    const std::string refused =
        " : le paquet de pilote ne peut \xEAtre retir\xE9 du magasin des pilotes\r\n"
        "Access is denied.\r\n\r\n";
    EXPECT_EQ(log.Text(), "[INFO] : oem12.inf" + refused + "[INFO] : oem5.inf" + refused);
}

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

void DescribeReader(SimulatedWorkstation& ws, DWORD flagsAfterRemove) {
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser")
        .RestartFlagsAfterRemove(flagsAfterRemove);
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
    SimulatedWorkstation plainQuiet;
    DescribeReader(plainQuiet, 0);
    EXPECT_EQ(RunVelkorUSBCleaner(plainQuiet, {"/quiet"}), 0);

    // Either flag the class installer may leave; other bits do not matter.
    SimulatedWorkstation rebooting;
    DescribeReader(rebooting, DI_NEEDREBOOT | 0x4);
    EXPECT_EQ(RunVelkorUSBCleaner(rebooting), 0);
    ASSERT_EQ(rebooting.Prompts().size(), 2u);
    EXPECT_EQ(
        rebooting.Prompts()[1].text,
        std::string(kReplugText) + "\n\nRed\xE9marrez ensuite l'ordinateur pour terminer le nettoyage.");
    EXPECT_FALSE(rebooting.HasDriverPackage("oem12.inf"));

    SimulatedWorkstation restarting;
    DescribeReader(restarting, DI_NEEDRESTART);
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
    ws.AddService("vlkusbser");

    EXPECT_EQ(RunVelkorUSBCleaner(ws), 3010);
    EXPECT_EQ(ws.Calls(), (Calls{"RunProcess " + kSibling + " | \"" + kSibling +
                                 "\" /quiet /log:\"C:\\Temp\\vk log.txt\""}));
    // The 64-bit program does the talking; this one shows nothing.
    EXPECT_TRUE(ws.Prompts().empty());
    EXPECT_EQ(ws.CallCount("GetClassDevs"), 0u);
}

TEST(HandOver, WithoutThe64BitProgramThe32BitOneRefusesAndChangesNothing) {
    for (const std::string& modulePath :
         {kFolder32 + "VelkorUSBCleaner.exe", std::string("VelkorUSBCleaner.exe")}) {
        SimulatedWorkstation ws;
        ws.SetWow64(true);
        ws.SetModulePath(modulePath);
        // A folder of that name is no program.
        ws.AddFolder(kSibling);
        EXPECT_EQ(RunVelkorUSBCleaner(ws), 2) << modulePath;
        ASSERT_EQ(ws.Prompts().size(), 1u);
        EXPECT_EQ(ws.Prompts()[0].text, kPromptWow64);
        EXPECT_TRUE(ws.Calls().empty());
    }

    // A file there that cannot be run is no way out either.
    SimulatedWorkstation unrunnable;
    unrunnable.SetWow64(true);
    unrunnable.SetModulePath(kFolder32 + "VelkorUSBCleaner.exe");
    unrunnable.AddFile(kSibling, "not a program");
    EXPECT_EQ(RunVelkorUSBCleaner(unrunnable), 2);
    EXPECT_EQ(unrunnable.Prompts().size(), 1u);
}

TEST(HandOver, UnattendedTheRefusalGoesToStandardError) {
    SimulatedWorkstation ws;
    ws.SetWow64(true);
    ws.SetModulePath(kFolder32 + "VelkorUSBCleaner.exe");
    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/quiet"}), 2);
    EXPECT_TRUE(ws.Prompts().empty());
    EXPECT_EQ(ws.StandardError(), std::string(kPromptWow64) + "\r\n");
    EXPECT_TRUE(ws.Calls().empty());
}

TEST(HandOver, The64BitProgramNeverHandsOver) {
    SimulatedWorkstation ws;
    ws.SetModulePath("D:\\Setup\\VELKOR\\x86\\VelkorUSBCleaner.exe");
    ws.AddProgram(kSibling, 7);
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 0);
    EXPECT_EQ(ws.CallCount("RunProcess"), 0u);
    EXPECT_EQ(ws.Prompts().size(), 2u);
}

}  // namespace
}  // namespace vk
