// Standard output and error of a GUI-subsystem program: the handles it was
// given (a file or a pipe when started with a redirection), else the console
// of the program that started it. Files and pipes get the Windows-1252 bytes,
// a console gets characters.
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

}  // namespace

// Opened once, on the first write that finds no handle of its own (or before
// a hand-over); closed at exit.
HANDLE win32::parent_console() {
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

namespace {

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

// A console shows characters, not bytes: the text goes as wide characters,
// converted from Windows-1252, so that the accents read right whatever the
// console's code page (850 on a French Windows).
bool WriteConsoleText(HANDLE console, const char* data, std::size_t length) {
    const std::wstring wide = win32::from_windows1252(data, length);
    const wchar_t* text = wide.c_str();
    std::size_t left = wide.size();
    while (left > 0) {
        const ::DWORD chunk = left > 0x4000 ? 0x4000 : static_cast<::DWORD>(left);
        ::DWORD written = 0;
        if (!::WriteConsoleW(console, text, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        text += written;
        left -= written;
    }
    return true;
}

}  // namespace

bool Win32Platform::WriteStandardStream(StandardStream stream, const char* data, std::size_t length) {
    HANDLE handle = ::GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (!Usable(handle)) {
        handle = win32::parent_console();
        if (!Usable(handle)) {
            ::SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
    }
    // A file or a pipe keeps the bytes as they are.
    ::DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) {
        return WriteConsoleText(handle, data, length);
    }
    return WriteAll(handle, data, length);
}

}  // namespace vk
