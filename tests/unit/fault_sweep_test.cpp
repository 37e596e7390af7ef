// The whole program over a rich workstation, once for every platform call of
// a fault-free pass with that call failing, then with that call and every
// later call of the same operation failing. Whatever fails, the program must
// not crash, must end with status 0, must show the second prompt with
// everything released, and must delete nothing that the fault-free pass keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/cleaner_app.h"
#include "platform/simulated/simulated.h"
#include "support/rich_workstation.h"
#include "support/workstation.h"

namespace vk {
namespace {

using namespace rich;
using sim::SimulatedWorkstation;
using test::kDrivers;
using test::kInf;

// Faults that hide a reader from the register of INF names (a device list cut
// short, a driver key, value or name copy that cannot be read): its INF pair
// is then unknown to be in use, as on a workstation where that reader's key is
// unreadable, and may go with its other user. Nothing else may go.
const std::set<std::string> kHideRegisterEntries = {"EnumDeviceInfo", "GetDeviceRegistryProperty",
                                                    "RegOpenKeyEx", "RegQueryValueEx", "HeapAlloc"};

// Releases whose failure leaves the thing held by the platform, not by the
// program: each failed call of these is allowed one block or handle.
const std::set<std::string> kHeapReleases = {"HeapFree"};
const std::set<std::string> kHandleReleases = {
    "DestroyDeviceInfoList", "RegCloseKey", "CloseServiceHandle", "FindClose", "CloseHandle", "DestroyHash"};

std::string OperationOf(const std::string& call) {
    return call.substr(0, call.find(' '));
}

struct Outcome {
    int status = -1;
    Names unsaved;      // gone without a copy in the backup folder
    Names overwritten;  // files a restore changed that were there before it
    Names gone;         // devices, files, services and store packages no longer there
    Names makerInfPairs;
    Names usedOutside;
    Names calls;  // every call made, in order
    bool replugShown = false;
    bool listsEmptied = false;       // records and name lists, at the second prompt, else at the end
    std::size_t liveHeapBlocks = 0;  // at the second prompt, else at the end
    std::size_t openHandles = 0;
};

// The second prompt, with or without the sentence that asks for a restart.
bool IsReplug(const std::string& text) {
    return text.rfind(kPromptReplug, 0) == 0;
}
bool IsReplugCall(const std::string& call) {
    return call.rfind(std::string("MessageBox ") + kPromptReplug, 0) == 0;
}

bool ListsEmpty(const CVelkorUSBCleanerApp& app) {
    return app.m_devices.empty() && app.m_infNames.IsEmpty() && app.m_serviceNames.IsEmpty();
}

// Tells whether the program's records and lists were empty when it asked for
// the second prompt, and once its mode had run.
class ObservedWorkstation : public SimulatedWorkstation, public IAppObserver {
public:
    int MessageBox(const char* text, const char* caption, DWORD type) override {
        if (app && text && IsReplug(text)) listsEmptyAtReplug = ListsEmpty(*app);
        return SimulatedWorkstation::MessageBox(text, caption, type);
    }
    void Started(const CVelkorUSBCleanerApp& started) override { app = &started; }
    void Ended(const CVelkorUSBCleanerApp& ended) override {
        listsEmptyAtEnd = ListsEmpty(ended);
        app = nullptr;
    }

