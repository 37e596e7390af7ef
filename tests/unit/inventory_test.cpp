// Which devices are selected and what their records carry, over simulated
// workstations described in a few lines each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inventory/inventory.h"
#include "platform/simulated/simulated.h"
#include "support/log_capture.h"

namespace vk {
namespace {

using sim::Dword;
using sim::MultiSz;
using sim::Raw;
using sim::SimulatedWorkstation;
using sim::Sz;

const std::string kPorts = "{4d36e978-e325-11ce-bfc1-08002be10318}";

// A reader installed by the maker's package: class key with provider and INF.
sim::Device& AddReader(SimulatedWorkstation& ws, const std::string& instance, const std::vector<std::string>& ids,
                       const std::string& slot, const std::string& provider = "VELKOR",
                       const std::string& inf = "oem12.inf") {
    ws.AddClassKey(kPorts + "\\" + slot).Value("ProviderName", Sz(provider)).Value("InfPath", Sz(inf));
    return ws.AddDevice(instance).HardwareIds(ids).Class("Ports").Driver(kPorts + "\\" + slot).Service("vlkusbser");
}

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
        AddReader(ws, id + "\\" + std::to_string(n), {id + "&REV_0100", id}, "000" + std::to_string(n));
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
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\1", {"USB\\VID_C2B5&PID_000A"}, "0001");
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

TEST(DeviceProperties, RevisionStrippingAndHardwareIdChoice) {
    SimulatedWorkstation ws;
    ws.AddDevice("USB\\A\\1").HardwareIds({"usb\\vid_c2b5&pid_000a&rev_0100", "usb\\vid_c2b5&pid_000a"});
    ws.AddDevice("USB\\A\\2").HardwareIds({"USB\\VID_C2B5&PID_000A&REV_0100"});  // only the revision form
    ws.AddDevice("USB\\A\\3").HardwareIds({"USB\\VID_C2B5&PID_000A&REV_0100&MI_00", "USB\\VID_C2B5&PID_000A&MI_00"});
    // "REV_" anywhere else does not count; a string under 26 characters never does.
    ws.AddDevice("USB\\A\\4").HardwareIds({"USB\\VID_C2B5&PID_000AREV_01"});
    ws.AddDevice("USB\\A\\5").HardwareIds({"USB\\VID_C2B5&PID_0005&X&REV_0001"});
    CDeviceInventory inventory(ws);
    test::LogCapture capture(inventory);
    ASSERT_EQ(inventory.EnumerateTargetDevices(TargetTable()), 0);
    EXPECT_EQ(HardwareIds(inventory),
              (std::vector<std::string>{"VID_C2B5&PID_000A", "<absent>", "VID_C2B5&PID_000A&MI_00",
                                        "VID_C2B5&PID_000AREV_01", "VID_C2B5&PID_0005&X&REV_0001"}));
    // The device without a usable ID is still named in its messages (it has
    // no driver key here, so its INF is kept).
    EXPECT_NE(capture.Text().find("[INFO] : (ID inconnu) : Le fichier .inf"), std::string::npos);
    inventory.ReleaseInventory();
}

TEST(DeviceProperties, ProviderAndInfPathRules) {
    SimulatedWorkstation ws;
    const std::string id = "USB\\VID_C2B5&PID_000A";
    auto reader = [&](const std::string& n) -> sim::Device& {
        return ws.AddDevice(id + "\\" + n).HardwareIds({id}).Class("Ports").Driver(kPorts + "\\" + n);
    };
    std::string inf49 = std::string(45, 'a') + ".inf";
    std::string inf50 = std::string(46, 'a') + ".inf";
    ws.AddClassKey(kPorts + "\\1").Value("ProviderName", Sz("velkor")).Value("InfPath", Sz("oem12.inf"));
    ws.AddClassKey(kPorts + "\\2").Value("ProviderName", Sz("VELKOR2")).Value("InfPath", Sz("oem13.inf"));
    ws.AddClassKey(kPorts + "\\3").Value("ProviderName", Sz("VeLkOr")).Value("InfPath", Sz(inf49));
    ws.AddClassKey(kPorts + "\\4").Value("ProviderName", Sz("VELKOR")).Value("InfPath", Sz(inf50));
    ws.AddClassKey(kPorts + "\\5").Value("ProviderName", Dword(1)).Value("InfPath", Sz("oem15.inf"));
    ws.AddClassKey(kPorts + "\\6").Value("ProviderName", Raw(REG_SZ, "VELKOR")).Value("InfPath", Sz("oem16.inf"));
    ws.AddClassKey(kPorts + "\\7").RefuseFullAccess().Value("ProviderName", Sz("VELKOR")).Value("InfPath", Sz("x.inf"));
    ws.AddClassKey(kPorts + "\\8").Value("ProviderName", Sz("VELKOR")).Value("InfPath", Raw(REG_SZ, "oem18.inf"));
    ws.AddClassKey(kPorts + "\\9").Value("ProviderName", Sz("Microsoft")).Value("InfPath", Sz("usbser.inf"));
    ws.AddClassKey(kPorts + "\\10").Value("ProviderName", Sz(std::string(300, 'V')));
    for (int i = 1; i <= 10; ++i) reader(std::to_string(i)).Service("svc");
    CDeviceInventory inventory(ws);
    test::LogCapture capture(inventory);
    ASSERT_EQ(inventory.EnumerateTargetDevices(TargetTable()), 0);

    std::vector<std::string> infs;
    std::vector<bool> foreign;
    for (const auto& record : inventory.m_devices) {
        infs.push_back(record->pszInfName.text());
        foreign.push_back(record->foreignProvider);
        EXPECT_TRUE(record->pszInfName.present());
    }
    EXPECT_EQ(infs, (std::vector<std::string>{"oem12.inf", "", inf49, "", "", "", "", "", "", ""}));
    // Only a provider read as the maker's makes the service the maker's.
    EXPECT_EQ(foreign, (std::vector<bool>{false, true, false, false, true, true, true, false, true, true}));
    // The class key path stands even when the key cannot be opened.
    auto seventh = std::next(inventory.m_devices.begin(), 6);
    EXPECT_EQ(std::string((*seventh)->pszClassKeyPath.text()),
              "System\\CurrentControlSet\\Control\\Class\\" + kPorts + "\\7");
    EXPECT_EQ(capture.Text(), "");  // none of these is reported
    inventory.ReleaseInventory();
    EXPECT_EQ(ws.OpenHandles(), 0u);
}

TEST(DeviceProperties, ClassAndServiceRules) {
    SimulatedWorkstation ws;
    const std::string id = "USB\\VID_C2B5&PID_000A";
    ws.AddDevice(id + "\\1").HardwareIds({id}).Class("Ports").LowerFilters({"filterA", "filterB"}).Service("svcX");
    ws.AddDevice(id + "\\2").HardwareIds({id}).Class("Ports").Service("svcX");
    ws.AddDevice(id + "\\3").HardwareIds({id}).Class("USB").Service("usbccgp");
    ws.AddDevice(id + "\\4").HardwareIds({id}).Class("usb").Service("usbccgp");
    ws.AddDevice(id + "\\5").HardwareIds({id}).Class("Ports");  // no service to read
    ws.AddDevice(id + "\\6").HardwareIds({id}).Service("svcY");  // class unreadable
    ws.SetSystemMessage(13, "The data is invalid.\r\n");
    CDeviceInventory inventory(ws);
    test::LogCapture capture(inventory);
    ASSERT_EQ(inventory.EnumerateTargetDevices(TargetTable()), 0);

    std::vector<std::string> classes;
    std::vector<std::string> services;
    for (const auto& record : inventory.m_devices) {
        classes.push_back(record->pszClassName.text());
        services.push_back(record->pszServiceName.text());
    }
    EXPECT_EQ(classes, (std::vector<std::string>{"Ports", "Ports", "USB", "usb", "Ports", ""}));
    EXPECT_EQ(services, (std::vector<std::string>{"filterA", "svcX", "", "usbccgp", "", ""}));

    const std::string readFailed = "La valeur ne peut \xEAtre lue dans la base de registre";
    const std::string kept = "VID_C2B5&PID_000A : Le service correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9";
    const std::string infKept = "[INFO] : VID_C2B5&PID_000A : Le fichier .inf correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9";
    // Every device here lacks a driver key; devices 5 and 6 add their two
    // messages each, in order, and device 6 gets no service read at all.
    std::string expected;
    for (int i = 1; i <= 4; ++i) expected += infKept;
    expected += infKept + "[INFO] : Service : " + readFailed + "\r\nThe data is invalid.\r\n\r\n[INFO] : " + kept;
    expected += infKept + "[INFO] : Class : " + readFailed + "\r\nThe data is invalid.\r\n\r\n[INFO] : " + kept;
    EXPECT_EQ(capture.Text(), expected);
    inventory.ReleaseInventory();
}

}  // namespace
}  // namespace vk
