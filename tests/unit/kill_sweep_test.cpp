// A backup that holds at every instant. The whole program makes a /backup
// pass over the rich workstation and dies after its k-th platform call, for
// every k; a fresh program then restores from what is left, and the machine
// must be as it was before the pass: every file (bytes, attributes, times),
// service (configuration and key) and store package back, nothing else
// changed, only device instances gone (they are not restored). The same for
// every k of the restore itself, killed and run again. Each sweep runs twice:
// the process killed, and the power cut at that instant (what was not
// flushed is lost).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/cleaner_app.h"
#include "backup/service_config.h"
#include "platform/simulated/simulated.h"
#include "support/rich_workstation.h"
#include "support/workstation.h"

namespace vk {
namespace {

using namespace rich;
using sim::SimulatedWorkstation;

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return text;
}

bool StartsWith(const std::string& text, const std::string& head) {
    return Upper(text).compare(0, head.size(), Upper(head)) == 0;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t byte : bytes) hex += std::string{kDigits[byte >> 4], kDigits[byte & 15]};
    return hex;
}

// What a restore must give back, and what nothing may change.
struct Machine {
    std::map<std::string, std::string> files;  // upper-cased path -> bytes, attributes, times
    std::multiset<std::string> packages;       // each store package's folder, or its name
    std::map<std::string, std::string> keys;   // upper-cased path -> values (device keys apart)
    std::map<std::string, std::string> services;
    std::set<std::string> devices;
    Names atRestart;
};

const std::string kStoreFolder = "C:\\Windows\\System32\\DriverStore\\";
const std::string kEnumKeys = "System\\CurrentControlSet\\Enum\\";
// Where every unattended run registers its event source: the program's own,
// not the pass's.
const std::string kEventLogKeys = "System\\CurrentControlSet\\Services\\EventLog";

Machine Take(const SimulatedWorkstation& ws, const Inventory& all) {
    Machine machine;
    // The files of each folder of the driver store, by name.
    std::map<std::string, std::set<std::string>> storeFolders;
    const std::string backupFolder = Upper(kBackup + "\\");
    for (const std::string& path : ws.FilePaths()) {
        const std::string upper = Upper(path);
        if (upper.compare(0, backupFolder.size(), backupFolder) == 0) continue;
        const std::string state = FileState(*ws.FindFile(path));
        if (StartsWith(path, kStoreFolder)) {
            const std::size_t slash = path.rfind('\\');
            storeFolders[upper.substr(0, slash + 1)].insert(path.substr(slash + 1) + "=" + state);
        } else {
            machine.files[upper] = state;
        }
    }
    // A store package comes back under the name the store gives it: it is
    // known by its folder in the store, its published INF pair apart.
    for (const std::string& name : ws.DriverPackages()) {
        const sim::DriverPackage* package = ws.FindDriverPackage(name);
        if (package->storeInf.empty()) {
            machine.packages.insert(name);
            continue;
        }
        machine.files.erase(Upper(test::kInf + name));
        machine.files.erase(Upper(test::kInf + name.substr(0, name.size() - 3) + "pnf"));
        const auto folder =
            storeFolders.find(Upper(package->storeInf.substr(0, package->storeInf.rfind('\\') + 1)));
        std::string text;
        if (folder != storeFolders.end()) {
            for (const std::string& file : folder->second) text += file + ";";
            storeFolders.erase(folder);
        }
        machine.packages.insert(text);
    }
    // A folder of the store that no package has is a change too.
    for (const auto& folder : storeFolders) machine.packages.insert("no package: " + folder.first);
    for (const std::string& path : ws.RegistryKeyPaths()) {
        if (StartsWith(path, kEnumKeys) || StartsWith(path, kEventLogKeys)) continue;
        std::string values;
        for (const auto& value : ws.FindRegistryKey(path)->values)
            values +=
                value.first + "=" + std::to_string(value.second.type) + ":" + Hex(value.second.data) + ";";
        machine.keys[Upper(path)] = values;
    }
    for (const std::string& name : ws.ServiceNames())
        machine.services[name] = ServiceConfigText(ws.FindService(name)->config);
    for (const std::string& device : all.devices) {
        if (ws.HasDevice(device)) machine.devices.insert(device);
    }
    machine.atRestart = ws.DeletionsAtRestart();
    return machine;
}

template <typename Map>
void CompareMaps(const char* what, const Map& before, const Map& after, Names* problems) {
    for (const auto& item : before) {
        const auto now = after.find(item.first);
        if (now == after.end()) {
            problems->push_back(std::string(what) + " gone: " + item.first);
        } else if (now->second != item.second) {
            problems->push_back(std::string(what) + " changed: " + item.first);
        }
    }
    for (const auto& item : after) {
        if (!before.count(item.first)) problems->push_back(std::string(what) + " new: " + item.first);
    }
}

