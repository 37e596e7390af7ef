// Windows entry point: the cleaning pass against the real workstation. The
// program has no window of its own, so WinMain only hands over to the logic.
#include "app/cleaner_app.h"
#include "platform/win32/win32_platform.h"

#include "platform/win32/system_library.h"
#include "platform/win32/windows_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    // Before anything can load a DLL: an elevated program takes none from its
    // own folder, where whoever could write there may have put one.
    vk::win32::RestrictDllSearch();
    vk::Win32Platform platform;
    return vk::RunVelkorUSBCleaner(platform, vk::SplitCommandLine(commandLine));
}
