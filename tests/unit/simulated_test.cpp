// The failures on demand that the fault sweep relies on: a sweep whose
// failures did not fire, or fired on the wrong call, would prove nothing.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vk::sim
