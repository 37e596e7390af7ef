// Whole passes of the program that the rich workstation's transcript and the
// end-to-end scenarios do not show: a cancelled run under another name, and a
// workstation with nothing to clean.
#include <gtest/gtest.h>

#include "app/cleaner_app.h"
#include "platform/simulated/simulated.h"
#include "support/workstation.h"

namespace vk {
namespace {

using namespace test;
using sim::SimulatedWorkstation;

const std::string kReader = "USB\\VID_C2B5&PID_000A\\5&2C1B&0&1";

TEST(CleaningPass, CancelChangesNothing) {
    SimulatedWorkstation ws;
    AddReader(ws, kReader, "0003", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser");
    AddInfPair(ws, "oem12", kNamesReader);
    ws.AnswerPrompts({IDCANCEL});
    ws.SetModulePath("D:\\Setup\\x64\\Nettoyage.v2.exe");
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 1);
    ASSERT_EQ(ws.Prompts().size(), 1u);
    EXPECT_EQ(ws.Prompts()[0].caption, "Nettoyage.v2");  // the program's name, whatever it is
    EXPECT_EQ(ws.CallCount("GetClassDevs"), 0u);
    EXPECT_TRUE(ws.Calls().empty());
}

TEST(CleaningPass, NoReaderAndNoMatchingInfDeleteNothing) {
    // The fallback scan found nothing, so the driver files stay.
    SimulatedWorkstation ws;
    ws.AddFile(kInf + "oem5.inf", "USB\\VID_C2B5&PID_0012 only");
    ws.AddFile(kComUsb, "MZ");
    EXPECT_EQ(RunVelkorUSBCleaner(ws), 0);
    EXPECT_EQ(ws.Prompts().size(), 2u);
    EXPECT_TRUE(ws.Calls().empty());
    EXPECT_TRUE(ws.HasFile(kComUsb));
}

}  // namespace
}  // namespace vk
