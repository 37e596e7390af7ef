// What the tests of the portable logic describe workstations with: the
// folders, a reader as its maker's package installs it, the system texts the
// entries carry, and the exact entries the pass logs.
#pragma once

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/simulated/simulated.h"

namespace vk::test {

using Calls = std::vector<std::string>;

const std::string kPorts = "{4d36e978-e325-11ce-bfc1-08002be10318}";
const std::string kInf = "C:\\Windows\\inf\\";
const std::string kPattern = kInf + "oem*.inf";
const std::string kDrivers = "C:\\Windows\\system32\\drivers\\";
const std::string kComUsb = kDrivers + "vlkcomusb.sys";
const std::string kUsbSer = kDrivers + "vlkusbser.sys";
const std::string kNamesReader =
    "[Version]\r\nProvider=VELKOR\r\n[Devices]\r\nR=Install,USB\\VID_C2B5&PID_000A\r\n";

// A device whose driver key names `provider` and `inf`; its hardware IDs are
// those of its instance path, with and without a revision. With a service it
// is of the Ports class, without one of the USB class.
inline sim::Device& AddReader(sim::SimulatedWorkstation& ws, const std::string& instance,
                              const std::string& slot, const std::string& inf, const std::string& service,
                              const std::string& provider = "VELKOR") {
    const std::string id = instance.substr(0, instance.rfind('\\'));
    ws.AddClassKey(kPorts + "\\" + slot)
        .Value("ProviderName", sim::Sz(provider))
        .Value("InfPath", sim::Sz(inf));
    auto& device = ws.AddDevice(instance).HardwareIds({id + "&REV_0100", id}).Driver(kPorts + "\\" + slot);
    if (service.empty()) return device.Class("USB");
    return device.Class("Ports").Service(service);
}

inline void AddInfPair(sim::SimulatedWorkstation& ws, const std::string& name, const std::string& content) {
    ws.AddFile(kInf + name + ".inf", content);
    ws.AddFile(kInf + name + ".pnf", "PNF");
}

// System texts of our own, so that every expected entry is spelt out here.
const std::vector<std::pair<DWORD, std::string>> kSystemTexts = {
    {2, "The system cannot find the file specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {10, "The environment is incorrect.\r\n"},
    {30, "The system cannot read from the specified device.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {223, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {1058,
     "The service cannot be started, either because it is disabled or because it has no enabled devices "
     "associated with it.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1072, "The specified service has been marked for deletion.\r\n"},
    {1392, "The file or directory is corrupted and unreadable.\r\n"},
};

inline void SetSystemTexts(sim::SimulatedWorkstation& ws) {
    for (const auto& entry : kSystemTexts) ws.SetSystemMessage(entry.first, entry.second);
}

inline std::string SystemText(DWORD code) {
    for (const auto& entry : kSystemTexts) {
        if (entry.first == code) return entry.second;
    }
    return "<no text>";
}

inline std::string WithCode(const std::string& prefix, const std::string& text, DWORD code) {
    return prefix + text + "\r\n" + SystemText(code) + "\r\n";
}
inline std::string FileNotDeleted(const std::string& path, DWORD code) {
    return WithCode("[INFO] : ", path + " : le fichier ne peut \xEAtre effac\xE9", code);
}
inline std::string InfNotOpened(DWORD code) {
    return WithCode("[ERROR] : ", "Can't Open Inf file", code);
}
inline std::string ServiceKept(const std::string& hardwareId) {
    return "[INFO] : " + hardwareId +
           " : Le service correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9";
}

// The calls that change what the pass cleans: those of an unattended run's
// event (its source's key, the event) left out.
inline Calls CleaningCalls(const sim::SimulatedWorkstation& ws) {
    Calls calls;
    for (const std::string& call : ws.Calls()) {
        const bool eventLog = call.rfind("ReportEvent ", 0) == 0 ||
                              call.find("\\Services\\EventLog\\Application\\") != std::string::npos;
        if (!eventLog) calls.push_back(call);
    }
    return calls;
}

// A file of the host for a log, removed when the test ends.
// What a file of the workstation holds; empty when there is none.
inline std::string Content(const sim::SimulatedWorkstation& ws, const std::string& path) {
    const sim::File* file = ws.FindFile(path);
    return file != nullptr ? file->content : std::string();
}

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace vk::test
