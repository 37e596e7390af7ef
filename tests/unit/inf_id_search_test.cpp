// The one-pass search for the scanned reader IDs: the scan's verdict on
// texts where the shared head of the IDs sits at the edges of the text or of
// double-byte characters, and agreement with the plain search that looks for
// each ID in turn, over many generated texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cleanup/cleanup.h"
#include "cleanup/inf_id_search.h"
#include "platform/ansi_text.h"
#include "platform/simulated/simulated.h"

namespace vk {
namespace {

using sim::SimulatedWorkstation;

const std::string kInf = "C:\\Windows\\inf\\";

struct Named {
    const char* name;
    std::string content;
};

// Scans a folder holding `files` and returns the names of the INF files left.
std::vector<std::string> InfsLeftAfterScan(sim::CodePage codePage, const std::vector<Named>& files,
                                           int* result) {
    SimulatedWorkstation ws;
    ws.SetCodePage(codePage);
    for (const Named& file : files) ws.AddFile(kInf + file.name, file.content);
    CCleanupActions cleaner(ws);
    *result = cleaner.ScanOemInfs((kInf + "oem*.inf").c_str());
    EXPECT_EQ(ws.OpenHandles(), 0u);
    EXPECT_EQ(ws.LiveHeapBlocks(), 0u);
    std::vector<std::string> left;
    for (const Named& file : files) {
        if (ws.HasFile(kInf + file.name)) left.push_back(file.name);
    }
    return left;
}

TEST(InfIdSearch, TheHeadDecidesNothingWithoutTheRightLastCharacter) {
    int result = 0;
    const std::vector<std::string> left = InfsLeftAfterScan(
        sim::CodePage::Windows1252,
        {
            {"oem1.inf", "[Devices]\r\nR=Install,USB\\VID_C2B5&PID_000E"},      // ends the text
            {"oem2.inf", "[Devices]\r\nR=Install,USB\\VID_C2B5&PID_000"},       // head alone at the end
            {"oem3.inf", "USB\\VID_C2B5&PID_0009,USB\\VID_C2B5&PID_000D\r\n"},  // other last characters
            {"oem4.inf",
             "USB\\VID_C2B5&PID_0001\r\nR=Install,USB\\VID_C2B5&PID_000B"},  // a miss, then a match
            {"oem5.inf", "usb\\vid_c2b5&pid_000a; first bytes, lower case"},
            {"oem6.inf", "&&&&USB\\VID_C2B5&PID_000&PID_0005 USB\\VID_C2B5&PID_00"},  // broken heads only
            {"oem7.inf", std::string("USB\\VID_C2B5&PID_000\0A", 22)},  // the text ends at the zero byte
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(left, (std::vector<std::string>{"oem2.inf", "oem3.inf", "oem6.inf", "oem7.inf"}));
}

TEST(InfIdSearch, OnADoubleByteCodePageRunsOfLeadBytesDecideTheBoundary) {
    int result = 0;
    const std::vector<std::string> left = InfsLeftAfterScan(
        sim::CodePage::DoubleByte932,
        {
            {"oem1.inf", "\x82\x82USB\\VID_C2B5&PID_000A"},      // one character, then the ID
            {"oem2.inf", "\x82\x82\x82USB\\VID_C2B5&PID_000A"},  // the third lead byte swallows the 'U'
            // A swallowed head, then a real one after a character whose trail byte is a lead byte.
            {"oem3.inf", "\x82USB\\VID_C2B5&PID_000C \x81\x82usb\\vid_c2b5&pid_0005"},
            {"oem4.inf", "\xE0\x41USB\\VID_C2B5&PID_000B"},  // a trail byte that is a letter
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(left, (std::vector<std::string>{"oem2.inf"}));
}

TEST(InfIdSearch, OneBufferOfTheLargestFilePlusOneServesTheWholeScan) {
    SimulatedWorkstation ws;
    ws.AddFile(kInf + "oem1.inf", std::string(1000, 'x'));
    ws.AddFile(kInf + "oem2.inf", std::string(70000, 'y'));
    ws.AddFile(kInf + "oem3.inf", std::string(30000, 'z'));
    CCleanupActions cleaner(ws);
    EXPECT_EQ(cleaner.ScanOemInfs((kInf + "oem*.inf").c_str()), -1);
    EXPECT_EQ(ws.PeakHeapBytes(), 70001u);
    EXPECT_EQ(ws.CallCount("HeapAlloc"), 1u);
    EXPECT_EQ(ws.LiveHeapBlocks(), 0u);
}

}  // namespace
}  // namespace vk
