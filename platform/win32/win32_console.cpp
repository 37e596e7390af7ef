// Standard output and error of a GUI-subsystem program: the handles it was
// given (a file or a pipe when started with a redirection), else the console
// of the program that started it.
#include "platform/win32/win32_platform.h"

#include "platform/win32/windows_api.h"

namespace vk {

namespace {

bool Usable(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    return ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Opened once, on the first write that finds no handle of its own; closed at exit.
HANDLE ParentConsole() {
    static win32::unique_hfile console = [] {
        win32::unique_hfile opened;
        if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
            opened.reset(::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
        }
        return opened;
    }();
    return console.get();
}

bool WriteAll(HANDLE handle, const char* data, std::size_t length) {
    while (length > 0) {
        const ::DWORD chunk = length > 0x10000 ? 0x10000 : static_cast<::DWORD>(length);
        ::DWORD written = 0;
        if (!::WriteFile(handle, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        length -= written;
    }
    return true;
}

}  // namespace

bool Win32Platform::WriteStandardStream(StandardStream stream, const char* data, std::size_t length) {
    HANDLE handle = ::GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (!Usable(handle)) {
        handle = ParentConsole();
        if (!Usable(handle)) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
    }
    return WriteAll(handle, data, length);
}

}  // namespace vk
