// Whole passes of the program over simulated workstations: the prompts, the
// exit status, what was removed and what stayed, and that everything was
// released before the second prompt.
#include <gtest/gtest.h>

#include "app/cleaner_app.h"
#include "platform/simulated/simulated.h"

namespace vk {
namespace {

using sim::SimulatedWorkstation;
using sim::Sz;

const std::string kPorts = "{4d36e978-e325-11ce-bfc1-08002be10318}";
const std::string kReader = "USB\\VID_C2B5&PID_000A\\5&2C1B&0&1";
const std::string kMouse = "USB\\VID_046D&PID_C52B\\6&1F&0&2";
const std::string kInf = "C:\\Windows\\inf\\";
const std::string kDrivers = "C:\\Windows\\system32\\drivers\\";

// The workstation of a typical support call: one earlier reader
// installation beside another maker's device.
void DescribeTypicalWorkstation(SimulatedWorkstation& ws) {
    ws.AddDevice(kReader)
        .HardwareIds({"USB\\VID_C2B5&PID_000A&REV_0100", "USB\\VID_C2B5&PID_000A"})
        .Class("Ports")
        .Driver(kPorts + "\\0003")
        .Service("vlkusbser");
    ws.AddClassKey(kPorts + "\\0003").Value("ProviderName", Sz("VELKOR")).Value("InfPath", Sz("oem12.inf"));
    ws.AddService("vlkusbser");
    ws.AddFile(kInf + "oem12.inf", "[Strings]\r\nVelkor.DeviceDesc=\"Lecteur\"\r\n; USB\\VID_C2B5&PID_000A\r\n");
    ws.AddFile(kInf + "oem12.pnf", "PNF");
    ws.AddDevice(kMouse).HardwareIds({"USB\\VID_046D&PID_C52B"}).Class("Mouse").Driver(kPorts + "\\0009").Service("logimouse");
    ws.AddClassKey(kPorts + "\\0009").Value("ProviderName", Sz("Logitech")).Value("InfPath", Sz("oem3.inf"));
    ws.AddService("logimouse");
    ws.AddFile(kInf + "oem3.inf", "USB\\VID_046D&PID_C52B");
    ws.AddFile(kInf + "oem3.pnf", "PNF");
    ws.AddFile(kDrivers + "vlkcomusb.sys", "MZ");
    ws.AddFile(kDrivers + "vlkusbser.sys", "MZ");
}

const char* const kUnplugText =
    "Avant de lancer l'installation de votre lecteur VELKOR\n(compatible Windows XP service pack 3),\n\nd\xE9"
    "branchez le c\xE2"
    "ble USB au niveau du poste de travail.";
const char* const kReplugText =
    "Rebranchez maintenant votre lecteur VELKOR\nau poste de travail pour continuer l'installation.";

TEST(CleaningPass, TypicalWorkstation) {
    SimulatedWorkstation ws;
    DescribeTypicalWorkstation(ws);
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 0);

