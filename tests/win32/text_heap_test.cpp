// String resources, system texts, message patterns, the ANSI code page, the
// process heap and the process facts the pass relies on.
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
TEST_F(TextTest, LoadStringGivesTheWindows1252BytesOfEachResource) {
    ASSERT_EQ(::GetACP(), 1252u) << "the French texts read back as cp1252 only under an ANSI code page of 1252";
    for (const StringResource& resource : kStringTable) {
        SCOPED_TRACE(resource.id);
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        const int length = m_platform.LoadString(resource.id, buffer, sizeof buffer);
        ASSERT_EQ(length, static_cast<int>(std::strlen(resource.text)));
        EXPECT_EQ(std::string(buffer, length + 1), std::string(resource.text, length + 1));
    }
}

TEST_F(TextTest, LoadStringOfAnAbsentIdOrIntoASmallBuffer) {
    char buffer[256] = {};
    EXPECT_EQ(m_platform.LoadString(13, buffer, sizeof buffer), 0);
    EXPECT_EQ(m_platform.LoadString(4, buffer, sizeof buffer), 0);

    // Truncated to the buffer, terminator included.
    char small[6];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(m_platform.LoadString(IDS_SERVICE_UNINSTALL, small, sizeof small), 5);
    EXPECT_EQ(std::string(small, 6), std::string("D\xE9sin\0", 6));
}

TEST_F(TextTest, SystemMessagesComeWithTheirLineEnd) {
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED};
    for (const DWORD code : codes) {
        SCOPED_TRACE(code);
        std::string text = "stale";
        const DWORD length = m_platform.FormatSystemMessage(code, LANG_USER_DEFAULT, &text);
        RecordProperty("message_" + std::to_string(code), text);
        ASSERT_GT(length, 2u);
        EXPECT_EQ(length, text.size());
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        EXPECT_EQ(text.find('\0'), std::string::npos);
    }
}

TEST_F(TextTest, CodeWithoutSystemTextGivesNothing) {
    std::string text = "stale";
    // Customer bit set: no system message can exist for it.
    EXPECT_EQ(m_platform.FormatSystemMessage(0x2000ABCD, LANG_USER_DEFAULT, &text), 0u);
    EXPECT_TRUE(text.empty());
    EXPECT_NE(m_platform.GetLastError(), 0u);
}

TEST_F(TextTest, MessagePatternsExpandTheirOneInsert) {
    std::string text;
    EXPECT_EQ(m_platform.FormatStringMessage("%1% : ", "N", &text), 4u);
    EXPECT_EQ(text, "N : ");

    // A line feed in the pattern comes out as CR LF.
    EXPECT_EQ(m_platform.FormatStringMessage(" %1% :\n", "N", &text), 6u);
    EXPECT_EQ(text, " N :\r\n");

    EXPECT_GT(m_platform.FormatStringMessage("%1% : ", "VID_C2B5&PID_000A", &text), 0u);
    EXPECT_EQ(text, "VID_C2B5&PID_000A : ");

    // The insert is copied as it is, never expanded again.
    EXPECT_GT(m_platform.FormatStringMessage(" %1% :\n", "svc%1%n\xE9", &text), 0u);
    EXPECT_EQ(text, " svc%1%n\xE9 :\r\n");
}

TEST_F(TextTest, CharUpperBuffUpperCasesOnlyTheGivenLength) {
    char ascii[] = "usb\\vid_c2b5&pid_000a-rev";
    EXPECT_EQ(m_platform.CharUpperBuff(ascii, 21), 21u);
    EXPECT_STREQ(ascii, "USB\\VID_C2B5&PID_000A-rev");
}

TEST_F(TextTest, CharUpperBuffFollowsTheWindows1252CodePage) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "ANSI code page " << ::GetACP();
    }
    // e acute -> E acute, y diaeresis -> Y diaeresis (0x9F in cp1252),
    // the multiplication sign and digits unchanged.
    char text[] = "\xE9\xFF\xD7" "9";
    EXPECT_EQ(m_platform.CharUpperBuff(text, 4), 4u);
    EXPECT_EQ(std::string(text), "\xC9\x9F\xD7" "9");
}

