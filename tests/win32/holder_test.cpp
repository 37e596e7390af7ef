// The handle holder: closes exactly once, never closes the empty value, and
// hands ownership over on move, release and put.
#include "win32_test_support.h"

#include <utility>
#include <vector>

namespace vk::test {
namespace {

std::vector<int> g_closed;

int RecordClose(int value) {
    g_closed.push_back(value);
    return 0;
}
int MinusOne() {
    return -1;
}

// An int "handle" whose empty value is -1, so that 0 is a real handle.
using unique_fake = win32::unique_any<int, decltype(&RecordClose), RecordClose, &MinusOne>;

class HolderTest : public ::testing::Test {
protected:
    void SetUp() override { g_closed.clear(); }
};

TEST_F(HolderTest, ClosesOnDestructionAndResetButNotTheEmptyValue) {
    {
        unique_fake empty;
        EXPECT_FALSE(empty);
        unique_fake zero(0);
        EXPECT_TRUE(zero);
        unique_fake seven(7);
        seven.reset(8);
        EXPECT_EQ(g_closed, (std::vector<int>{7}));
        seven.reset();
        EXPECT_FALSE(seven);
    }
    EXPECT_EQ(g_closed, (std::vector<int>{7, 8, 0}));
}

TEST_F(HolderTest, MoveReleaseAndPutTransferOwnership) {
    {
        unique_fake first(1);
        unique_fake second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), 1);

        unique_fake third(3);
        third = std::move(second);
        EXPECT_EQ(g_closed, (std::vector<int>{3}));
        EXPECT_EQ(third.get(), 1);

        EXPECT_EQ(third.release(), 1);
        EXPECT_FALSE(third);

        unique_fake filled(4);
        *filled.put() = 5;
        EXPECT_EQ(g_closed, (std::vector<int>{3, 4}));
        EXPECT_EQ(filled.get(), 5);
    }
    // 1 was released, so only 5 is closed at the end of the scope.
    EXPECT_EQ(g_closed, (std::vector<int>{3, 4, 5}));
}

}  // namespace
}  // namespace vk::test