    ASSERT_EQ(ws.Prompts().size(), 2u);
    EXPECT_EQ(ws.Prompts()[0].text, kUnplugText);
    EXPECT_EQ(ws.Prompts()[0].caption, "VelkorUSBCleaner");
    EXPECT_EQ(ws.Prompts()[0].type, MB_OKCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(ws.Prompts()[1].text, kReplugText);
    EXPECT_EQ(ws.Prompts()[1].caption, "VelkorUSBCleaner");
    EXPECT_EQ(ws.Prompts()[1].type, MB_OK | MB_ICONEXCLAMATION);
    // Every record, string, set and key was released before the second prompt.
    EXPECT_EQ(ws.Prompts()[1].liveHeapBlocks, 0u);
    EXPECT_EQ(ws.Prompts()[1].openHandles, 0u);

    EXPECT_EQ(ws.Calls(), (std::vector<std::string>{
                              "DIF_REMOVE " + kReader,
                              "DeleteFile " + kInf + "oem12.inf",
                              "DeleteFile " + kInf + "oem12.pnf",
                              "DeleteService vlkusbser",
                          }));
    EXPECT_FALSE(ws.HasDevice(kReader));
    EXPECT_FALSE(ws.HasService("vlkusbser"));
    EXPECT_TRUE(ws.HasDevice(kMouse));
    EXPECT_TRUE(ws.HasService("logimouse"));
    EXPECT_TRUE(ws.HasFile(kInf + "oem3.inf"));
    EXPECT_TRUE(ws.HasFile(kInf + "oem3.pnf"));
    // The INF was named directly: no scan, so the driver files stay.
    EXPECT_TRUE(ws.HasFile(kDrivers + "vlkcomusb.sys"));
    EXPECT_TRUE(ws.HasFile(kDrivers + "vlkusbser.sys"));
}

TEST(CleaningPass, CancelChangesNothing) {
    SimulatedWorkstation ws;
    DescribeTypicalWorkstation(ws);
    ws.AnswerPrompts({IDCANCEL});
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 1);
    EXPECT_EQ(ws.Prompts().size(), 1u);
    EXPECT_EQ(ws.CallCount("GetClassDevs"), 0u);
    EXPECT_TRUE(ws.Calls().empty());
    EXPECT_TRUE(ws.HasDevice(kReader));
}

TEST(CleaningPass, AFailedDeviceListDeletesNothing) {
    // No device list: second prompt, status 0, nothing touched. (The fault
    // sweep shows that every failure ends the run with everything released.)
    SimulatedWorkstation ws;
    DescribeTypicalWorkstation(ws);
    ws.FailCall("GetClassDevs", 5);
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 0);
    EXPECT_EQ(ws.Prompts().size(), 2u);
    EXPECT_TRUE(ws.Calls().empty());
}

TEST(CleaningPass, NoReaderFallsBackToTheInfScan) {
    // No reader device, but an INF that names one: the pair, then both
    // driver files, in that order.
    SimulatedWorkstation ws;
    ws.AddDevice(kMouse).HardwareIds({"USB\\VID_046D&PID_C52B"}).Class("Mouse");
    ws.AddFile(kInf + "oem4.inf", "[Models]\r\n%D%=Install, usb\\vid_c2b5&pid_000e\r\n");
    ws.AddFile(kInf + "oem4.pnf", "PNF");
    ws.AddFile(kInf + "oem5.inf", "USB\\VID_C2B5&PID_0012 only");
    ws.AddFile(kDrivers + "vlkcomusb.sys", "MZ");
    ws.AddFile(kDrivers + "vlkusbser.sys", "MZ");
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 0);
    EXPECT_EQ(ws.Calls(), (std::vector<std::string>{
                              "DeleteFile " + kInf + "oem4.inf",
                              "DeleteFile " + kInf + "oem4.pnf",
                              "DeleteFile " + kDrivers + "vlkcomusb.sys",
                              "DeleteFile " + kDrivers + "vlkusbser.sys",
                          }));
    EXPECT_TRUE(ws.HasFile(kInf + "oem5.inf"));
    EXPECT_EQ(ws.Prompts().size(), 2u);

    // Neither a reader nor a matching INF: nothing at all is deleted.
    SimulatedWorkstation bare;
    bare.AddFile(kInf + "oem5.inf", "USB\\VID_C2B5&PID_0012 only");
    bare.AddFile(kDrivers + "vlkcomusb.sys", "MZ");
    EXPECT_EQ(RunVelkorUSBCleaner(bare), 0);
    EXPECT_TRUE(bare.Calls().empty());
    EXPECT_TRUE(bare.HasFile(kDrivers + "vlkcomusb.sys"));
}

TEST(CleaningPass, ThirtyTwoBitProgramOnSixtyFourBitWindowsChangesNothing) {
    SimulatedWorkstation ws;
    DescribeTypicalWorkstation(ws);
    ws.SetWow64(true);
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 2);
    ASSERT_EQ(ws.Prompts().size(), 1u);
    EXPECT_NE(ws.Prompts()[0].text.find("version 64 bits"), std::string::npos);
    EXPECT_EQ(ws.CallCount("GetClassDevs"), 0u);
    EXPECT_TRUE(ws.Calls().empty());
}

TEST(CleaningPass, CaptionIsTheExecutableName) {
    SimulatedWorkstation ws;
    ws.SetModulePath("D:\\Setup\\x64\\Nettoyage.v2.exe");
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 0);
    ASSERT_EQ(ws.Prompts().size(), 2u);
    EXPECT_EQ(ws.Prompts()[0].caption, "Nettoyage.v2");
}

}  // namespace
}  // namespace vk
