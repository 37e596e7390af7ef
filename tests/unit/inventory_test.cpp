// Which devices are selected and what their records carry, over simulated
// workstations described in a few lines each.
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

std::vector<std::string> HardwareIds(const CDeviceInventory& inventory) {
    std::vector<std::string> ids;
    for (const auto& record : inventory.m_devices) {
        ids.push_back(record->pszHardwareId.present() ? record->pszHardwareId.text() : "<absent>");
    }
    return ids;
}

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
    EXPECT_EQ(HardwareIds(inventory), std::vector<std::string>{"VID_C2B5&PID_000A"});
    EXPECT_EQ(capture.Text(),
              "[ERROR] : Hardware ID : La valeur ne peut \xEAtre lue dans la base de registre\r\nToo small.\r\n\r\n");
    inventory.ReleaseInventory();
}

TEST(DeviceProperties, ClassAndServiceRules) {
    SimulatedWorkstation ws;
    const std::string id = "USB\\VID_C2B5&PID_000A";
    ws.AddDevice(id + "\\1").HardwareIds({id}).Class("Ports").LowerFilters({"filterA", "filterB"}).Service("svcX");
    ws.AddDevice(id + "\\2").HardwareIds({id}).Class("Ports");  // no service to read
    ws.AddDevice(id + "\\3").HardwareIds({id}).Service("svcY");  // class unreadable
    ws.SetSystemMessage(13, "The data is invalid.\r\n");
    CDeviceInventory inventory(ws);
    test::LogCapture capture(inventory);
    ASSERT_EQ(inventory.EnumerateTargetDevices(TargetTable()), 0);

    // Which class and service each record gets is the fuzz target's; here,
    // what the unreadable ones say.
    const std::string readFailed = "La valeur ne peut \xEAtre lue dans la base de registre";
    const std::string kept = "VID_C2B5&PID_000A : Le service correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9";
    const std::string infKept = "[INFO] : VID_C2B5&PID_000A : Le fichier .inf correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9";
    // Every device here lacks a driver key; devices 2 and 3 add their two
    // messages each, in order, and device 3 gets no service read at all.
    std::string expected = infKept;
    expected += infKept + "[INFO] : Service : " + readFailed + "\r\nThe data is invalid.\r\n\r\n[INFO] : " + kept;
    expected += infKept + "[INFO] : Class : " + readFailed + "\r\nThe data is invalid.\r\n\r\n[INFO] : " + kept;
    EXPECT_EQ(capture.Text(), expected);
    inventory.ReleaseInventory();
}

}  // namespace
}  // namespace vk
