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

class HolderTest : public ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        g_closed.clear();
    }
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

TEST_F(HolderTest, RealFileHandleIsClosedWhenTheHolderGoesAway) {
    const std::string path = Path("held.txt");
    WriteFileNative(path, "x");
    {
        win32::unique_hfile exclusive(
            ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(exclusive);
        EXPECT_FALSE(::DeleteFileA(path.c_str()));
    }
    // Only a closed handle lets the file go.
    EXPECT_TRUE(::DeleteFileA(path.c_str())) << ::GetLastError();
}

TEST_F(HolderTest, HandlesCrossTheInterfaceBitForBit) {
    EXPECT_EQ(win32::to_opaque<FileHandle>(INVALID_HANDLE_VALUE), kInvalidFileHandle);
    EXPECT_EQ(win32::to_opaque<FindHandle>(INVALID_HANDLE_VALUE), kInvalidFindHandle);
    EXPECT_EQ(win32::to_opaque<DevInfoSet>(static_cast<HDEVINFO>(INVALID_HANDLE_VALUE)), kInvalidDevInfoSet);
    EXPECT_EQ(win32::to_opaque<RegKey>(static_cast<HKEY>(nullptr)), kNullRegKey);
    EXPECT_EQ(win32::to_opaque<ScHandle>(static_cast<SC_HANDLE>(nullptr)), kNullScHandle);
    EXPECT_EQ(win32::to_native<HANDLE>(kInvalidFileHandle), INVALID_HANDLE_VALUE);
    EXPECT_EQ(win32::to_native<HKEY>(kNullRegKey), nullptr);
    EXPECT_EQ(win32::to_native<HKEY>(win32::to_opaque<RegKey>(HKEY_LOCAL_MACHINE)), HKEY_LOCAL_MACHINE);
}

}  // namespace
}  // namespace vk::test
