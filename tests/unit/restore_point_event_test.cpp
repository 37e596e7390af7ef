// What Windows keeps of a run besides its own changes: a System Restore point
// around the pass (/restorepoint) and an Application event after an
// unattended run, over a workstation with one earlier reader installation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/cleaner_app.h"
#include "platform/simulated/simulated.h"
#include "support/workstation.h"

namespace vk {
namespace {

using namespace test;
using sim::SimulatedWorkstation;
using sim::SystemRestore;
using Names = std::vector<std::string>;

constexpr FileTime kNow = 134411922000000000ull;  // 2026-12-08T08:30:00Z
constexpr FileTime kHour = 3600ull * 10000000;
const std::string kSourceKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VelkorUSBCleaner";
const std::string kDescription = "Nettoyage des lecteurs VELKOR";

// One reader, installed by oem12.inf with its service: a pass removes all
// three and keeps nothing.
void DescribeTypical(SimulatedWorkstation& ws) {
    SetSystemTexts(ws);
    ws.SetClock(kNow);
    AddReader(ws, "USB\\VID_C2B5&PID_000A\\1", "0003", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser");
    AddInfPair(ws, "oem12", kNamesReader);
}

struct Outcome {
    int status = -1;
    std::string log;
    nlohmann::json report;
};

// Where the runs write their log and report, on the workstation.
const std::string kLogPath = "C:\\vk.log";
const std::string kReportPath = "C:\\vk.json";

Outcome RunWith(SimulatedWorkstation& ws, Names arguments) {
    arguments.push_back("/log:" + kLogPath);
    arguments.push_back("/report:" + kReportPath);
    ws.AddFile(kLogPath);
    ws.AddFile(kReportPath);
    Outcome run;
    run.status = RunVelkorUSBCleaner(ws, arguments);
    run.log = Content(ws, kLogPath);
    run.report = nlohmann::json::parse(Content(ws, kReportPath));
    return run;
}

// The report's restore point actions, as "action outcome number-or-code".
Names RestorePointActions(const nlohmann::json& report) {
    Names actions;
    for (const auto& action : report["actions"]) {
        const std::string name = action["action"];
        if (name.find("restore_point") == std::string::npos) continue;
        std::string line = name + " " + action["outcome"].get<std::string>();
        if (action.contains("sequenceNumber"))
            line += " " + std::to_string(action["sequenceNumber"].get<long>());
        if (action.contains("code")) line += " code " + std::to_string(action["code"].get<long>());
        if (action.contains("reason")) line += " " + action["reason"].get<std::string>();
        actions.push_back(line);
    }
    return actions;
}

Calls WithoutRestorePoint(const Calls& calls) {
    Calls cleaning;
    for (const std::string& call : calls) {
        if (call.rfind("SRSetRestorePoint ", 0) != 0) cleaning.push_back(call);
    }
    return cleaning;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Whatever System Restore answers, the pass is the one without the switch;
// the report shows the point as an action with its outcome, the log says why
// none was made, and an earlier point that Windows hands back instead of a
// new one is never ended nor cancelled by this run.
TEST(RestorePoint, WhatSystemRestoreAnswersIsSaidAndThePassGoesOn) {
    SimulatedWorkstation plain;
    DescribeTypical(plain);
    const Outcome without = RunWith(plain, {"/quiet"});

    struct Case {
        const char* label;
        SystemRestore state;
        FileTime earlierPoint;  // 0: none
        Names actions;
        std::string logged;
        std::vector<std::int64_t> pointsAfter;
    };
    const std::string failed =
        "[ERROR] : " + kDescription + " : le point de restauration ne peut \xEAtre cr\xE9\xE9";
    const std::string goesOn = " ; le nettoyage continue sans lui\r\n";
    const Case cases[] = {
        {"made",
         SystemRestore::On,
         0,
         {"create_restore_point done 1", "end_restore_point done 1"},
         "[INFO] : " + kDescription + " (1) : point de restauration termin\xE9\r\n",
         {1}},
        {"turned off",
         SystemRestore::Off,
         0,
         {"create_restore_point failed code 1058"},
         failed +
             " (la Restauration du syst\xE8me est d\xE9sactiv\xE9"
             "e)" +
             goesOn + SystemText(1058) + "\r\n",
         {}},
        {"safe mode",
         SystemRestore::SafeMode,
         0,
         {"create_restore_point failed code 10"},
         failed +
             " (Windows a d\xE9marr\xE9 en mode sans \xE9"
             "chec)" +
             goesOn + SystemText(10) + "\r\n",
         {}},
        {"no srclient.dll",
         SystemRestore::Missing,
         0,
         {"create_restore_point failed code 126"},
         failed + " (ce syst\xE8me n'offre pas la Restauration du syst\xE8me)" + goesOn + SystemText(126) +
             "\r\n",
         {}},
        {"a point two hours old",
         SystemRestore::On,
         kNow - 2 * kHour,
         {"create_restore_point kept 41 restore_point_limit"},
         "[INFO] : " + kDescription +
             " (41) : point de restauration non cr\xE9\xE9 : Windows n'en cr\xE9"
             "e qu'un par 24 heures, et le plus "
             "r\xE9"
             "cent en tient lieu\r\n",
         {41}},
        {"a point of yesterday",
         SystemRestore::On,
         kNow - 25 * kHour,
         {"create_restore_point done 42", "end_restore_point done 42"},
         "[INFO] : " + kDescription + " (42) : point de restauration cr\xE9\xE9\r\n",
         {41, 42}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SimulatedWorkstation ws;
        DescribeTypical(ws);
        ws.SetSystemRestore(c.state);
        if (c.earlierPoint != 0) ws.AddRestorePoint(41, c.earlierPoint);
        const Outcome run = RunWith(ws, {"/quiet", "/restorepoint"});

        EXPECT_EQ(run.status, without.status);
        EXPECT_EQ(WithoutRestorePoint(CleaningCalls(ws)), CleaningCalls(plain));
        EXPECT_EQ(RestorePointActions(run.report), c.actions);
        EXPECT_TRUE(Has(run.log, c.logged)) << run.log;
        std::vector<std::int64_t> points;
        for (const sim::RestorePoint& point : ws.RestorePoints()) {
            points.push_back(point.sequenceNumber);
            // Every point is ended: this run's by itself, the earlier one as it was.
            EXPECT_TRUE(point.ended) << point.sequenceNumber;
        }
        EXPECT_EQ(points, c.pointsAfter);
        // The earlier point is someone else's: this run sends it nothing.
        EXPECT_EQ(ws.CallCount("SetRestorePoint"), c.actions.size());
        // What could not be made is one more reason for the event's warning.
        ASSERT_EQ(ws.Events().size(), 1u);
        EXPECT_EQ(ws.Events()[0].type,
                  c.actions.size() == 2 ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_WARNING_TYPE);
    }
}

// A pass that changes nothing cancels its point, which removes it; one whose
// newness cannot be told is ended instead, so that an earlier point handed
// back in its place is never removed.
TEST(RestorePoint, APassThatChangesNothingCancelsOnlyAPointKnownToBeItsOwn) {
    for (const bool newestKnown : {true, false}) {
        SCOPED_TRACE(newestKnown ? "newest point known" : "newest point unknown");
        SimulatedWorkstation ws;
        SetSystemTexts(ws);
        ws.AddRestorePoint(7, kNow - 48 * kHour);
        if (!newestKnown) ws.FailCall("GetNewestRestorePoint", 0x80041010);
        const Outcome run = RunWith(ws, {"/quiet", "/restorepoint"});
        EXPECT_EQ(run.status, ExitCompleted);
        if (newestKnown) {
            EXPECT_EQ(RestorePointActions(run.report),
                      (Names{"create_restore_point done 8", "cancel_restore_point done 8"}));
            ASSERT_EQ(ws.RestorePoints().size(), 1u);
            EXPECT_TRUE(
                Has(run.log,
                    kDescription + " (8) : point de restauration annul\xE9 : rien n'a \xE9t\xE9 modifi\xE9"));
        } else {
            EXPECT_EQ(RestorePointActions(run.report),
                      (Names{"create_restore_point done 8", "end_restore_point done 8"}));
            ASSERT_EQ(ws.RestorePoints().size(), 2u);
        }
        EXPECT_EQ(ws.RestorePoints()[0].sequenceNumber, 7);
    }
}

// /list plans the point among the changes and makes none; /check plans none;
// neither writes an event nor registers its source.
TEST(RestorePoint, AListPlansItAndADetectionLeavesItOut) {
    SimulatedWorkstation listed;
    DescribeTypical(listed);
    EXPECT_EQ(RunVelkorUSBCleaner(listed, {"/list", "/restorepoint", "/quiet"}), ExitCompleted);
    const std::string plan = listed.StandardOutput();
    const std::size_t begin = plan.find(
        "  1. cr\xE9"
        "er le point de restauration " +
        kDescription + "\r\n");
    const std::size_t end =
        plan.find(". terminer le point de restauration " + kDescription + "\r\nNombre d'actions : ");
    EXPECT_NE(begin, std::string::npos) << plan;
    EXPECT_NE(end, std::string::npos) << plan;
    EXPECT_LT(begin, end);
    EXPECT_TRUE(listed.Calls().empty());
    EXPECT_TRUE(listed.RestorePoints().empty());
    EXPECT_TRUE(listed.Events().empty());

    SimulatedWorkstation checked;
    DescribeTypical(checked);
    SimulatedWorkstation checkedPlain;
    DescribeTypical(checkedPlain);
    EXPECT_EQ(RunVelkorUSBCleaner(checked, {"/check", "/restorepoint", "/quiet"}),
              RunVelkorUSBCleaner(checkedPlain, {"/check"}));
    EXPECT_EQ(checked.StandardOutput(), checkedPlain.StandardOutput());
    EXPECT_EQ(checked.CallCount("SetRestorePoint"), 0u);
    EXPECT_TRUE(checked.Calls().empty());
    EXPECT_TRUE(checked.Events().empty());
    EXPECT_EQ(checked.FindRegistryKey(kSourceKey), nullptr);
}

// One event for each unattended pass or restore, with the ID and level of
// its outcome; attended runs, plans, detection and the help write none and
// register nothing.
TEST(EventLog, EachUnattendedRunLeavesOneEventOfItsOutcome) {
    struct Case {
        const char* label;
        Names arguments;
        void (*setUp)(SimulatedWorkstation&);
        DWORD eventId;  // 0: no event
        DWORD type;
    };
    const Case cases[] = {
        {"/quiet", {"/quiet"}, [](SimulatedWorkstation&) {}, 100, EVENTLOG_INFORMATION_TYPE},
        {"no visible window station",
         {},
         [](SimulatedWorkstation& ws) { ws.SetWindowStationVisible(false); },
         100,
         EVENTLOG_INFORMATION_TYPE},
        {"a file kept",
         {"/quiet"},
         [](SimulatedWorkstation& ws) { ws.AddFile(kInf + "oem12.pnf").DeleteRefused(ERROR_ACCESS_DENIED); },
         101,
         EVENTLOG_WARNING_TYPE},
        {"a restart needed",
         {"/quiet"},
         [](SimulatedWorkstation& ws) {
             AddReader(ws, "USB\\VID_C2B5&PID_000B\\2", "0004", "oem12.inf", "vlkusbser")
                 .RestartFlagsAfterRemove(DI_NEEDREBOOT);
         },
         102,
         EVENTLOG_WARNING_TYPE},
        {"another run",
         {"/quiet"},
         [](SimulatedWorkstation& ws) { ws.SetOtherInstanceRunning(true); },
         203,
         EVENTLOG_ERROR_TYPE},
        {"no backup folder",
         {"/quiet", "/backup:C:\\b"},
         [](SimulatedWorkstation& ws) { ws.FailCall("CreateProtectedDirectory", ERROR_ACCESS_DENIED); },
         201,
         EVENTLOG_ERROR_TYPE},
        {"an unreadable backup",
         {"/quiet", "/restore:C:\\nowhere"},
         [](SimulatedWorkstation&) {},
         202,
         EVENTLOG_ERROR_TYPE},
        {"attended", {}, [](SimulatedWorkstation&) {}, 0, 0},
        {"/list", {"/list", "/quiet"}, [](SimulatedWorkstation&) {}, 0, 0},
        {"/check", {"/check", "/quiet"}, [](SimulatedWorkstation&) {}, 0, 0},
        {"/?", {"/?", "/quiet"}, [](SimulatedWorkstation&) {}, 0, 0},
        {"/list /restore", {"/list", "/quiet", "/restore:C:\\nowhere"}, [](SimulatedWorkstation&) {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SimulatedWorkstation ws;
        DescribeTypical(ws);
        c.setUp(ws);
        RunVelkorUSBCleaner(ws, c.arguments);
        if (c.eventId == 0) {
            EXPECT_TRUE(ws.Events().empty());
            EXPECT_EQ(ws.FindRegistryKey(kSourceKey), nullptr);
            continue;
        }
        ASSERT_EQ(ws.Events().size(), 1u);
        EXPECT_EQ(ws.Events()[0].source, "VelkorUSBCleaner");
        EXPECT_EQ(ws.Events()[0].eventId, c.eventId);
        EXPECT_EQ(ws.Events()[0].type, c.type);
    }
}

// The event's one paragraph says what the report says in summary, and the
// source is registered once, with Windows' own message file, so that the
// event reads after the program's copy is gone; a key set up otherwise is
// left as it is, and one that cannot be made does not keep the event back.
TEST(EventLog, TheSourceIsRegisteredOnceAndTheEventSaysTheSummary) {
    SimulatedWorkstation ws;
    DescribeTypical(ws);
    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/quiet", "/log:" + kLogPath}), ExitCompleted);
    ASSERT_EQ(ws.Events().size(), 1u);
    EXPECT_EQ(ws.Events()[0].text,
              "Nettoyage des lecteurs VELKOR termin\xE9 ; code de sortie 0. Lecteurs s\xE9lectionn\xE9s : 1. "
              "Actions "
              "faites : 4, en \xE9"
              "chec : 0, conserv\xE9"
              "es : 0. Red\xE9marrage n\xE9"
              "cessaire : non. Journal : " +
                  kLogPath + ". Rapport : (aucun).");
    const sim::RegistryKey* key = ws.FindRegistryKey(kSourceKey);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->values.at("EventMessageFile").type, REG_EXPAND_SZ);
    EXPECT_EQ(key->values.at("EventMessageFile").data,
              sim::Sz("%SystemRoot%\\System32\\EventCreate.exe").data);
    EXPECT_EQ(key->values.at("TypesSupported").data, sim::Dword(7).data);

    const std::size_t writes = ws.CallCount("RegSetValueEx");
    RunVelkorUSBCleaner(ws, {"/quiet"});
    EXPECT_EQ(ws.CallCount("RegSetValueEx"), writes);
    ASSERT_EQ(ws.Events().size(), 2u);
    EXPECT_TRUE(Has(ws.Events()[1].text, "Lecteurs s\xE9lectionn\xE9s : 0. Actions faites : 0,"))
        << ws.Events()[1].text;

    SimulatedWorkstation own;
    DescribeTypical(own);
    own.AddRegistryKey(kSourceKey).Value("EventMessageFile", sim::Sz("C:\\Tools\\messages.dll"));
    RunVelkorUSBCleaner(own, {"/quiet"});
    EXPECT_EQ(own.FindRegistryKey(kSourceKey)->values.size(), 1u);
    EXPECT_EQ(own.Events().size(), 1u);

    SimulatedWorkstation refused;
    DescribeTypical(refused);
    refused.FailCall("RegCreateKeyEx", ERROR_ACCESS_DENIED);
    const Outcome run = RunWith(refused, {"/quiet"});
    EXPECT_EQ(run.status, ExitCompleted);
    EXPECT_EQ(refused.Events().size(), 1u);
    EXPECT_TRUE(Has(run.log, "[ERROR] : " + kSourceKey +
                                 " : la source d'\xE9v\xE9nements ne peut \xEAtre inscrite\r\n" +
                                 SystemText(ERROR_ACCESS_DENIED)));
    const auto& actions = run.report["actions"];
    ASSERT_GE(actions.size(), 2u);
    EXPECT_EQ(actions[actions.size() - 2]["action"], "register_event_source");
    EXPECT_EQ(actions[actions.size() - 2]["code"], ERROR_ACCESS_DENIED);
    EXPECT_EQ(actions.back()["action"], "write_event");
    EXPECT_EQ(actions.back()["eventId"], 100);
}

}  // namespace
}  // namespace vk
