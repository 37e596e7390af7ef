// Shared helpers of the win32 backend tests: holders for the handles that the
// interface hands out, a scratch folder per test, and file set-up written
// with the Windows API directly so that it does not depend on the code under
// test.
#pragma once

#include <string>

#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

namespace vk::test {

// A holder that closes through the interface (the result is dropped): the
// backend is stateless, so a temporary one will do.
template <typename Handle, auto Close, Handle kEmpty>
struct VkClosePolicy {
    using pointer = Handle;
    static pointer invalid() noexcept { return kEmpty; }
    static void close(pointer value) noexcept { static_cast<void>((Win32Platform().*Close)(value)); }
};
template <typename Handle, auto Close, Handle kEmpty>
using unique_vk = win32::unique_resource<VkClosePolicy<Handle, Close, kEmpty>>;
using unique_vk_file = unique_vk<FileHandle, &Win32Platform::CloseHandle, kInvalidFileHandle>;

// Writes `content` to a new file at `path` (replacing any).
inline void WriteFileNative(const std::string& path, const std::string& content) {
    win32::unique_hfile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << path << ": " << ::GetLastError();
    ::DWORD written = 0;
    ASSERT_TRUE(
        ::WriteFile(file.get(), content.data(), static_cast<::DWORD>(content.size()), &written, nullptr));
    ASSERT_EQ(written, content.size());
}

inline bool PathExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A fresh folder under %TEMP% named after the running test, removed with
// the files in it afterwards (read-only flags included; the tests make no
// sub-folders).
class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH + 1] = {};
        ASSERT_NE(::GetTempPathA(sizeof temp, temp), 0u);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder = std::string(temp) + "vk_win32_" + info->test_suite_name() + "_" + info->name();
        RemoveFolder(m_folder);
        ASSERT_TRUE(::CreateDirectoryA(m_folder.c_str(), nullptr)) << m_folder << ": " << ::GetLastError();
    }
    void TearDown() override { RemoveFolder(m_folder); }

    std::string Path(const std::string& name) const { return m_folder + "\\" + name; }

    static void RemoveFolder(const std::string& folder) {
        WIN32_FIND_DATAA data;
        win32::unique_hfind search(::FindFirstFileA((folder + "\\*").c_str(), &data));
        if (search) {
            do {
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    continue;  // "." and ".."
                }
                const std::string path = folder + "\\" + data.cFileName;
                ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(path.c_str());
            } while (::FindNextFileA(search.get(), &data));
        }
        search.reset();
        ::RemoveDirectoryA(folder.c_str());
    }

    Win32Platform m_platform;
    std::string m_folder;
};

}  // namespace vk::test
