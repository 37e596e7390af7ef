// The rich workstation's fault-free runs, what each first failure says, a
// report under a fault, and a backup with its restore, compared with their
// transcripts in tests/golden/.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/cleaner_app.h"
#include "backup/reg_file.h"
#include "backup/registry_tree.h"
#include "backup/service_config.h"
#include "platform/simulated/simulated.h"
#include "support/rich_workstation.h"
#include "support/workstation.h"
#include "vk_build_info.h"

namespace vk {
namespace {

using namespace rich;
using sim::SimulatedWorkstation;
using test::kDrivers;
using test::kInf;

// Where the runs write their log and report: the simulated workstation's
// files, as the program writes them through the platform.
const std::string kLog = "C:\\vk.log";
const std::string kReport = "C:\\vk.json";

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

// Where the program runs: alone, or beside a run that holds the run mutex,
// or in a window station nobody sees.
enum class Setting { Alone, AnotherRun, Unseen };

void Place(SimulatedWorkstation& ws, Setting setting) {
    ws.SetOtherInstanceRunning(setting == Setting::AnotherRun);
    ws.SetWindowStationVisible(setting != Setting::Unseen);
}

// What a person, an installer, a support technician and a deployment engine
// see of the fault-free runs, attended, unattended, listing only and checking
// only, and where no run may go ahead, with the logs and reports they write:
// the plan, every deletion in order, and every message, byte for byte.
TEST(RichWorkstation, WhatTheFaultFreeRunsDoAndSay) {
    struct Run {
        Names options;
        Setting setting;
        const char* label;
    };
    std::ostringstream transcript;
    for (const Run& run :
         {Run{{}, Setting::Alone, ""}, Run{{"/quiet"}, Setting::Alone, " /quiet"},
          Run{{"/list"}, Setting::Alone, " /list"}, Run{{"/check"}, Setting::Alone, " /check"},
          Run{{"/quiet", "/restorepoint"}, Setting::Alone, " /quiet /restorepoint"},
          Run{{}, Setting::AnotherRun, " while another run holds the mutex"},
          Run{{}, Setting::Unseen, " in a window station nobody sees"}}) {
        SimulatedWorkstation ws;
        DescribeRichWorkstation(ws);
        Place(ws, run.setting);
        Names arguments = run.options;
        arguments.push_back("/log:" + kLog);
        arguments.push_back("/report:" + kReport);
        const int status = RunVelkorUSBCleaner(ws, arguments);
        // The run that holds the mutex is writing its own report there.
        if (run.setting == Setting::AnotherRun) {
            EXPECT_FALSE(ws.HasFile(kReport));
        }
        if (run.setting == Setting::Alone) {
            std::string json = test::Content(ws, kReport);
            // As the report writes them, with their backslashes escaped.
            ReplaceAll(json, "C:\\\\vk.log", "<log>");
            ReplaceAll(json, "C:\\\\vk.json", "<report>");
            // The commit changes with every commit; the schema check of the
            // goldens still sees the field.
            ReplaceAll(json, "\"commit\": \"" VK_COMMIT "\"", "\"commit\": \"<commit>\"");
            std::string name = "rich-workstation-report";
            for (const std::string& option : run.options) name += "-" + option.substr(1);
            ExpectGolden(name + ".json", json);
        }
        transcript << "== run" << run.label << ": exit status " << status << "\n";
        for (const sim::Prompt& prompt : ws.Prompts()) {
            transcript << "prompt 0x" << std::hex << prompt.type << std::dec << " " << prompt.caption << ": "
                       << prompt.text << "\n";
        }
        for (const std::string& call : ws.Calls()) transcript << "call " << call << "\n";
        for (const sim::LoggedEvent& event : ws.Events()) {
            std::string text = event.text;
            ReplaceAll(text, kLog, "<log>");
            ReplaceAll(text, kReport, "<report>");
            transcript << "event " << event.source << " " << event.eventId << " type " << event.type << ": "
                       << text << "\n";
        }
        for (const sim::RestorePoint& point : ws.RestorePoints()) {
            transcript << "restore point " << point.sequenceNumber << " type " << point.type
                       << (point.ended ? " ended: " : " open: ") << point.description << "\n";
        }
        transcript << "output:\n" << ws.StandardOutput() << ws.StandardError() << "log:\n";
        const std::string written = test::Content(ws, kLog);
        transcript << written << "\n";

        // The log is appended to, never truncated.
        SimulatedWorkstation again;
        DescribeRichWorkstation(again);
        Place(again, run.setting);
        again.AddFile(kLog, written);
        RunVelkorUSBCleaner(again, arguments);
        const std::string appended = test::Content(again, kLog);
        EXPECT_EQ(appended.compare(0, written.size(), written), 0);
        if (run.setting != Setting::AnotherRun) {
            EXPECT_GT(appended.size(), written.size());
        }
    }
    ExpectGolden("rich-workstation-runs.txt", transcript.str());
}

// A deployment engine reads a failed action, with its code, from the report.
TEST(RichWorkstation, AReportNamesEachFailedActionWithItsCode) {
    SimulatedWorkstation ws;
    DescribeRichWorkstation(ws);
    ws.FailCall("DeleteService", ERROR_ACCESS_DENIED, 1);
    ws.SetComputerName("");
    const int status = RunVelkorUSBCleaner(ws, {"/quiet", "/report:" + kReport});
    const auto json = nlohmann::json::parse(test::Content(ws, kReport));
    EXPECT_EQ(json["exitStatus"], status);
    EXPECT_TRUE(json["computerName"].is_null());
    Names failed;
    for (const auto& action : json["actions"]) {
        if (action["outcome"] == "failed") {
            failed.push_back(action["action"].get<std::string>() + " " +
                             action["subject"].get<std::string>() + " " +
                             std::to_string(action["code"].get<unsigned long>()));
        }
    }
    // The injected failure, once, among the workstation's own (a file in use,
    // a package the store keeps, a device that cannot be removed).
    EXPECT_EQ(std::count(failed.begin(), failed.end(), "delete_service vlkusbser 5"), 1);
    EXPECT_EQ(std::count(failed.begin(), failed.end(), "remove_device USB\\VID_C2B5&PID_000A\\7 5"), 1);
    EXPECT_NE(std::count(failed.begin(), failed.end(), "uninstall_driver_package oem21.inf 3758096957"), 0);
}

// The log's entries, each from its "[INFO] : " or "[ERROR] : " on.
Names Entries(const std::string& log) {
    Names entries;
    for (std::size_t at = 0; at < log.size();) {
        std::size_t next = log.size();
        for (const char* prefix : {"[INFO] : ", "[ERROR] : "})
            next = std::min(next, log.find(prefix, at + 1));
        entries.push_back(log.substr(at, next - at));
        at = next;
    }
    return entries;
}

// What each failure says: for every operation, its first call failing, the
// entries and prompts that the fault-free run does not have (the messages of
// every failure path, byte for byte).
TEST(RichWorkstation, WhatEachFirstFailureSays) {
    const auto run = [](const std::string& operation, Names* said) {
        SimulatedWorkstation ws;
        DescribeRichWorkstation(ws);
        if (!operation.empty()) ws.FailCall(operation, kFailureCodes.at(operation), 1);
        const int status = RunVelkorUSBCleaner(ws, {"/log:" + kLog});
        *said = Entries(test::Content(ws, kLog));
        for (const sim::Prompt& prompt : ws.Prompts()) said->push_back("prompt: " + prompt.text + "\n");
        return status;
    };
    Names clean;
    run("", &clean);
    std::ostringstream transcript;
    for (const auto& failure : kFailureCodes) {
        Names said;
        const int status = run(failure.first, &said);
        transcript << "== " << failure.first << " fails (" << failure.second << "): exit status " << status
                   << "\n";
        Names expected = clean;
        for (const std::string& entry : said) {
            const auto known = std::find(expected.begin(), expected.end(), entry);
            if (known != expected.end()) {
                expected.erase(known);
            } else {
                transcript << entry;
            }
        }
    }
    ExpectGolden("rich-workstation-failures.txt", transcript.str());
}

// The .reg text as Windows-1252, for the transcript.
std::string Narrow(const std::string& utf16) {
    std::string text;
    for (std::size_t i = 2; i + 1 < utf16.size(); i += 2) text += utf16[i + 1] == 0 ? utf16[i] : '?';
    return text;
}

// Every value and subkey of a key, as its .reg text.
std::string KeyTree(SimulatedWorkstation& ws, const std::string& key) {
    std::vector<RegFileKey> keys;
    if (ReadKeyTree(ws, key, false, &keys) != 0) return "(unreadable)";
    const std::vector<std::uint8_t> bytes = WriteRegFile(keys);
    return std::string(bytes.begin(), bytes.end());
}

// A backup of the rich workstation, then a restore: every file (bytes,
// attributes, times), service (configuration and key) and store package is
// back, a file that came back in between is left alone, and an item that
// could not be saved (a driver file held open) was kept. What the two runs
// do, say and write is compared with its transcript.
TEST(RichWorkstation, BackupThenRestoreGivesEverythingBack) {
    SimulatedWorkstation ws;
    const Inventory all = DescribeRichWorkstation(ws);
    std::map<std::string, std::string> files;
    for (const std::string& file : all.files) files[file] = FileState(*ws.FindFile(file));
    std::map<std::string, std::string> services;
    for (const std::string& service : all.services) {
        services[service] = ServiceConfigText(ws.FindService(service)->config) +
                            KeyTree(ws, "System\\CurrentControlSet\\Services\\" + service);
    }
    const auto storeInfs = [&ws]() {
        std::multiset<std::string> contents;
        for (const std::string& package : ws.DriverPackages()) {
            const std::string& inf = ws.FindDriverPackage(package)->storeInf;
            contents.insert(inf.empty() ? package : ws.FindFile(inf)->content);
        }
        return contents;
    };
    const std::multiset<std::string> packages = storeInfs();

    std::ostringstream transcript;
    int runs = 0;
    const auto run = [&](const Names& options) {
        const std::string log = "C:\\vk-" + std::to_string(++runs) + ".log";
        Names arguments = options;
        arguments.push_back("/log:" + log);
        ws.ForgetCalls();
        const std::size_t shown = ws.Prompts().size();
        const std::size_t written = ws.StandardOutput().size();
        const int status = RunVelkorUSBCleaner(ws, arguments);
        transcript << "== run";
        for (const std::string& option : options) transcript << " " << option;
        transcript << ": exit status " << status << "\n";
        for (std::size_t i = shown; i < ws.Prompts().size(); ++i)
            transcript << "prompt: " << ws.Prompts()[i].text << "\n";
        for (const std::string& call : ws.Calls()) transcript << "call " << call << "\n";
        transcript << "output:\n"
                   << ws.StandardOutput().substr(written) << "log:\n"
                   << test::Content(ws, log) << "\n";
        return status;
    };
    EXPECT_EQ(run({"/list", "/backup:" + kBackup}), ExitCompleted);
    EXPECT_EQ(run({"/quiet", "/backup:" + kBackup}), ExitCompleted);
    EXPECT_TRUE(ws.HasFile(kDrivers + "vlkusbser.sys"));
    transcript << "manifest:\n"
               << ws.FindFile(kBackup + "\\manifest.txt")->content << "service:\n"
               << Narrow(ws.FindFile(kBackup + "\\services\\vlkusbser.reg")->content)
               << ws.FindFile(kBackup + "\\services\\vlkusbser.txt")->content;
    ws.AddFile(kRestoredDriver, "MZ again");
    EXPECT_EQ(run({"/list", "/restore:" + kBackup}), ExitCompleted);
    EXPECT_EQ(run({"/restore:" + kBackup}), ExitCompleted);
    ExpectGolden("rich-workstation-backup.txt", transcript.str());

    for (const auto& file : files) {
        const sim::File* now = ws.FindFile(file.first);
        // A package's INF pair comes back under the name the store gives it.
        const bool republished = file.first.rfind(kInf + "oem12.", 0) == 0 ||
                                 file.first.rfind(kInf + "oem20.", 0) == 0 ||
                                 file.first.rfind(kInf + "oem30.", 0) == 0;
        if (file.first == kRestoredDriver) {
            EXPECT_EQ(now->content, "MZ again");
        } else if (!republished) {
            EXPECT_TRUE(now && FileState(*now) == file.second) << file.first;
        }
    }
    for (const auto& service : services) {
        EXPECT_EQ(ServiceConfigText(ws.FindService(service.first)->config) +
                      KeyTree(ws, "System\\CurrentControlSet\\Services\\" + service.first),
                  service.second);
    }
    EXPECT_EQ(storeInfs(), packages);
    EXPECT_EQ(ws.OpenHandles(), 0u);
}

// A copy that is not as its save line says (cut short, or changed since the
// pass) is never put back: a torn driver file in system32\drivers could stop
// the machine from starting. The restore puts back the rest, says which copy
// and why, and ends with 5.
TEST(RichWorkstation, ACopyThatIsNotAsSavedIsNeverPutBack) {
    SimulatedWorkstation ws;
    DescribeRichWorkstation(ws);
    ASSERT_EQ(RunVelkorUSBCleaner(ws, {"/quiet", "/backup:" + kBackup}), ExitCompleted);
    const std::string inf = kBackup + "\\files\\inf\\oem5.inf";
    const std::string pnf = kBackup + "\\files\\inf\\oem8.pnf";
    const std::string config = kBackup + "\\services\\vlkusbser.txt";
    // The same length, other bytes: only the SHA-256 tells.
    ws.AddFile(inf, std::string(ws.FindFile(inf)->content.size(), '\0'));
    ws.AddFile(pnf, "PN");
    ws.AddFile(config, ws.FindFile(config)->content + "StartType=0\r\n");

    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/quiet", "/restore:" + kBackup, "/log:" + kLog}), ExitRestoreFailed);
    EXPECT_FALSE(ws.HasFile(kInf + "oem5.inf"));
    EXPECT_FALSE(ws.HasFile(kInf + "oem8.pnf"));
    EXPECT_FALSE(ws.HasService("vlkusbser"));
    EXPECT_TRUE(ws.HasFile(kInf + "oem8.inf"));
    const std::string written = test::Content(ws, kLog);
    const std::string tail =
        " n'est pas celle que la sauvegarde a inscrite ; elle n'est pas remise en place\r\n";
    for (const std::string& entry :
         {"[ERROR] : " + inf +
              " : copie endommag\xE9"
              "e : son empreinte SHA-256" +
              tail,
          "[ERROR] : " + pnf +
              " : copie endommag\xE9"
              "e : sa taille" +
              tail,
          "[ERROR] : " + config +
              " : copie endommag\xE9"
              "e : sa taille" +
              tail,
          std::string("[INFO] : C:\\Windows\\inf\\oem5.inf : ne peut \xEAtre remis en place\r\n"
                      "The file or directory is corrupted and unreadable.\r\n")}) {
        EXPECT_NE(written.find(entry), std::string::npos) << entry << "\nin:\n" << written;
    }
}

// Without a folder the backup goes to ProgramData under the local time; a
// folder that cannot be made stops the run before any change, and says so.
TEST(RichWorkstation, TheBackupFolderIsMadeBeforeAnyChangeOrTheRunStops) {
    const std::string folder = "C:\\ProgramData\\VelkorUSBCleaner\\Backup\\20261208-160509";
    SimulatedWorkstation saved;
    DescribeRichWorkstation(saved);
    EXPECT_EQ(RunVelkorUSBCleaner(saved, {"/quiet", "/backup"}), ExitCompleted);
    EXPECT_TRUE(saved.HasFile(folder + "\\manifest.txt"));
    // Each folder of the program's, and what is saved in them, is the
    // program's alone: not what ProgramData would have given them.
    for (const std::string& made : {std::string("C:\\ProgramData\\VelkorUSBCleaner"),
                                    std::string("C:\\ProgramData\\VelkorUSBCleaner\\Backup"), folder,
                                    folder + "\\services", folder + "\\services\\vlkusbser.reg"}) {
        const SecurityInfo security = saved.SecurityOf(made);
        EXPECT_EQ(security.ownerSid, sim::kSidAdministrators) << made;
        std::set<std::string> trustees;
        for (const AccessEntry& entry : security.dacl) trustees.insert(entry.sid);
        EXPECT_EQ(trustees, (std::set<std::string>{sim::kSidSystem, sim::kSidAdministrators})) << made;
    }
    EXPECT_TRUE(saved.SecurityOf(folder).daclProtected);
    EXPECT_TRUE(saved.SecurityOf(folder + "\\services").daclProtected);

    SimulatedWorkstation refused;
    const Inventory all = DescribeRichWorkstation(refused);
    refused.FailCall("CreateProtectedDirectory", ERROR_ACCESS_DENIED);
    EXPECT_EQ(RunVelkorUSBCleaner(refused, {"/quiet", "/backup"}), ExitBackupFailed);
    EXPECT_TRUE(GoneItems(refused, all).empty());
    EXPECT_EQ(refused.StandardError(), folder +
                                           " : le dossier de sauvegarde ne peut \xEAtre cr\xE9\xE9 ; aucune "
                                           "modification n'a \xE9t\xE9 faite\nAccess is denied.\r\n\r\n");
}

}  // namespace
}  // namespace vk
