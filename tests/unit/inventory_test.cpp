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

TEST(DeviceSelection, TargetsCaseInterfacesAndOtherMakers) {
    SimulatedWorkstation ws;
    const char* pids[] = {"000A", "000B", "000C", "000E", "0005", "0012"};
    int n = 0;
    for (const char* pid : pids) {
        std::string id = std::string("USB\\VID_C2B5&PID_") + pid;
        AddReader(ws, id + "\\" + std::to_string(n), "000" + std::to_string(n), "oem12.inf", "vlkusbser");
        ++n;
    }
    ws.AddDevice("USB\\VID_C2B5&PID_000C\\low").HardwareIds({"usb\\vid_c2b5&pid_000c&rev_0001", "usb\\vid_c2b5&pid_000c"});
    ws.AddDevice("USB\\VID_C2B5&PID_000A&MI_00\\if").HardwareIds(
        {"USB\\VID_C2B5&PID_000A&REV_0100&MI_00", "USB\\VID_C2B5&PID_000A&MI_00"});
    ws.AddDevice("USB\\VID_046D&PID_C52B\\mouse").HardwareIds({"USB\\VID_046D&PID_C52B"}).Class("HIDClass");
    ws.AddDevice("USB\\VID_C2B5&PID_0013\\near").HardwareIds({"USB\\VID_C2B5&PID_0013"});
    ws.AddDevice("USB\\ROOT_HUB\\noids").Class("USB");  // no hardware IDs at all: skipped
    // Two targets match; the device still gets one record.
    ws.AddDevice("USB\\VID_C2B5&PID_0012\\both").HardwareIds({"USB\\VID_C2B5&PID_0012", "USB\\VID_C2B5&PID_000A"});
    ws.AddDevice("USB\\VID_C2B5&PID_000B\\gone").HardwareIds({"USB\\VID_C2B5&PID_000B"}).NotPresent();

    CDeviceInventory inventory(ws);
    test::LogCapture capture(inventory);
    ASSERT_EQ(inventory.EnumerateTargetDevices(TargetTable()), 0);

    EXPECT_EQ(HardwareIds(inventory),
              (std::vector<std::string>{"VID_C2B5&PID_000A", "VID_C2B5&PID_000B", "VID_C2B5&PID_000C",
                                        "VID_C2B5&PID_000E", "VID_C2B5&PID_0005", "VID_C2B5&PID_0012",
                                        "VID_C2B5&PID_000C", "VID_C2B5&PID_000A&MI_00", "VID_C2B5&PID_0012",
                                        "VID_C2B5&PID_000B"}));
    // The three lists stay in step, k-th entry for the k-th record.
    ASSERT_EQ(inventory.m_infNames.GetCount(), inventory.m_devices.size());
    ASSERT_EQ(inventory.m_serviceNames.GetCount(), inventory.m_devices.size());
    auto inf = inventory.m_infNames.begin();
    for (const auto& record : inventory.m_devices) {
        EXPECT_TRUE(record->hasNameEntries);
        EXPECT_EQ(*record->posInfName, record->pszInfName.text());
        EXPECT_EQ(&*record->posInfName, &*inf++);
        EXPECT_EQ(*record->posServiceName, record->pszServiceName.text());
    }
    EXPECT_EQ(std::string(inventory.m_devices.front()->pszInfName.text()), "oem12.inf");
    EXPECT_EQ(std::string(inventory.m_devices.front()->pszServiceName.text()), "vlkusbser");
    inventory.ReleaseInventory();
    EXPECT_EQ(ws.LiveHeapBlocks(), 0u);
    EXPECT_EQ(ws.OpenHandles(), 0u);
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

    // No device-information set: -2, the failure logged with its code.
    SimulatedWorkstation ws2;
    ws2.FailCall("GetClassDevs", 5);
    ws2.SetSystemMessage(5, "Denied.\r\n");
    CDeviceInventory none(ws2);
    test::LogCapture capture2(none);
    EXPECT_EQ(none.EnumerateTargetDevices(TargetTable()), -2);
    EXPECT_TRUE(none.m_devices.empty());
    EXPECT_EQ(capture2.Text(),
              "[ERROR] : Impossible de conna\xEEtre la liste des p\xE9riph\xE9riques install\xE9s\r\nDenied.\r\n\r\n");
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
