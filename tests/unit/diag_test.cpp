// The diagnostic log's two entry forms and the message compositions, byte
// for byte, against the simulated workstation's system texts.
#include <gtest/gtest.h>

#include "diag/log.h"
#include "diag/messages.h"
#include "platform/simulated/simulated.h"
#include "support/log_capture.h"

namespace vk {
namespace {

using sim::SimulatedWorkstation;

TEST(DiagnosticLog, EntryFormsPrefixesAndRawBytes) {
    SimulatedWorkstation ws;
    ws.SetSystemMessage(2, "File not found.\r\n");
    CDiagnosticLog log(ws);
    test::LogCapture capture(log);

    log.Log(2, "X", LogLevelError);
    EXPECT_EQ(capture.Text(), "[ERROR] : X\r\nFile not found.\r\n\r\n");

    // Code 0: prefix and text only, so two entries share one line.
    log.Log(0, "A", LogLevelInfo);
    log.Log(0, "B", LogLevelInfo);
    EXPECT_EQ(capture.Text(), "[ERROR] : X\r\nFile not found.\r\n\r\n[INFO] : A[INFO] : B");

    // Any other level has no prefix; a "%" is written as it stands.
    log.Log(0, "100% %s %1", 48);
    log.Log(2, "%d", 48);
    EXPECT_EQ(capture.Text(),
              "[ERROR] : X\r\nFile not found.\r\n\r\n[INFO] : A[INFO] : B100% %s %1%d\r\nFile not found.\r\n\r\n");
}

TEST(DiagnosticLog, NothingWrittenWithoutSystemTextOrWhenOff) {
    SimulatedWorkstation ws;
    ws.SetSystemMessage(0xE0000235, "");
    CDiagnosticLog log(ws);
    {
        test::LogCapture capture(log);
        log.Log(0xE0000235, "dropped", LogLevelError);
        EXPECT_EQ(capture.Text(), "");
    }

    // Off (the state of every run): no system text is even fetched.
    CDiagnosticLog off(ws);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    off.m_logFile = file;
    std::size_t before = ws.CallCount("FormatSystemMessage");
    off.Log(2, "X", LogLevelError);
    off.Log(0, "Y", LogLevelInfo);
    EXPECT_EQ(ws.CallCount("FormatSystemMessage"), before);
    EXPECT_EQ(std::ftell(file), 0);
    std::fclose(file);
}

TEST(MessageCatalogue, PatternsAndCompositions) {
    SimulatedWorkstation ws;
    std::string text = "old";
    ExpandMessagePattern(ws, text, kPatternNameColon, "VID_C2B5&PID_000A");
    EXPECT_EQ(text, "VID_C2B5&PID_000A : ");
    ExpandMessagePattern(ws, text, kPatternServiceHead, "svc%1");
    EXPECT_EQ(text, " svc%1 :\r\n");

    EXPECT_EQ(MsgDeviceListFailed(ws),
              "Impossible de conna\xEEtre la liste des p\xE9riph\xE9riques install\xE9s");
    EXPECT_EQ(MsgHwidReadFailed(ws), "Hardware ID : La valeur ne peut \xEAtre lue dans la base de registre");
    EXPECT_EQ(MsgClassReadFailed(ws), "Class : La valeur ne peut \xEAtre lue dans la base de registre");
    EXPECT_EQ(MsgServiceReadFailed(ws), "Service : La valeur ne peut \xEAtre lue dans la base de registre");
    EXPECT_EQ(MsgInfKept(ws, "VID_C2B5&PID_000A"),
              "VID_C2B5&PID_000A : Le fichier .inf correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas "
              "d\xE9sinstall\xE9");
    EXPECT_EQ(MsgServiceKept(ws, nullptr),
              "(ID inconnu) : Le service correspondant \xE0 ce p\xE9riph\xE9rique ne sera pas d\xE9sinstall\xE9");
    EXPECT_EQ(MsgInfOpenFailed(), "Can't Open Inf file");
    EXPECT_EQ(MsgFileDeleteFailed(ws, "C:\\Windows\\inf\\oem7.pnf"),
              "C:\\Windows\\inf\\oem7.pnf : le fichier ne peut \xEAtre effac\xE9");
    EXPECT_EQ(MsgScmOpenFailed(ws, "S"), "D\xE9sinstallation du service S :\r\nle SC Manager ne peut \xEAtre ouvert");
    EXPECT_EQ(MsgServiceOpenFailed(ws, "S"), "D\xE9sinstallation du service S :\r\nle service ne peut \xEAtre ouvert");
    EXPECT_EQ(MsgServiceDeleteFailed(ws, "S"), "S : le Service ne peut \xEAtre d\xE9sinstall\xE9");

    // A null insert is the empty name, also when the formatting fails.
    ExpandMessagePattern(ws, text, kPatternNameColon, nullptr);
    EXPECT_EQ(text, " : ");
    ws.FailCall("FormatStringMessage", ERROR_NOT_ENOUGH_MEMORY);
    ExpandMessagePattern(ws, text, kPatternNameColon, nullptr);
    EXPECT_EQ(text, "");
}

}  // namespace
}  // namespace vk
