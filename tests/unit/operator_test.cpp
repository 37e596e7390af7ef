// The program as the people who run it use it: its switches, the dry run
// whose plan is what a real pass then does, the detection a deployment engine
// runs before and after a pass, a log that cannot be opened, and the help.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/cleaner_app.h"
#include "platform/simulated/simulated.h"
#include "support/workstation.h"

namespace vk {
namespace {

using namespace test;
using sim::SimulatedWorkstation;
using sim::Sz;
using Lines = std::vector<std::string>;

const std::string kReaderA = "USB\\VID_C2B5&PID_000A\\5&2C1B&0&1";
const std::string kReaderB = "USB\\VID_C2B5&PID_000B\\5&2C1B&0&2";
const std::string kReaderC = "USB\\VID_C2B5&PID_000C\\5&2C1B&0&3";
const std::string kReaderHub = "USB\\VID_C2B5&PID_0012\\5&2C1B&0&4";
const std::string kReaderE = "USB\\VID_C2B5&PID_000E\\5&2C1B&0&5";
const std::string kMouse = "USB\\VID_046D&PID_C52B\\6&1F&0&2";

// Five readers and another maker's mouse: one INF and one service shared by
// two readers (in two letter cases), a reader driven by the system's own
// serial driver, a reader of the USB class with a read-only INF, a reader
// whose service differs from another's only in case, an orphan read-only
// INF found only by its content, and INF files that name no scanned reader.
void DescribeRichWorkstation(SimulatedWorkstation& ws) {
    AddReader(ws, kReaderA, "0001", "oem12.inf", "vlkusbser");
    AddReader(ws, kReaderB, "0002", "OEM12.INF", "vlkusbser").NotPresent();
    AddReader(ws, kReaderC, "0003", "mdmcpq.inf", "usbser", "Microsoft");
    AddReader(ws, kReaderHub, "0004", "oem40.inf", "");
    AddReader(ws, kReaderE, "0005", "oem41.inf", "VlkUsbSer");
    ws.AddDevice(kMouse)
        .HardwareIds({"USB\\VID_046D&PID_C52B"})
        .Class("Mouse")
        .Driver(kPorts + "\\0009")
        .Service("logimouse");
    ws.AddClassKey(kPorts + "\\0009").Value("ProviderName", Sz("Logitech")).Value("InfPath", Sz("oem3.inf"));
    for (const char* service : {"vlkusbser", "usbser", "logimouse"}) ws.AddService(service);

    ws.AddFile(kInf + "oem3.inf", "USB\\VID_046D&PID_C52B");
    ws.AddFile(kInf + "oem3.pnf", "PNF");
    ws.AddFile(kInf + "oem7.inf", "; old install\r\n%D%=I, usb\\vid_c2b5&pid_0005\r\n")
        .ReadOnly()
        .Times(13000000005, 13000000006, 13000000007);
    ws.AddFile(kInf + "oem7.pnf", "PNF");
    ws.AddFile(kInf + "oem8.inf", "USB\\VID_C2B5&PID_0012 only");
    ws.AddFile(kInf + "oem12.inf", "USB\\VID_C2B5&PID_000A\r\nUSB\\VID_C2B5&PID_000B\r\n");
    ws.AddFile(kInf + "oem12.pnf", "PNF");
    ws.AddFile(kInf + "oem40.inf", "USB\\VID_C2B5&PID_0012").ReadOnly();
    ws.AddFile(kInf + "oem40.pnf", "PNF");
    ws.AddFile(kInf + "oem41.inf", "USB\\VID_C2B5&PID_000E");
    ws.AddFile(kInf + "oem41.pnf", "PNF");
    ws.AddFile(kDrivers + "vlkcomusb.sys", "MZ").ReadOnly();
    ws.AddFile(kDrivers + "vlkusbser.sys", "MZ");
}

Lines SplitLines(const std::string& text) {
    Lines lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text not ending in CR LF";
    return lines;
}

// The call a printed action line stands for, in the simulated workstation's
// record of calls; empty when the line is no action.
std::string CallOf(const std::string& line) {
    const std::size_t dot = line.find(". ");
    if (line.compare(0, 2, "  ") != 0 || dot == std::string::npos) return "";
    const std::string action = line.substr(dot + 2);
    const std::pair<const char*, const char*> verbs[] = {
        {"supprimer le p\xE9riph\xE9rique ", "DIF_REMOVE "},
        {"effacer le fichier ", "DeleteFile "},
        {"changer les attributs de ", "SetFileAttributes "},
        {"r\xE9tablir les dates de ", "SetFileTime "},
        {"d\xE9sinstaller le service ", "DeleteService "},
        {"retirer du magasin des pilotes le paquet ", "UninstallOEMInf "},
    };
    for (const auto& verb : verbs) {
        const std::string prefix = verb.first;
        if (action.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = action.substr(prefix.size());
        const std::size_t word = rest.rfind(" : 0x");
        if (prefix == verbs[2].first && word != std::string::npos) rest.replace(word, 3, " ");
        return verb.second + rest;
    }
    return "?" + action;
}

TEST(Switches, EachNameOfTheTableAndNothingElse) {
    // The parser's rules (case, lead, values, the last /log: wins) are the
    // fuzz target's; here, which name sets what.
    RunOptions options = ParseSwitches({"-LIST", "/Quiet", "C:\\setup.ini", "/log:b c.txt", "/REPORT"});
    EXPECT_TRUE(options.list && options.quiet && options.log && options.logNamed && !options.help);
    EXPECT_EQ(options.logPath, "b c.txt");
    EXPECT_TRUE(options.report && !options.reportNamed && !options.check);
    // Without a name, the file goes where deployment engines collect.
    options = ParseSwitches({"/log:x", "/log", "/report:r.json", "-check"});
    EXPECT_TRUE(options.log && !options.logNamed && options.reportNamed && options.check);
    EXPECT_EQ(options.reportPath, "r.json");
    EXPECT_TRUE(ParseSwitches({"/?"}).help && ParseSwitches({"-HELP"}).help);
    for (const char* other :
         {"list", "/lists", "/list:x", "/check:", "//list", "/", "-", "/quietly", "/?x"}) {
        options = ParseSwitches({other});
        EXPECT_FALSE(options.list || options.quiet || options.log || options.help || options.check) << other;
    }
}

TEST(Switches, TheCommandLineSplitsAsTheRuntimeDoes) {
    EXPECT_EQ(SplitCommandLine("  /quiet\t/log:\"C:\\Mes journaux\\vk.log\"  /list "),
              (Lines{"/quiet", "/log:C:\\Mes journaux\\vk.log", "/list"}));
    EXPECT_EQ(SplitCommandLine("\"/log:C:\\a b\\\" /list"), (Lines{"/log:C:\\a b\" /list"}));
    EXPECT_EQ(SplitCommandLine("/log:C:\\logs\\\\\" x\" y"), (Lines{"/log:C:\\logs\\ x", "y"}));
    EXPECT_EQ(SplitCommandLine("a\\\\b \"\" \"say \"\"hi\"\"\""), (Lines{"a\\\\b", "", "say \"hi\""}));
    EXPECT_EQ(SplitCommandLine(""), Lines{});
    EXPECT_EQ(SplitCommandLine(nullptr), Lines{});
}

TEST(DryRun, ThePlanIsWhatTheRealPassThenDoes) {
    // What the plan says, line by line, and that the listing changes nothing
    // are in the rich workstation's transcript; here, that the plan is what
    // the real pass then does.
    SimulatedWorkstation dry;
    DescribeRichWorkstation(dry);
    EXPECT_EQ(RunVelkorUSBCleaner(dry, {"/list"}), 0);
    EXPECT_EQ(dry.LiveHeapBlocks(), 0u);
    EXPECT_EQ(dry.OpenHandles(), 0u);
    const Lines plan = SplitLines(dry.StandardOutput());
    Lines planned;
    for (auto it = std::find(plan.begin(), plan.end(), "Actions pr\xE9vues :"); it != plan.end(); ++it) {
        const std::string call = CallOf(*it);
        if (!call.empty()) planned.push_back(call);
    }
    EXPECT_EQ(plan.back(), "Nombre d'actions : " + std::to_string(planned.size()));

    SimulatedWorkstation real;
    DescribeRichWorkstation(real);
    EXPECT_EQ(RunVelkorUSBCleaner(real, {"/quiet"}), 0);
    // The store of this workstation has none of the packages, so the real
    // pass deletes the files itself; the plan asks the store first for every
    // INF it deletes by name or by content (oem41.inf twice: by content, then
    // by name when its last user is removed).
    Lines plannedStore, plannedRest;
    for (const std::string& call : planned) {
        (call.rfind("UninstallOEMInf ", 0) == 0 ? plannedStore : plannedRest).push_back(call);
    }
    EXPECT_EQ(plannedStore,
              (Lines{"UninstallOEMInf OEM12.INF", "UninstallOEMInf oem41.inf", "UninstallOEMInf oem7.inf",
                     "UninstallOEMInf oem40.inf", "UninstallOEMInf oem41.inf"}));
    EXPECT_EQ(plannedRest, test::CleaningCalls(real));
    EXPECT_EQ(std::count(planned.begin(), planned.end(), "DeleteService vlkusbser"), 1);
}

// What an Intune detection script or a Configuration Manager rule runs: one
// line, a status, no prompt and no change; after the remediation's pass,
// nothing is left.
TEST(Check, SaysWhetherAPassWouldStillCleanSomethingAndChangesNothing) {
    SimulatedWorkstation ws;
    AddReader(ws, kReaderA, "0001", "oem12.inf", "vlkusbser");
    ws.AddService("vlkusbser");
    AddInfPair(ws, "oem12", kNamesReader);
    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/check"}), ExitTracesFound);
    EXPECT_EQ(ws.StandardOutput(),
              "Traces d'installation de lecteur VELKOR \xE0 nettoyer ; actions pr\xE9vues : 5\r\n");
    EXPECT_TRUE(ws.Prompts().empty() && ws.Calls().empty());

    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/quiet"}), ExitCompleted);
    const std::size_t before = ws.StandardOutput().size();
    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/check"}), ExitCompleted);
    EXPECT_EQ(ws.StandardOutput().substr(before),
              "Aucune trace d'installation de lecteur VELKOR : rien \xE0 nettoyer.\r\n");
}

TEST(QuietRun, ALogOrReportThatCannotBeOpenedIsReportedAndTheRunGoesOn) {
    SimulatedWorkstation quiet;
    DescribeRichWorkstation(quiet);
    EXPECT_EQ(RunVelkorUSBCleaner(quiet, {"/quiet", "/log:/nonexistent-folder/vk.log",
                                          "/report:/nonexistent-folder/vk.json"}),
              0);
    EXPECT_EQ(quiet.StandardError(),
              "/nonexistent-folder/vk.log : le journal ne peut \xEAtre ouvert ; le nettoyage continue sans "
              "journal\r\n/nonexistent-folder/vk.json : le rapport ne peut \xEAtre \xE9"
              "crit ; le nettoyage "
              "continue sans rapport\r\n");
    EXPECT_TRUE(quiet.Prompts().empty());
    EXPECT_FALSE(quiet.HasDevice(kReaderA));

    // With a person there, a message box before the first prompt; an empty
    // name is reported the same way.
    SimulatedWorkstation attended;
    EXPECT_EQ(RunVelkorUSBCleaner(attended, {"/log:"}), 0);
    ASSERT_EQ(attended.Prompts().size(), 3u);
    EXPECT_EQ(attended.Prompts()[0].text.find(" : le journal ne peut \xEAtre ouvert"), 0u);
    EXPECT_EQ(attended.Prompts()[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(attended.StandardError(), "");
}

TEST(Help, ListsEverySwitchAndStatusAndDoesNothingElse) {
    SimulatedWorkstation ws;
    DescribeRichWorkstation(ws);
    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/list", "-?"}), 0);
    const std::string& help = ws.StandardOutput();
    for (const char* expected : {"/list", "/quiet", "/log[:<fichier>]", "/report[:<fichier>]", "/check",
                                 "/? ou /help", "Codes de sortie :", "  0  ", "  1  ", "  2  "}) {
        EXPECT_NE(help.find(expected), std::string::npos) << expected;
    }
    ASSERT_EQ(ws.Prompts().size(), 1u);
    EXPECT_EQ(ws.Prompts()[0].text, help);
    EXPECT_EQ(ws.Prompts()[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(ws.CallCount("GetClassDevs"), 0u);
    EXPECT_TRUE(ws.Calls().empty());

    // Without a console or redirection the box alone shows it.
    SimulatedWorkstation bare;
    bare.SetStandardStreams(false);
    EXPECT_EQ(RunVelkorUSBCleaner(bare, {"/help"}), 0);
    EXPECT_EQ(bare.Prompts().size(), 1u);
}

// A technician reads which build is in hand from /?, a script from the report:
// both must name the same version and commit.
TEST(Help, NamesTheBuildTheReportNames) {
    SimulatedWorkstation ws;
    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/?"}), 0);
    const Lines help = SplitLines(ws.StandardOutput());
    SimulatedWorkstation checked;
    DescribeRichWorkstation(checked);
    RunVelkorUSBCleaner(checked, {"/check", "/report:C:\\vk.json"});
    const auto program = nlohmann::json::parse(Content(checked, "C:\\vk.json"))["program"];
    const std::string version = program["version"], commit = program["commit"];
    EXPECT_FALSE(commit.empty());
    ASSERT_GE(help.size(), 2u);
    EXPECT_EQ(help[1], "Version " + version + " (" + commit + ")");
}

// The release's text for the technician repeats the help's switches and exit
// statuses word for word (same bytes, same line ends): a switch or a status
// added to the program and not to the text, or the other way round, fails.
TEST(Help, TheTechniciansTextCarriesItWordForWord) {
    SimulatedWorkstation ws;
    EXPECT_EQ(RunVelkorUSBCleaner(ws, {"/?"}), 0);
    const std::string help = ws.StandardOutput();
    // From the usage line on: the title and the build's name are the text's own.
    const std::size_t usage = help.find("Utilisation : ");
    ASSERT_NE(usage, std::string::npos);
    const std::string body = help.substr(usage);
    const std::string text = ReadWhole(VK_RELEASE_DIR "/LISEZMOI.txt");
    EXPECT_NE(text.find("\r\n" + body + "\r\n"), std::string::npos) << "release/LISEZMOI.txt lacks:\n"
                                                                    << body;
    // Windows' Notepad, and the help's own bytes: CR LF everywhere.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(text.begin(), text.end(), '\r'));
}

}  // namespace
}  // namespace vk