TEST_F(TextTest, CodePageInfoDescribesTheAnsiCodePage) {
    CodePageInfo info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_TRUE(m_platform.GetCPInfo(&info));
    EXPECT_EQ(info.codePage, ::GetACP());
    RecordProperty("ansi_code_page", static_cast<int>(info.codePage));
    if (info.maxCharSize == 1) {
        for (const auto& range : info.leadByteRanges) {
            EXPECT_EQ(range[0], 0);
            EXPECT_EQ(range[1], 0);
        }
    } else {
        ASSERT_EQ(info.maxCharSize, 2u);
        // A double-byte code page has at least one range, each in order.
        EXPECT_NE(info.leadByteRanges[0][0], 0);
        for (const auto& range : info.leadByteRanges) {
            EXPECT_LE(range[0], range[1]);
        }
        if (info.codePage == 932) {
            EXPECT_EQ(info.leadByteRanges[0][0], 0x81);
            EXPECT_EQ(info.leadByteRanges[0][1], 0x9F);
            EXPECT_EQ(info.leadByteRanges[1][0], 0xE0);
            EXPECT_EQ(info.leadByteRanges[1][1], 0xFC);
            EXPECT_EQ(info.leadByteRanges[2][0], 0);
        }
    }
}

TEST_F(TextTest, ModuleFileNameIsThisExecutable) {
    char path[MAX_PATH + 1] = {};
    const DWORD length = m_platform.GetModuleFileName(path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, std::strlen(path));
    const std::string name = path;
    const std::size_t slash = name.find_last_of('\\');
    ASSERT_NE(slash, std::string::npos) << name;
    EXPECT_EQ(::lstrcmpiA(name.substr(slash + 1).c_str(), "vk_win32_tests.exe"), 0) << name;
}

TEST_F(TextTest, LastErrorRoundTripsAndFollowsFailedCalls) {
    m_platform.SetLastError(0xE000020B);
    EXPECT_EQ(m_platform.GetLastError(), 0xE000020Bu);
    EXPECT_FALSE(m_platform.DeleteFile("C:\\no\\such\\folder\\file.sys"));
    EXPECT_EQ(m_platform.GetLastError(), ERROR_PATH_NOT_FOUND);
}

// WoW64 is a 32-bit process on a 64-bit system: checked against what the
// system reports of its own processor, so that a 32-bit prefix (32-bit
// Windows) and a 64-bit one each give their own answer.
TEST_F(TextTest, IsWow64TellsA32BitProcessOnA64BitSystem) {
    SYSTEM_INFO native{};
    ::GetNativeSystemInfo(&native);
    const bool system64 = native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                          native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64;
    EXPECT_EQ(m_platform.IsWow64(), sizeof(void*) == 4 && system64);
}

TEST(HeapTest, BlocksAreZeroFilledAndKeepTheirContentWhenGrown) {
    Win32Platform platform;
    auto* block = static_cast<unsigned char*>(platform.HeapAlloc(64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(block[i], 0) << i;
        block[i] = static_cast<unsigned char>(i + 1);
    }
    auto* grown = static_cast<unsigned char*>(platform.HeapReAlloc(block, 4096));
    ASSERT_NE(grown, nullptr);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(grown[i], i + 1) << i;
    }
    for (int i = 64; i < 4096; ++i) {
        ASSERT_EQ(grown[i], 0) << i;
    }
    auto* shrunk = static_cast<unsigned char*>(platform.HeapReAlloc(grown, 16));
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(shrunk[15], 16);
    EXPECT_TRUE(platform.HeapFree(shrunk));

    // An impossible size is refused with null, not an exception.
    EXPECT_EQ(platform.HeapAlloc(~std::size_t{0} - 4096), nullptr);
}

}  // namespace
}  // namespace vk::test
