// The failures on demand that the fault sweep relies on, and the death and
// power cut that the kill sweep relies on: a sweep whose failures did not
// fire, or fired on the wrong call, or whose power cut lost nothing, would
// prove nothing.
#include <gtest/gtest.h>

#include <string>

#include "platform/simulated/simulated.h"

namespace vk::sim {
namespace {

TEST(SimulatedFailures, OnCallCountsFromTheFailCall) {
    SimulatedWorkstation ws;
    char buffer[MAX_PATH + 1];
    ASSERT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 10u);  // before the FailCall: not counted
    ws.FailCall("GetWindowsDirectory", ERROR_NOT_ENOUGH_MEMORY, 2);
    EXPECT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 10u);
    EXPECT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 0u);
    EXPECT_EQ(ws.GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 10u);  // once only
    EXPECT_STREQ(buffer, "C:\\Windows");
    EXPECT_EQ(ws.CallCount("GetWindowsDirectory"), 4u);

    ws.FailCall("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ws.HeapAlloc(1), nullptr);
    EXPECT_EQ(ws.HeapAlloc(1), nullptr);
    EXPECT_EQ(ws.LiveHeapBlocks(), 0u);

    // From the second call on, every call fails.
    ws.FailCallsFrom("GetWindowsDirectory", ERROR_ACCESS_DENIED, 2);
    EXPECT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 10u);
    EXPECT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 0u);
    EXPECT_EQ(ws.GetWindowsDirectory(buffer, sizeof buffer), 0u);
    EXPECT_EQ(ws.GetLastError(), ERROR_ACCESS_DENIED);
}

std::string Written(SimulatedWorkstation& ws, const std::string& path, const std::string& bytes, bool flush) {
    const FileHandle file = ws.CreateFile(path.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
    DWORD written = 0;
    EXPECT_TRUE(ws.WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written));
    if (flush) {
        EXPECT_TRUE(ws.FlushFileBuffers(file));
    }
    ws.CloseHandle(file);
    return path;
}

// Killed, the process changes nothing more and what it did stays; with the
// power, what was never flushed goes: unflushed bytes read as zeros, CopyFile's
// copy as well, and a move without MOVEFILE_WRITE_THROUGH is undone.
TEST(SimulatedFailures, AKilledProcessAndAPowerCutLoseWhatWasNotOnTheDisk) {
    for (bool powerCut : {false, true}) {
        SimulatedWorkstation ws;
        ws.AddFolder("C:\\b");
        const std::string flushed = Written(ws, "C:\\b\\flushed", "kept", true);
        const std::string cached = Written(ws, "C:\\b\\cached", "lost", false);
        const std::string moved = Written(ws, "C:\\b\\moved.tmp", "name", true);
        const std::string through = Written(ws, "C:\\b\\through.tmp", "name", true);
        ASSERT_TRUE(ws.CopyFile(flushed.c_str(), "C:\\b\\copy", true));
        ASSERT_TRUE(ws.MoveFileEx(moved.c_str(), "C:\\b\\moved", 0));
        ASSERT_TRUE(ws.MoveFileEx(through.c_str(), "C:\\b\\through", MOVEFILE_WRITE_THROUGH));
        // A move never replaces a file.
        EXPECT_FALSE(ws.MoveFileEx(flushed.c_str(), "C:\\b\\through", MOVEFILE_WRITE_THROUGH));
        EXPECT_EQ(ws.GetLastError(), ERROR_ALREADY_EXISTS);
        const FileHandle open = ws.CreateFile(flushed.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);

        ws.KillAfterCall(1, powerCut);
        EXPECT_TRUE(ws.DeleteFile(cached.c_str()));  // the one call left
        EXPECT_FALSE(ws.DeleteFile(flushed.c_str()));
        EXPECT_EQ(ws.GetLastError(), ERROR_PROCESS_ABORTED);
        EXPECT_TRUE(ws.Killed());
        ASSERT_NE(open, kInvalidFileHandle);
        EXPECT_EQ(ws.OpenHandles(), 1u);
        ws.StartNewProcess();
        EXPECT_EQ(ws.OpenHandles(), 0u);

        EXPECT_EQ(ws.FindFile(flushed)->content, "kept");
        EXPECT_EQ(ws.FindFile("C:\\b\\through")->content, "name");
        EXPECT_FALSE(ws.HasFile(cached));  // the deletion made before the kill stays
        EXPECT_EQ(ws.FindFile("C:\\b\\copy")->content, powerCut ? std::string(4, '\0') : "kept");
        EXPECT_EQ(ws.HasFile("C:\\b\\moved"), !powerCut);
        EXPECT_EQ(ws.HasFile(moved), powerCut);
        // Calls work again in the new process.
        EXPECT_TRUE(ws.DeleteFile(flushed.c_str()));
    }
}

TEST(SimulatedFailures, Sha256IsTheStandardOne) {
    SimulatedWorkstation ws;
    const HashHandle hash = ws.CreateSha256();
    ASSERT_NE(hash, kNullHashHandle);
    // FIPS 180-2's two-block message, handed in two pieces.
    const std::string message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    ASSERT_TRUE(ws.HashData(hash, message.data(), 10));
    ASSERT_TRUE(ws.HashData(hash, message.data() + 10, static_cast<DWORD>(message.size() - 10)));
    std::uint8_t digest[kSha256Size] = {};
    ASSERT_TRUE(ws.FinishHash(hash, digest));
    const std::uint8_t expected[kSha256Size] = {
        0x24, 0x8d, 0x6a, 0x61, 0xd2, 0x06, 0x38, 0xb8, 0xe5, 0xc0, 0x26, 0x93, 0x0c, 0x3e, 0x60, 0x39,
        0xa3, 0x3c, 0xe4, 0x59, 0x64, 0xff, 0x21, 0x67, 0xf6, 0xec, 0xed, 0xd4, 0x19, 0xdb, 0x06, 0xc1};
    EXPECT_EQ(std::string(digest, digest + kSha256Size), std::string(expected, expected + kSha256Size));
    // A finished hash takes no more.
    EXPECT_FALSE(ws.HashData(hash, "x", 1));
    EXPECT_TRUE(ws.DestroyHash(hash));
    EXPECT_EQ(ws.OpenHandles(), 0u);
}

}  // namespace
}  // namespace vk::sim