// What differs between the machine before the pass and after the restore;
// device instances may only be gone, and only those a whole pass removes.
Names Differences(const Machine& before, const Machine& after, const std::set<std::string>& removable) {
    Names problems;
    CompareMaps("file", before.files, after.files, &problems);
    CompareMaps("key", before.keys, after.keys, &problems);
    CompareMaps("service", before.services, after.services, &problems);
    if (before.packages != after.packages) problems.push_back("store packages differ");
    if (before.atRestart != after.atRestart) problems.push_back("deletions at restart differ");
    for (const std::string& device : after.devices) {
        if (!before.devices.count(device)) problems.push_back("device new: " + device);
    }
    for (const std::string& device : before.devices) {
        if (!after.devices.count(device) && !removable.count(device))
            problems.push_back("device gone: " + device);
    }
    return problems;
}

struct Sweep {
    std::size_t runs = 0;
    Names problems;
    void Add(const std::string& label, const Names& found) {
        ++runs;
        for (const std::string& problem : found) problems.push_back(label + ": " + problem);
    }
};

// The calls a fault-free run of the program makes on `ws`, left as it was.
std::size_t CallsOf(SimulatedWorkstation& ws, const Names& arguments) {
    ws.ForgetCalls();
    RunVelkorUSBCleaner(ws, arguments);
    const std::size_t calls = ws.AllCalls().size();
    ws.ForgetCalls();
    return calls;
}

TEST(KillSweep, ABackupCutShortAtAnyCallIsRestoredWhole) {
    const Names kBackupPass = {"/quiet", "/backup:" + kBackup};
    const Names kRestore = {"/quiet", "/restore:" + kBackup};
    const auto started = std::chrono::steady_clock::now();
    SimulatedWorkstation reference;
    const Inventory all = DescribeRichWorkstation(reference);
    const Machine before = Take(reference, all);
    const std::size_t backupCalls = CallsOf(reference, kBackupPass);
    const Machine cleaned = Take(reference, all);
    std::set<std::string> removable;
    for (const std::string& device : before.devices) {
        if (!cleaned.devices.count(device)) removable.insert(device);
    }
    // The pass does delete something, and a whole backup restores it all.
    ASSERT_FALSE(Differences(before, cleaned, removable).empty());
    const std::size_t restoreCalls = CallsOf(reference, kRestore);
    EXPECT_EQ(Differences(before, Take(reference, all), removable), Names());

    Sweep sweep;
    for (bool powerCut : {false, true}) {
        const std::string mode = powerCut ? "power cut" : "killed";
        // The pass cut short after call k; k = every call is a pass that ended.
        for (std::size_t k = 0; k <= backupCalls; ++k) {
            SimulatedWorkstation ws;
            DescribeRichWorkstation(ws);
            ws.KillAfterCall(k, powerCut);
            RunVelkorUSBCleaner(ws, kBackupPass);
            ws.StartNewProcess();
            // Only a pass cut short before its manifest's header was on the
            // disk leaves nothing to read, and it had changed nothing.
            const sim::File* manifest = ws.FindFile(kBackup + "\\manifest.txt");
            const bool started = manifest && manifest->content.rfind("VelkorUSBCleaner backup 2\r\n", 0) == 0;
            const int status = RunVelkorUSBCleaner(ws, kRestore);
            Names found = Differences(before, Take(ws, all), removable);
            if (status != (started ? ExitCompleted : ExitRestoreFailed))
                found.push_back("restore ended with " + std::to_string(status));
            sweep.Add("backup " + mode + " after call " + std::to_string(k), found);
        }
        // The restore after a whole pass cut short after call k, then run again.
        for (std::size_t k = 0; k <= restoreCalls; ++k) {
            SimulatedWorkstation ws;
            DescribeRichWorkstation(ws);
            RunVelkorUSBCleaner(ws, kBackupPass);
            ws.KillAfterCall(k, powerCut);
            RunVelkorUSBCleaner(ws, kRestore);
            ws.StartNewProcess();
            const int status = RunVelkorUSBCleaner(ws, kRestore);
            Names found = Differences(before, Take(ws, all), removable);
            if (status != ExitCompleted)
                found.push_back("restore again ended with " + std::to_string(status));
            sweep.Add("restore " + mode + " after call " + std::to_string(k), found);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf(
        "kill sweep: %zu runs (%zu calls of the backup pass, %zu of the restore, killed and power cut), "
        "%zu problems, %.1f s\n",
        sweep.runs, backupCalls, restoreCalls, sweep.problems.size(), seconds);
    for (std::size_t i = 0; i < sweep.problems.size() && i < 20; ++i) ADD_FAILURE() << sweep.problems[i];
    EXPECT_EQ(sweep.problems.size(), 0u);
}

}  // namespace
}  // namespace vk
