// String resources, system texts and message patterns: the bytes and
// lengths the prompts and the log are built from, and the last error that
// those calls must leave alone.
#include "win32_test_support.h"

#include <cstring>
#include <string>

#include "res/string_table.h"

namespace vk::test {
namespace {

class TextTest : public ::testing::Test {
protected:
    Win32Platform m_platform;
};

// The resources are compiled from a Windows-1252 script and come back through
// the process's ANSI code page; both must give the table's bytes.
TEST_F(TextTest, LoadStringGivesTheWindows1252BytesOfEachResourceOrNothing) {
    ASSERT_EQ(::GetACP(), 1252u)
        << "the French texts read back as cp1252 only under an ANSI code page of 1252";
    for (const StringResource& resource : kStringTable) {
        SCOPED_TRACE(resource.id);
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        const int length = m_platform.LoadString(resource.id, buffer, sizeof buffer);
        ASSERT_EQ(length, static_cast<int>(std::strlen(resource.text)));
        EXPECT_EQ(std::string(buffer, length + 1), std::string(resource.text, length + 1));
    }

    // Absent ids: before the first entry and in a gap.
    char buffer[256] = {};
    EXPECT_EQ(m_platform.LoadString(4, buffer, sizeof buffer), 0);
    EXPECT_EQ(m_platform.LoadString(13, buffer, sizeof buffer), 0);
}

// A system message ends in CR LF and its length is the text's; a code without
// a system text gives nothing, not the text of an earlier call.
TEST_F(TextTest, SystemMessagesComeWithTheirLineEndOrNotAtAll) {
    std::string text = "stale";
    const DWORD length = m_platform.FormatSystemMessage(ERROR_ACCESS_DENIED, LANG_USER_DEFAULT, &text);
    ASSERT_GT(length, 2u);
    EXPECT_EQ(length, text.size());
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.find('\0'), std::string::npos);

    // Customer bit set: no system message can exist for it.
    text = "stale";
    EXPECT_EQ(m_platform.FormatSystemMessage(0x2000ABCD, LANG_USER_DEFAULT, &text), 0u);
    EXPECT_TRUE(text.empty());
}

// A failure's code is read once its message is composed, so the calls that
// compose it must hand the code on untouched, whether they succeed or not.
TEST_F(TextTest, TextCallsLeaveTheLastErrorAsTheyFoundIt) {
    constexpr DWORD kPending = ERROR_SHARING_VIOLATION;
    char buffer[256] = {};
    std::string text;
    const auto keeps = [&](const char* what, const auto& call) {
        m_platform.SetLastError(kPending);
        call();
        EXPECT_EQ(m_platform.GetLastError(), kPending) << what;
    };
    keeps("LoadString", [&] { m_platform.LoadString(IDS_FILE_DELETE_FAILED, buffer, sizeof buffer); });
    keeps("LoadString of an absent id", [&] { m_platform.LoadString(13, buffer, sizeof buffer); });
    keeps("FormatSystemMessage",
          [&] { m_platform.FormatSystemMessage(ERROR_FILE_NOT_FOUND, LANG_USER_DEFAULT, &text); });
    keeps("FormatSystemMessage without text",
          [&] { m_platform.FormatSystemMessage(0x2000ABCD, LANG_USER_DEFAULT, &text); });
    keeps("FormatStringMessage", [&] { m_platform.FormatStringMessage(" %1% :\n", "vlkusbser", &text); });
    keeps("FormatStringMessage of an empty pattern",
          [&] { m_platform.FormatStringMessage("", "vlkusbser", &text); });
}

TEST_F(TextTest, MessagePatternsExpandTheirOneInsert) {
    std::string text;
    EXPECT_EQ(m_platform.FormatStringMessage("%1% : ", "N", &text), 4u);
    EXPECT_EQ(text, "N : ");

    // A line feed in the pattern comes out as CR LF.
    EXPECT_EQ(m_platform.FormatStringMessage(" %1% :\n", "N", &text), 6u);
    EXPECT_EQ(text, " N :\r\n");

    // The insert is copied as it is, never expanded again.
    EXPECT_GT(m_platform.FormatStringMessage(" %1% :\n", "svc%1%n\xE9", &text), 0u);
    EXPECT_EQ(text, " svc%1%n\xE9 :\r\n");
}

// A console shows characters: the program's Windows-1252 text reaches it
// converted, whatever the console's code page (850 on a French Windows), where
// the bytes themselves would show other letters.
TEST_F(TextTest, AConsoleGetsTheTextAsCharactersConvertedFromWindows1252) {
    ::FreeConsole();
    if (!::AllocConsole()) GTEST_SKIP() << "no console can be made here: " << ::GetLastError();
    // Wine may not have 850; any console code page but 1252 tells the bytes
    // from the characters.
    ::SetConsoleOutputCP(850);
    ASSERT_NE(::GetConsoleOutputCP(), 1252u);
    const win32::unique_hfile console(::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(console);
    ::DWORD mode = 0;
    if (!::GetConsoleMode(console.get(), &mode)) {
        GTEST_SKIP() << "Wine makes a console that works only with a display (run with DISPLAY set)";
    }
    // The console as the standard output, as a program started from cmd has it.
    ASSERT_TRUE(::SetStdHandle(STD_OUTPUT_HANDLE, console.get()));
    const char text[] =
        "d\xE9"
        "branchez le c\xE2"
        "ble\r\n";
    ASSERT_TRUE(m_platform.WriteStandardStream(StandardStream::Output, text, sizeof text - 1));

    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(::GetConsoleScreenBufferInfo(console.get(), &info));
    // The cursor went down one line: the text is on the line above it.
    const COORD start{0, static_cast<SHORT>(info.dwCursorPosition.Y - 1)};
    wchar_t shown[20] = {};
    ::DWORD read = 0;
    ASSERT_TRUE(::ReadConsoleOutputCharacterW(console.get(), shown, 19, start, &read));
    EXPECT_EQ(std::wstring(shown, read),
              L"d\u00E9"
              L"branchez le c\u00E2"
              L"ble");
}

}  // namespace
}  // namespace vk::test
