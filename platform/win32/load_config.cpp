// The executable's load configuration, for one field: DependentLoadFlags.
// Windows 10 1607 and later load the program's static imports, and what they
// import in turn, with these flags, so that a DLL of the same name put beside
// the program is never one of them ("Dynamic-Link Library Security",
// learn.microsoft.com/windows/win32/dlls/dynamic-link-library-security; the
// layout is IMAGE_LOAD_CONFIG_DIRECTORY's,
// learn.microsoft.com/windows/win32/api/winnt/ns-winnt-image_load_config_directory64).
// MinGW-w64's headers stop before the field was named, so the structure is
// written out here. The linker fills the header's load configuration entry
// from the symbol _load_config_used, and its size from the first field.
#include <cstddef>
#include <cstdint>

#include "platform/win32/windows_api.h"

namespace {

struct LoadConfiguration {
    std::uint32_t Size;
    std::uint32_t TimeDateStamp;
    std::uint16_t MajorVersion;
    std::uint16_t MinorVersion;
    std::uint32_t GlobalFlagsClear;
    std::uint32_t GlobalFlagsSet;
    std::uint32_t CriticalSectionDefaultTimeout;
    std::uintptr_t DeCommitFreeBlockThreshold;
    std::uintptr_t DeCommitTotalFreeThreshold;
    std::uintptr_t LockPrefixTable;
    std::uintptr_t MaximumAllocationSize;
    std::uintptr_t VirtualMemoryThreshold;
#if defined(_WIN64)
    std::uintptr_t ProcessAffinityMask;
    std::uint32_t ProcessHeapFlags;
#else
    std::uint32_t ProcessHeapFlags;
    std::uintptr_t ProcessAffinityMask;
#endif
    std::uint16_t CSDVersion;
    std::uint16_t DependentLoadFlags;
    std::uintptr_t EditList;
    std::uintptr_t SecurityCookie;
    std::uintptr_t SEHandlerTable;
    std::uintptr_t SEHandlerCount;
};

// The sizes Windows has always known: 0x40 for a 32-bit image (what Windows XP
// requires, and what the linker writes for a 32-bit image whatever the field
// says), 0x70 for a 64-bit one. Both reach past DependentLoadFlags and stop
// before anything a zero would claim (a 32-bit image's table of safe exception
// handlers).
#if defined(_WIN64)
constexpr std::uint32_t kSize = sizeof(LoadConfiguration);
static_assert(kSize == 0x70, "IMAGE_LOAD_CONFIG_DIRECTORY64 up to SEHandlerCount");
static_assert(offsetof(LoadConfiguration, DependentLoadFlags) == 78, "the field's offset in a 64-bit image");
#else
constexpr std::uint32_t kSize = offsetof(LoadConfiguration, SEHandlerTable);
static_assert(kSize == 0x40, "IMAGE_LOAD_CONFIG_DIRECTORY32 up to SecurityCookie");
static_assert(offsetof(LoadConfiguration, DependentLoadFlags) == 54, "the field's offset in a 32-bit image");
#endif

}  // namespace

extern "C" {
extern const LoadConfiguration _load_config_used;
__attribute__((used)) const LoadConfiguration _load_config_used = {
    kSize, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, LOAD_LIBRARY_SEARCH_SYSTEM32, 0, 0, 0, 0};
}
