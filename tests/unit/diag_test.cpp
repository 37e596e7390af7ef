// The diagnostic log's entries of other levels, with percent signs or
// without a system text, and what the message compositions make of a
// missing name.
#include <gtest/gtest.h>

#include "diag/log.h"
#include "diag/messages.h"
#include "platform/simulated/simulated.h"
#include "support/log_capture.h"

namespace vk {
namespace {

using sim::SimulatedWorkstation;

TEST(DiagnosticLog, OtherLevelsHaveNoPrefixAndPercentSignsStand) {
    // The two forms of Info and Error entries are in the rich workstation's
    // transcripts.
    SimulatedWorkstation ws;
    ws.SetSystemMessage(2, "File not found.\r\n");
    CDiagnosticLog log(ws);
    test::LogCapture capture(log);
    log.Log(0, "100% %s %1", 48);
    log.Log(2, "%d", 48);
    EXPECT_EQ(capture.Text(), "100% %s %1%d\r\nFile not found.\r\n\r\n");
}

TEST(DiagnosticLog, CodesWithoutSystemTextOwnEntriesOnAFreshLineAndOff) {
    SimulatedWorkstation ws;
    ws.SetSystemMessage(0xE0000235, "");
    ws.SetSystemMessage(0x800F0235, "32-bit SetupAPI under WOW64.\r\n");
    ws.SetSystemMessage(0xE000020B, "");
    CDiagnosticLog log(ws);
    {
        // A SetupAPI code through its HRESULT form, else the code itself; the
        // program's own entries start a line after an entry left open.
        test::LogCapture capture(log);
        log.Log(0xE0000235, "A", LogLevelError);
        log.Log(0xE000020B, "B", LogLevelInfo);
        log.Log(0, "C", LogLevelInfo);
        log.LogOwnEntry(0, "D\r\n", LogLevelInfo);
        log.LogOwnEntry(0, "E", LogLevelInfo);
        log.Log(0, "F", LogLevelInfo);
        EXPECT_EQ(capture.Text(),
                  "[ERROR] : A\r\n32-bit SetupAPI under WOW64.\r\n\r\n[INFO] : B\r\n0xE000020B\r\n\r\n"
                  "[INFO] : C\r\n[INFO] : D\r\n[INFO] : E[INFO] : F");
    }

    // Off (the state of every run): no system text is even fetched.
    CDiagnosticLog off(ws);
    test::LogCapture file(off);
    off.m_logEnabled = false;
    std::size_t before = ws.CallCount("FormatSystemMessage");
    off.Log(2, "X", LogLevelError);
    off.Log(0, "Y", LogLevelInfo);
    EXPECT_EQ(ws.CallCount("FormatSystemMessage"), before);
    EXPECT_EQ(file.Text(), "");
}

TEST(MessageCatalogue, AnUnknownNameAndANullInsert) {
    // The other compositions are checked byte for byte in the entries the
    // pass logs; the patterns' expansion is the fuzz target's.
    SimulatedWorkstation ws;
    EXPECT_EQ(
        MsgServiceKept(ws, nullptr),
        "(ID inconnu) : Le service correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9");

    // A null insert is the empty name, also when the formatting fails.
    std::string text = "old";
    ExpandMessagePattern(ws, text, kPatternNameColon, nullptr);
    EXPECT_EQ(text, " : ");
    ws.FailCall("FormatStringMessage", ERROR_NOT_ENOUGH_MEMORY);
    ExpandMessagePattern(ws, text, kPatternNameColon, nullptr);
    EXPECT_EQ(text, "");
}

}  // namespace
}  // namespace vk