    const CVelkorUSBCleanerApp* app = nullptr;
    bool listsEmptyAtReplug = false;
    bool listsEmptyAtEnd = false;
};

// Whether an item that is gone has its copy in the backup folder: a file
// (unless its package's store folder went there), a package's store folder
// or INF, a service's key and configuration, a device's key.
bool SavedInBackup(const SimulatedWorkstation& ws, const std::string& item,
                   const std::map<std::string, std::string>& contents,
                   const std::map<std::string, std::string>& storeInfs) {
    const std::size_t space = item.find(' ');
    const std::string kind = item.substr(0, space);
    const std::string name = item.substr(space + 1);
    const auto storeSaved = [&](const std::string& infName) {
        const auto stored = storeInfs.find(infName);
        return stored != storeInfs.end() &&
               ws.HasFile(kBackup + "\\store\\" + infName.substr(0, infName.size() - 4) + "\\" +
                          stored->second);
    };
    if (kind == "file") {
        const sim::File* copy =
            ws.FindFile(kBackup + "\\files\\" + name.substr(std::string("C:\\Windows\\").size()));
        if (copy) return copy->content == contents.at(name);
        const std::string infName =
            name.substr(name.rfind('\\') + 1, name.size() - name.rfind('\\') - 4) + "inf";
        return name.rfind(kInf, 0) == 0 && storeSaved(infName);
    }
    if (kind == "package") return storeSaved(name) || ws.HasFile(kBackup + "\\files\\inf\\" + name);
    if (kind == "service")
        return ws.HasFile(kBackup + "\\services\\" + name + ".reg") &&
               ws.HasFile(kBackup + "\\services\\" + name + ".txt");
    std::string file = name;
    std::replace(file.begin(), file.end(), '\\', '#');
    return ws.HasFile(kBackup + "\\devices\\" + file + ".reg");
}

// One whole run on a fresh workstation; with an operation, its call onCall
// fails (and every later one too when `andLater`). With `before`, a
// fault-free run with those arguments comes first (a backup before a
// restore), and the driver file is then installed again.
Outcome RunProgram(const Names& arguments, const std::string& operation = std::string(), int onCall = 0,
                   bool andLater = false, const Names& before = Names()) {
    ObservedWorkstation ws;
    const Inventory all = DescribeRichWorkstation(ws);
    std::map<std::string, std::string> contents;
    for (const std::string& file : all.files) contents[file] = ws.FindFile(file)->content;
    std::map<std::string, std::string> storeInfs;
    for (const std::string& package : all.packages) {
        const std::string& inf = ws.FindDriverPackage(package)->storeInf;
        if (!inf.empty()) storeInfs[package] = inf.substr(inf.rfind('\\') + 1);
    }
    std::map<std::string, std::string> present;
    Names goneBefore;
    if (!before.empty()) {
        RunVelkorUSBCleaner(ws, before);
        goneBefore = GoneItems(ws, all);
        ws.AddFile(kRestoredDriver, "MZ again");
        ws.ForgetCalls();
        for (const std::string& file : all.files) {
            if (const sim::File* found = ws.FindFile(file)) present[file] = FileState(*found);
        }
    }
    if (!operation.empty()) {
        const DWORD code = kFailureCodes.at(operation);
        if (andLater) {
            ws.FailCallsFrom(operation, code, onCall);
        } else {
            ws.FailCall(operation, code, onCall);
        }
    }
    Outcome run;
    run.makerInfPairs = all.makerInfPairs;
    run.usedOutside = all.usedOutside;
    const RunOptions options = ParseSwitches(arguments);
    run.status = RunVelkorUSBCleaner(ws, arguments, &ws);
    run.calls = ws.AllCalls();
    for (const auto& file : present) {
        const sim::File* now = ws.FindFile(file.first);
        if (now && FileState(*now) != file.second) run.overwritten.push_back(file.first);
    }
    // A restore is judged by what was there before it.
    for (const std::string& item : GoneItems(ws, all)) {
        if (std::count(goneBefore.begin(), goneBefore.end(), item) == 0) run.gone.push_back(item);
    }
    if (options.backup) {
        for (const std::string& item : run.gone) {
            if (!SavedInBackup(ws, item, contents, storeInfs)) run.unsaved.push_back(item);
        }
    }
    run.liveHeapBlocks = ws.LiveHeapBlocks();
    run.openHandles = ws.OpenHandles();
    for (const sim::Prompt& prompt : ws.Prompts()) {
        if (!IsReplug(prompt.text)) continue;
        run.liveHeapBlocks = prompt.liveHeapBlocks;
        run.openHandles = prompt.openHandles;
    }
    run.replugShown = std::any_of(run.calls.begin(), run.calls.end(), IsReplugCall);
    run.listsEmptied = run.replugShown ? ws.listsEmptyAtReplug : ws.listsEmptyAtEnd;
    return run;
}

// How many calls of `operation` failed before the second prompt (or the end).
std::size_t FailedBeforeReplug(const Outcome& run, const std::string& operation, int onCall, bool andLater) {
    std::size_t failed = 0;
    int seen = 0;
    for (const std::string& call : run.calls) {
        if (IsReplugCall(call)) break;
        if (OperationOf(call) != operation) continue;
        ++seen;
        if (seen == onCall || (andLater && seen > onCall)) ++failed;
    }
    return failed;
}

struct Tally {
    std::size_t runs = 0;
    std::size_t faults = 0;
    Names problems;
};

// The operations of a switch that only adds to the pass: any fault in one
// of them must leave the pass as it is without the switch.
struct Addition {
    const Outcome* without = nullptr;  // the fault-free run without the switch
    std::set<std::string> operations;
};

// Both sweeps over the calls of one fault-free run of the program (after a
// fault-free run with `before`, when given).
void Sweep(const Names& arguments, bool prompts, Tally& tally, const Names& before = Names(),
           const Addition& addition = Addition()) {
    const RunOptions options = ParseSwitches(arguments);
    const Outcome clean = RunProgram(arguments, std::string(), 0, false, before);
    ++tally.runs;
    std::map<std::string, int> seen;
    for (const std::string& call : clean.calls) {
        const std::string operation = OperationOf(call);
        // These cannot fail.
        if (operation == "GetLastError" || operation == "SetLastError" || operation == "GetCommandLineTail" ||
            operation == "GetSystemTimeAsFileTime") {
            continue;
        }
        const int onCall = ++seen[operation];
        if (kFailureCodes.count(operation) == 0) {
            if (onCall == 1) tally.problems.push_back("no failure code for " + operation);
            continue;
        }
        for (bool andLater : {false, true}) {
            const Outcome run = RunProgram(arguments, operation, onCall, andLater, before);
            ++tally.runs;
            const std::size_t failed = FailedBeforeReplug(run, operation, onCall, andLater);
            tally.faults += failed;
            const std::size_t heapAllowed = kHeapReleases.count(operation) ? failed : 0;
            const std::size_t handlesAllowed = kHandleReleases.count(operation) ? failed : 0;

            Names wrong;
            // Unattended, a restart still to come is the installer's to know.
            // A backup folder that cannot be made stops the run before any
            // change; a restore says when something was not put back.
            const bool statusRight = run.status == ExitCompleted ||
                                     (!prompts && run.status == ExitRestartRequired && !options.restore) ||
                                     (options.backup && run.status == ExitBackupFailed && run.gone.empty()) ||
                                     (options.restore && run.status == ExitRestoreFailed);
            if (!statusRight) wrong.push_back("exit status " + std::to_string(run.status));
            if (prompts && !run.replugShown) wrong.push_back("no second prompt");
            for (const std::string& item : run.unsaved) wrong.push_back("deleted unsaved " + item);
            for (const std::string& file : run.overwritten) wrong.push_back("overwrote " + file);
            if (!run.listsEmptied) wrong.push_back("records or name lists left");
            if (run.liveHeapBlocks > heapAllowed) {
                wrong.push_back(std::to_string(run.liveHeapBlocks) + " heap blocks live");
            }
            if (run.openHandles > handlesAllowed)
                wrong.push_back(std::to_string(run.openHandles) + " handles open");
            for (const std::string& item : run.gone) {
                if (std::count(run.usedOutside.begin(), run.usedOutside.end(), item) != 0) {
                    wrong.push_back("deleted what another device uses: " + item);
                    continue;
                }
                if (std::count(clean.gone.begin(), clean.gone.end(), item) != 0) continue;
                const bool unprotected =
                    kHideRegisterEntries.count(operation) != 0 &&
                    std::count(run.makerInfPairs.begin(), run.makerInfPairs.end(), item) != 0;
                if (!unprotected) wrong.push_back("deleted " + item);
            }
            if (addition.without && addition.operations.count(operation) != 0 &&
                (run.gone != addition.without->gone || run.status != addition.without->status)) {
                wrong.push_back("a pass other than the one without the switch");
            }
            for (const std::string& what : wrong) {
                std::string args;
                for (const std::string& argument : arguments) args += argument + " ";
                tally.problems.push_back(args + operation + " call " + std::to_string(onCall) +
                                         (andLater ? " and later" : "") + ": " + what);
            }
        }
    }
}

// What one sweep found: its tally on a line of its own (scripts/test.sh
// shows it), and each problem as a failure.
void ExpectNoProblem(const char* what, const Tally& tally) {
    std::printf("fault sweep (%s): %zu runs, %zu faults injected, %zu problems\n", what, tally.runs,
                tally.faults, tally.problems.size());
    for (std::size_t i = 0; i < tally.problems.size() && i < 20; ++i) ADD_FAILURE() << tally.problems[i];
    EXPECT_EQ(tally.problems.size(), 0u);
}

// The sweeps are tests of their own so that CTest runs them side by side.
TEST(FaultSweep, AnAttendedPassEndsSafelyWhateverFails) {
    Tally tally;
    // What the fault-free runs delete is in their transcript below.
    const Outcome clean = RunProgram({});
    EXPECT_TRUE(clean.replugShown && clean.listsEmptied && clean.liveHeapBlocks == 0 &&
                clean.openHandles == 0);
    for (const std::string& item : clean.gone)
        EXPECT_EQ(std::count(clean.usedOutside.begin(), clean.usedOutside.end(), item), 0) << item;
    Sweep({}, true, tally);
    ExpectNoProblem("attended", tally);
}

TEST(FaultSweep, AnUnattendedPassEndsSafelyWhateverFails) {
    Tally tally;
    Sweep({"/quiet"}, false, tally);
    // Recorded for a report: each action's subject is asked for as it is made.
    Sweep({"/quiet", "/report"}, false, tally);
    ExpectNoProblem("/quiet, /quiet /report", tally);
}

TEST(FaultSweep, WhatALogOrARestorePointAddsFailsAlone) {
    Tally tally;
    // The log's own calls (its opening, its checks, each entry's write)
    // failing take nothing else with them.
    Sweep({"/quiet", "/log"}, false, tally);
    // A restore point that cannot be had, whatever fails, is only said.
    const Outcome quiet = RunProgram({"/quiet"});
    const Outcome protectedPass = RunProgram({"/quiet", "/restorepoint"});
    EXPECT_EQ(protectedPass.gone, quiet.gone);
    Sweep({"/quiet", "/restorepoint"}, false, tally, Names(),
          Addition{&quiet, {"SetRestorePoint", "GetNewestRestorePoint"}});
    ExpectNoProblem("/quiet /log, /quiet /restorepoint", tally);
}

TEST(FaultSweep, ABackupAndItsRestoreLoseNothingWhateverFails) {
    Tally tally;
    // The backup's and the restore's own calls: nothing deleted unsaved,
    // nothing overwritten.
    const Names backup = {"/quiet", "/backup:" + kBackup};
    const Names restore = {"/quiet", "/restore:" + kBackup};
    const Outcome saved = RunProgram(backup);
    EXPECT_TRUE(saved.unsaved.empty() && !saved.gone.empty());
    const Outcome restored = RunProgram(restore, std::string(), 0, false, backup);
    EXPECT_EQ(restored.status, ExitCompleted);
    EXPECT_TRUE(restored.overwritten.empty());
    Sweep(backup, false, tally);
    Sweep(restore, false, tally, backup);
    ExpectNoProblem("/backup, /restore", tally);
}

// Places that a standard user could have prepared before the program runs
// elevated: each is refused before any change, with the status deployment
// engines read and a message that names the place and says why.
TEST(FaultSweep, WhatOthersMayChangeIsRefusedBeforeAnyChange) {
    const std::string ownFolder = "C:\\ProgramData\\VelkorUSBCleaner";
    const std::string nothingDone = " ; aucune modification n'a \xE9t\xE9 faite\r\n";
    const std::string nothingRestored = " ; rien n'a \xE9t\xE9 remis en place\r\n";
    const std::string writable =
        " : d'autres comptes que SYSTEM et les administrateurs peuvent y \xE9"
        "crire";
    const std::string noSecurity =
        " : est sur un volume qui ne garde pas les droits d'acc\xE8s (FAT32, exFAT) : une sauvegarde n'y "
        "serait "
        "pas prot\xE9g\xE9"
        "e";
    const VolumeInfo stick{"FAT32", 0x00000006};
    struct Case {
        const char* what;
        std::function<void(SimulatedWorkstation&)> prepare;
        Names arguments;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"ProgramData's folder made by a standard user",
         [&](SimulatedWorkstation& ws) {
             ws.AddFolder(ownFolder);
             ws.SetCreator(ownFolder, sim::kSidStandardUser);
         },
         {"/quiet", "/backup"},
         ExitBackupFailed,
         ownFolder +
             " : appartient \xE0 un autre compte que SYSTEM, les administrateurs ou TrustedInstaller" +
             nothingDone},
        {"its Backup folder a junction",
         [&](SimulatedWorkstation& ws) {
             // An earlier backup made the folders; the next run is a day later.
             RunVelkorUSBCleaner(ws, {"/quiet", "/backup"});
             ws.MakeJunction(ownFolder + "\\Backup");
             ws.SetLocalTime({2026, 12, 9, 9, 0, 0});
             ws.ForgetCalls();
         },
         {"/quiet", "/backup"},
         ExitBackupFailed,
         ownFolder + "\\Backup : est un lien (point d'analyse), qui n'est pas suivi" + nothingDone},
        // Made as "mkdir" makes it, it has what C:\ gives a new folder:
        // authenticated users may change it.
        {"a backup folder that others may write to",
         [&](SimulatedWorkstation& ws) { ws.AddFolder("C:\\vk"); },
         {"/quiet", "/backup:C:\\vk"},
         ExitBackupFailed,
         "C:\\vk" + writable + nothingDone},
        {"a backup folder on a FAT32 stick",
         [&](SimulatedWorkstation& ws) {
             ws.AddFolder("E:");
             ws.SetVolume("E:", stick);
         },
         {"/quiet", "/backup:E:\\vk"},
         ExitBackupFailed,
         "E:\\vk" + noSecurity + nothingDone},
        {"a backup on a FAT32 stick to restore",
         [&](SimulatedWorkstation& ws) {
             ws.AddFile("E:\\vk\\manifest.txt", "VelkorUSBCleaner backup 1\r\n");
             ws.SetVolume("E:", stick);
         },
         {"/quiet", "/restore:E:\\vk"},
         ExitRestoreFailed,
         "E:\\vk" + noSecurity + nothingRestored},
        {"a manifest that others may write to",
         [&](SimulatedWorkstation& ws) {
             RunVelkorUSBCleaner(ws, {"/quiet", "/backup:" + kBackup});
             ws.Security(kBackup + "\\manifest.txt")
                 .dacl.push_back({AccessEntry::Kind::Allowed, 0, FILE_ALL_ACCESS, sim::kSidUsers});
             ws.ForgetCalls();
         },
         {"/quiet", "/restore:" + kBackup},
         ExitRestoreFailed,
         kBackup + "\\manifest.txt" + writable + nothingRestored},
    };
    for (const Case& c : cases) {
        SimulatedWorkstation ws;
        const Inventory all = DescribeRichWorkstation(ws);
        c.prepare(ws);
        const Names before = GoneItems(ws, all);
        EXPECT_EQ(RunVelkorUSBCleaner(ws, c.arguments), c.status) << c.what;
        EXPECT_EQ(ws.StandardError(), c.message) << c.what;
        EXPECT_EQ(GoneItems(ws, all), before) << c.what;
        // Not a folder made, not a file written, not a key set: only the
        // Application event that says the run failed.
        Names changes;
        for (const std::string& call : ws.Calls()) {
            if (call.find("\\EventLog\\Application\\") == std::string::npos &&
                call.rfind("ReportEvent ", 0) != 0)
                changes.push_back(call);
        }
        EXPECT_EQ(changes, Names()) << c.what;
        ASSERT_FALSE(ws.Events().empty()) << c.what;
        EXPECT_EQ(ws.Events().back().type, EVENTLOG_ERROR_TYPE) << c.what;
    }
}

// The log and the report where anyone may create files, %WINDIR%\\Temp: one
// prepared there in advance is not written, and the run goes on without it;
// one named with /log: is the administrator's choice.
TEST(FaultSweep, OutputFilesOthersPreparedAreNotWritten) {
    const std::string temp = "C:\\Windows\\Temp\\";
    const std::string target = kDrivers + "usbser.sys";
    struct Case {
        const char* what;
        std::function<void(SimulatedWorkstation&)> prepare;
        Names arguments;
        std::string message;
        std::string untouched;  // a file that must keep its bytes
    };
    const std::vector<Case> cases = {
        {"a log that links to a system file",
         [&](SimulatedWorkstation& ws) { ws.AddFile(temp + "VelkorUSBCleaner.log").SymbolicLinkTo(target); },
         {"/quiet", "/log"},
         temp + "VelkorUSBCleaner.log : est un lien (point d'analyse), qui n'est pas suivi ; le nettoyage "
                "continue sans journal\r\n",
         target},
        {"a report with another name elsewhere",
         [&](SimulatedWorkstation& ws) { ws.AddFile(temp + "VelkorUSBCleaner.json", "{}").HardLinks(2); },
         {"/quiet", "/report"},
         temp + "VelkorUSBCleaner.json : a plusieurs noms (liens physiques) ; le nettoyage continue sans "
                "rapport\r\n",
         temp + "VelkorUSBCleaner.json"},
        {"a log a standard user made there",
         [&](SimulatedWorkstation& ws) {
             ws.AddFile(temp + "VelkorUSBCleaner.log", "planted");
             ws.SetCreator(temp + "VelkorUSBCleaner.log", sim::kSidStandardUser);
         },
         {"/quiet", "/log"},
         temp + "VelkorUSBCleaner.log : appartient \xE0 un autre compte que SYSTEM, les administrateurs ou "
                "TrustedInstaller ; le nettoyage continue sans journal\r\n",
         temp + "VelkorUSBCleaner.log"},
        // Named, it is written wherever it is and whoever made it.
        {"a named log a standard user made",
         [&](SimulatedWorkstation& ws) {
             ws.AddFile("C:\\Users\\Public\\vk.log", "earlier\r\n");
             ws.SetCreator("C:\\Users\\Public\\vk.log", sim::kSidStandardUser);
         },
         {"/quiet", "/log:C:\\Users\\Public\\vk.log"},
         "",
         target},
    };
    SimulatedWorkstation plain;
    DescribeRichWorkstation(plain);
    const int status = RunVelkorUSBCleaner(plain, {"/quiet"});
    for (const Case& c : cases) {
        SimulatedWorkstation ws;
        const Inventory all = DescribeRichWorkstation(ws);
        c.prepare(ws);
        const std::string before = FileState(*ws.FindFile(c.untouched));
        EXPECT_EQ(RunVelkorUSBCleaner(ws, c.arguments), status) << c.what;
        EXPECT_EQ(ws.StandardError(), c.message) << c.what;
        EXPECT_EQ(GoneItems(ws, all), GoneItems(plain, all)) << c.what;
        EXPECT_EQ(FileState(*ws.FindFile(c.untouched)), before) << c.what;
    }
    SimulatedWorkstation named;
    DescribeRichWorkstation(named);
    cases.back().prepare(named);
    RunVelkorUSBCleaner(named, cases.back().arguments);
    EXPECT_EQ(test::Content(named, "C:\\Users\\Public\\vk.log").rfind("earlier\r\n[INFO] : ", 0), 0u);
    // A new one in the Temp folder is the program's alone.
    SimulatedWorkstation fresh;
    DescribeRichWorkstation(fresh);
    RunVelkorUSBCleaner(fresh, {"/quiet", "/log", "/report"});
    for (const char* name : {"VelkorUSBCleaner.log", "VelkorUSBCleaner.json"}) {
        const SecurityInfo security = fresh.SecurityOf(temp + name);
        EXPECT_TRUE(security.daclProtected && security.ownerSid == sim::kSidAdministrators) << name;
        EXPECT_EQ(security.dacl.size(), 2u) << name;
        EXPECT_FALSE(test::Content(fresh, temp + name).empty()) << name;
    }
}

}  // namespace
}  // namespace vk
