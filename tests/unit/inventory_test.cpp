// Where a device's hardware-ID list cannot be read, the enumeration ends.
// (Which devices are selected and what their records carry is the fuzz
// targets' and the rich workstation's transcript's.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inventory/inventory.h"
#include "platform/simulated/simulated.h"
#include "support/log_capture.h"
#include "support/workstation.h"

namespace vk {
namespace {

using namespace test;
using sim::SimulatedWorkstation;

TEST(DeviceSelection, HardwareIdFailuresEndTheEnumeration) {
    // A list over 260 bytes cannot be read: -1, later devices not examined.
    SimulatedWorkstation ws;
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\1", "0001", "oem12.inf", "vlkusbser");
    ws.AddDevice("USB\\VID_1234&PID_0001\\long").HardwareIds({std::string(150, 'A'), std::string(150, 'B')});
    ws.AddDevice("USB\\VID_C2B5&PID_000B\\2").HardwareIds({"USB\\VID_C2B5&PID_000B"});
    ws.SetSystemMessage(122, "Too small.\r\n");
    CDeviceInventory inventory(ws);
    test::LogCapture capture(inventory);
    EXPECT_EQ(inventory.EnumerateTargetDevices(TargetTable()), -1);
    ASSERT_EQ(inventory.m_devices.size(), 1u);
    EXPECT_STREQ(inventory.m_devices.front()->pszHardwareId.text(), "VID_C2B5&PID_000A");
    EXPECT_EQ(capture.Text(),
              "[ERROR] : Hardware ID : La valeur ne peut \xEAtre lue dans la base de registre\r\nToo "
              "small.\r\n\r\n");
    inventory.ReleaseInventory();
}

}  // namespace
}  // namespace vk
