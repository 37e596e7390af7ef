// The driver store and restart awareness over simulated workstations: a
// reader's published INF leaves the store with its files, a refused
// uninstall still loses its files, a shared INF goes with its last user, and
// whatever only a restart can finish is noticed (and a driver file in use is
// deleted at restart).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cleaner_app.h"
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
const std::string kDrivers = "C:\\Windows\\system32\\drivers\\";
const std::string kComUsb = kDrivers + "vlkcomusb.sys";
const std::string kUsbSer = kDrivers + "vlkusbser.sys";
const std::string kReaderInf = "[Devices]\r\nR=Install,USB\\VID_C2B5&PID_000A\r\n";

class StoreFixture : public ::testing::Test {
protected:
    StoreFixture() {
        ws.SetSystemMessage(5, "Access is denied.\r\n");
        ws.SetSystemMessage(
            32, "The process cannot access the file because it is being used by another process.\r\n");
        ws.SetSystemMessage(1072, "The specified service has been marked for deletion.\r\n");
    }
    void TearDown() override { EXPECT_EQ(ws.OpenHandles(), 0u); }

    sim::Device& AddReader(const std::string& instance, const std::string& slot, const std::string& inf,
                           const std::string& service) {
        ws.AddClassKey(kPorts + "\\" + slot).Value("ProviderName", Sz("VELKOR")).Value("InfPath", Sz(inf));
        return ws.AddDevice(instance)
            .HardwareIds({"USB\\VID_C2B5&PID_000A&REV_0100", "USB\\VID_C2B5&PID_000A"})
            .Class("Ports")
            .Driver(kPorts + "\\" + slot)
            .Service(service);
    }
    // An installed package: its INF pair in the INF folder and in the store.
    sim::DriverPackage& AddPublishedInf(const std::string& name) {
        ws.AddFile(kInf + name + ".inf", kReaderInf);
        ws.AddFile(kInf + name + ".pnf", "PNF");
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
    test::LogCapture log{cleaner};
};

using DriverStore = StoreFixture;
using RestartAwareness = StoreFixture;

TEST_F(DriverStore, AnUninstalledPackageTakesItsInfPairAlongAndNothingIsMissed) {
    AddReader("USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser");
    AddPublishedInf("oem12");
    ws.AddFile(kInf + "oem3.inf", "USB\\VID_046D&PID_C52B");
    ws.AddDriverPackage("oem3.inf");

    EXPECT_EQ(Pass(), 0);
    // Uninstalled before the INF step looks for the files, which are gone.
    EXPECT_EQ(ws.Calls(), (Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000A\\1", "UninstallOEMInf oem12.inf",
                                 "DeleteService vlkusbser"}));
    EXPECT_FALSE(ws.HasDriverPackage("oem12.inf"));
    EXPECT_FALSE(ws.HasFile(kInf + "oem12.inf"));
    EXPECT_FALSE(ws.HasFile(kInf + "oem12.pnf"));
    EXPECT_TRUE(ws.HasDriverPackage("oem3.inf"));
    EXPECT_TRUE(ws.HasFile(kInf + "oem3.inf"));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(DriverStore, AScanMatchIsUninstalledAndItsMissingTwinIsNoFailure) {
    // No reader device: the fallback finds oem5.inf by content.
    AddPublishedInf("oem5");
    ws.AddFile(kComUsb, "MZ");
    ws.AddFile(kUsbSer, "MZ");

    ASSERT_EQ(cleaner.ScanOemInfs((kInf + "oem*.inf").c_str()), 0);
    cleaner.DeleteDriverFiles();
    EXPECT_EQ(ws.Calls(),
              (Calls{"UninstallOEMInf oem5.inf", "DeleteFile " + kComUsb, "DeleteFile " + kUsbSer}));
    EXPECT_FALSE(ws.HasDriverPackage("oem5.inf"));
    EXPECT_FALSE(ws.HasFile(kInf + "oem5.inf"));
    EXPECT_FALSE(ws.HasFile(kInf + "oem5.pnf"));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(DriverStore, ARefusedUninstallIsLoggedAndTheFilesStillGo) {
    AddReader("USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
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
    AddReader("USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser");
    AddPublishedInf("oem12");

    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(ws.Calls(), (Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000A\\1", "DeleteFile " + kInf + "oem12.inf",
                                 "DeleteFile " + kInf + "oem12.pnf", "DeleteService vlkusbser"}));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(DriverStore, ASharedInfIsUninstalledOnceWithItsLastUser) {
    AddReader("USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    AddReader("USB\\VID_C2B5&PID_000A\\2", "0004", "OEM12.INF", "vlkusbser");
    ws.AddService("vlkusbser");
    AddPublishedInf("oem12");

    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(ws.Calls(),
              (Calls{"DIF_REMOVE USB\\VID_C2B5&PID_000A\\1", "DIF_REMOVE USB\\VID_C2B5&PID_000A\\2",
                     "UninstallOEMInf OEM12.INF", "DeleteService vlkusbser"}));
    EXPECT_FALSE(ws.HasDriverPackage("oem12.inf"));
}

TEST_F(DriverStore, ASharedInfStaysInTheStoreWhileAUserFailedToBeRemoved) {
    AddReader("USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    AddReader("USB\\VID_C2B5&PID_000A\\2", "0004", "oem12.inf", "vlkusbser").RemoveFails(ERROR_ACCESS_DENIED);
    ws.AddService("vlkusbser");
    ws.AddFile(kInf + "oem12.inf", "no reader named here");
    ws.AddDriverPackage("oem12.inf");

    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(ws.CallCount("UninstallOEMInf"), 0u);
    EXPECT_TRUE(ws.HasDriverPackage("oem12.inf"));
}

TEST_F(RestartAwareness, TheClassInstallersFlagsDecide) {
    AddReader("USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    EXPECT_EQ(Pass(), 0);
    EXPECT_FALSE(cleaner.RestartNeeded());

    for (DWORD flag : {DI_NEEDREBOOT, DI_NEEDRESTART}) {
        SimulatedWorkstation other;
        other.AddClassKey(kPorts + "\\0003")
            .Value("ProviderName", Sz("VELKOR"))
            .Value("InfPath", Sz("oem12.inf"));
        other.AddDevice("USB\\VID_C2B5&PID_000A\\1")
            .HardwareIds({"USB\\VID_C2B5&PID_000A"})
            .Class("Ports")
            .Driver(kPorts + "\\0003")
            .RestartFlagsAfterRemove(flag | 0x4);
        CCleanupActions pass(other);
        EXPECT_EQ(pass.EnumerateTargetDevices(TargetTable()), 0);
        pass.RemoveDevices();
        pass.ReleaseInventory();
        EXPECT_TRUE(pass.RestartNeeded()) << flag;
    }
}

TEST_F(RestartAwareness, AServiceAlreadyMarkedForDeletionNeedsARestart) {
    AddReader("USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser").markedForDeletion = true;
    EXPECT_EQ(Pass(), 0);
    EXPECT_TRUE(cleaner.RestartNeeded());
    EXPECT_NE(log.Text().find("marked for deletion"), std::string::npos);
}

TEST_F(RestartAwareness, ADriverFileInUseIsDeletedAtRestart) {
    // What was done is in the log too.
    test::LogCapture log{cleaner, true};
    ws.AddFile(kComUsb, "MZ").HeldOpen();
    ws.AddFile(kUsbSer, "MZ");
    cleaner.DeleteDriverFiles();

    EXPECT_EQ(ws.Calls(), (Calls{"MoveFileEx " + kComUsb + " at restart", "DeleteFile " + kUsbSer}));
    EXPECT_EQ(ws.DeletionsAtRestart(), (Calls{kComUsb}));
    EXPECT_TRUE(ws.HasFile(kComUsb));
    EXPECT_TRUE(cleaner.RestartNeeded());
    EXPECT_EQ(log.Text(),
              "[INFO] : " + kComUsb +
                  " : le fichier ne peut \xEAtre effac\xE9\r\n"
                  "The process cannot access the file because it is being used by another process.\r\n\r\n"
                  "[INFO] : " +
                  kComUsb +
                  " : le fichier est en cours d'utilisation : il sera effac\xE9 au "
                  "red\xE9marrage\r\n"
                  "[INFO] : " + kUsbSer + " : fichier effac\xE9\r\n");
}

TEST_F(RestartAwareness, AFileInUseThatCannotBeScheduledStillNeedsARestart) {
    ws.AddFile(kComUsb, "MZ").HeldOpen();
    ws.AddFile(kUsbSer, "MZ");
    ws.FailCall("MoveFileEx", ERROR_ACCESS_DENIED);
    cleaner.DeleteDriverFiles();

    EXPECT_TRUE(ws.DeletionsAtRestart().empty());
    EXPECT_TRUE(cleaner.RestartNeeded());
    EXPECT_NE(log.Text().find(kComUsb + " : le fichier ne peut \xEAtre programm\xE9 pour effacement au "
                                        "red\xE9marrage\r\nAccess is denied."),
              std::string::npos);
}

// --- The whole program -----------------------------------------------------

const char* const kReplugText =
    "Rebranchez maintenant votre lecteur VELKOR\nau poste de travail pour continuer l'installation.";

void DescribeReader(SimulatedWorkstation& ws, DWORD flagsAfterRemove) {
    ws.AddClassKey(kPorts + "\\0003").Value("ProviderName", Sz("VELKOR")).Value("InfPath", Sz("oem12.inf"));
    ws.AddDevice("USB\\VID_C2B5&PID_000A\\1")
        .HardwareIds({"USB\\VID_C2B5&PID_000A"})
        .Class("Ports")
        .Driver(kPorts + "\\0003")
        .Service("vlkusbser")
        .RestartFlagsAfterRemove(flagsAfterRemove);
    ws.AddService("vlkusbser");
    ws.AddFile(kInf + "oem12.inf", kReaderInf);
    ws.AddDriverPackage("oem12.inf");
}

TEST(RestartPrompt, TheSecondPromptAsksForARestartOnlyWhenOneIsNeeded) {
    SimulatedWorkstation plain;
    DescribeReader(plain, 0);
    EXPECT_EQ(RunVelkorUSBCleaner(plain), 0);
    ASSERT_EQ(plain.Prompts().size(), 2u);
    EXPECT_EQ(plain.Prompts()[1].text, kReplugText);

    SimulatedWorkstation rebooting;
    DescribeReader(rebooting, DI_NEEDREBOOT);
    EXPECT_EQ(RunVelkorUSBCleaner(rebooting), 0);
    ASSERT_EQ(rebooting.Prompts().size(), 2u);
    EXPECT_EQ(
        rebooting.Prompts()[1].text,
        std::string(kReplugText) + "\n\nRed\xE9marrez ensuite l'ordinateur pour terminer le nettoyage.");
    EXPECT_FALSE(rebooting.HasDriverPackage("oem12.inf"));
}

TEST(RestartPrompt, AnUnattendedRunSaysSoInItsExitStatus) {
    SimulatedWorkstation plain;
    DescribeReader(plain, 0);
    EXPECT_EQ(RunVelkorUSBCleaner(plain, {"/quiet"}), 0);

    SimulatedWorkstation rebooting;
    DescribeReader(rebooting, DI_NEEDRESTART);
    EXPECT_EQ(RunVelkorUSBCleaner(rebooting, {"/quiet"}), 3010);
    EXPECT_TRUE(rebooting.Prompts().empty());
    EXPECT_FALSE(rebooting.HasDevice("USB\\VID_C2B5&PID_000A\\1"));
    EXPECT_FALSE(rebooting.HasService("vlkusbser"));
}

TEST(DryRunStore, ThePlanListsTheUninstallAndChangesNothing) {
    SimulatedWorkstation ws;
    DescribeReader(ws, DI_NEEDREBOOT);
    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/list"}), 0);
    EXPECT_TRUE(ws.Calls().empty());
    EXPECT_TRUE(ws.HasDriverPackage("oem12.inf"));
    const std::string& plan = ws.StandardOutput();
    EXPECT_NE(plan.find("  2. retirer du magasin des pilotes le paquet oem12.inf\r\n"
                        "  3. effacer le fichier C:\\Windows\\inf\\oem12.inf\r\n"),
              std::string::npos)
        << plan;
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
