// Whole passes of the program over simulated workstations: the exit status,
// what was removed and what stayed, and that everything was released before
// the second prompt.
#include <gtest/gtest.h>

#include "app/cleaner_app.h"
#include "platform/simulated/simulated.h"
#include "support/workstation.h"

namespace vk {
namespace {

using namespace test;
using sim::SimulatedWorkstation;

const std::string kReader = "USB\\VID_C2B5&PID_000A\\5&2C1B&0&1";
const std::string kMouse = "USB\\VID_046D&PID_C52B\\6&1F&0&2";

// The workstation of a typical support call: one earlier reader
// installation beside another maker's device.
void DescribeTypicalWorkstation(SimulatedWorkstation& ws) {
    AddReader(ws, kReader, "0003", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser");
    AddInfPair(ws, "oem12", "[Strings]\r\nVelkor.DeviceDesc=\"Lecteur\"\r\n; USB\\VID_C2B5&PID_000A\r\n");
    AddReader(ws, kMouse, "0009", "oem3.inf", "logimouse", "Logitech").Class("Mouse");
    ws.AddService("logimouse");
    AddInfPair(ws, "oem3", "USB\\VID_046D&PID_C52B");
    ws.AddFile(kComUsb, "MZ");
    ws.AddFile(kUsbSer, "MZ");
}

TEST(CleaningPass, TypicalWorkstation) {
    SimulatedWorkstation ws;
    DescribeTypicalWorkstation(ws);
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 0);

    // What the prompts say is in the rich workstation's transcript.
    ASSERT_EQ(ws.Prompts().size(), 2u);
    EXPECT_EQ(ws.Prompts()[1].liveHeapBlocks, 0u);
    EXPECT_EQ(ws.Prompts()[1].openHandles, 0u);
    EXPECT_EQ(ws.Calls(), (std::vector<std::string>{
                              "DIF_REMOVE " + kReader,
                              "DeleteFile " + kInf + "oem12.inf",
                              "DeleteFile " + kInf + "oem12.pnf",
                              "DeleteService vlkusbser",
                          }));
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
    ws.SetModulePath("D:\\Setup\\x64\\Nettoyage.v2.exe");
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 1);
    ASSERT_EQ(ws.Prompts().size(), 1u);
    EXPECT_EQ(ws.Prompts()[0].caption, "Nettoyage.v2");  // the program's name, whatever it is
    EXPECT_EQ(ws.CallCount("GetClassDevs"), 0u);
    EXPECT_TRUE(ws.Calls().empty());
    EXPECT_TRUE(ws.HasDevice(kReader));
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

}  // namespace
}  // namespace vk
