// The program's own command line, starting another program, and where the
// program runs: its run mutex and its window station.
#include "platform/win32/win32_platform.h"

#include <cstring>
#include <vector>

#include "platform/win32/system_library.h"
#include "platform/win32/windows_api.h"

namespace vk {

void Win32Platform::GetCommandLineTail(std::string* tail) {
    if (tail == nullptr) {
        return;
    }
    // The same cut as the runtime's WinMain argument: the program name, quoted
    // or up to the first blank, then the blanks after it.
    const char* p = ::GetCommandLineA();
    if (p == nullptr) {
        tail->clear();
        return;
    }
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            ++p;
        }
        if (*p == '"') {
            ++p;
        }
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') {
            ++p;
        }
    }
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    tail->assign(p);
}

bool Win32Platform::RunProcess(const char* application, const char* commandLine, DWORD* exitCode) {
    // CreateProcessA may write into the command line, so it gets a copy.
    std::vector<char> line;
    if (commandLine != nullptr) {
        line.assign(commandLine, commandLine + std::strlen(commandLine) + 1);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // The program gets this one's standard handles (a redirection to a file
    // or a pipe), as inheritable copies closed again once it has started.
    win32::unique_handle streams[3];
    const ::DWORD kinds[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    bool passStreams = false;
    for (int i = 0; i < 3; ++i) {
        const HANDLE own = ::GetStdHandle(kinds[i]);
        if (own == nullptr || own == INVALID_HANDLE_VALUE || ::GetFileType(own) == FILE_TYPE_UNKNOWN) {
            continue;
        }
        HANDLE copy = nullptr;
        if (::DuplicateHandle(::GetCurrentProcess(), own, ::GetCurrentProcess(), &copy, 0, TRUE,
                              DUPLICATE_SAME_ACCESS)) {
            streams[i].reset(copy);
            passStreams = true;
        }
    }
    if (passStreams) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = streams[0].get();
        startup.hStdOutput = streams[1].get();
        startup.hStdError = streams[2].get();
    }
    // A GUI program started from a console has none of its own: attached to
    // its parent's first, this one passes it on, so that the program it
    // starts finds it as its own parent's console.
    if (!passStreams) {
        win32::parent_console();
    }
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(application, line.empty() ? nullptr : line.data(), nullptr, nullptr,
                          passStreams ? TRUE : FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return false;
    }
    for (auto& stream : streams) {
        stream.reset();
    }
    const win32::unique_handle process(info.hProcess);
    const win32::unique_handle thread(info.hThread);
    if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
        return false;
    }
    ::DWORD status = 0;
    if (!::GetExitCodeProcess(process.get(), &status)) {
        return false;
    }
    if (exitCode != nullptr) {
        *exitCode = status;
    }
    return true;
}

FileTime Win32Platform::GetSystemTimeAsFileTime() {
    ::FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<FileTime>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

bool Win32Platform::GetComputerName(char* buffer, DWORD* size) {
    ::DWORD capacity = size != nullptr ? *size : 0;
    const bool read = ::GetComputerNameA(buffer, &capacity) != FALSE;
    if (size != nullptr) {
        *size = capacity;
    }
    return read;
}

bool Win32Platform::CreateRunMutex(const char* name) {
    // Held until the process ends: the system closes it then, whatever way
    // the process ends.
    static win32::unique_handle held;
    win32::unique_handle mutex(::CreateMutexA(nullptr, FALSE, name));
    if (!mutex) {
        return false;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex.reset();
        ::SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    held = std::move(mutex);
    return true;
}

bool Win32Platform::GetWindowStationVisible(bool* visible) {
    const auto getStation = VK_SYSTEM_FUNCTION("user32.dll", GetProcessWindowStation);
    const auto getInformation = VK_SYSTEM_FUNCTION("user32.dll", GetUserObjectInformationA);
    if (getStation == nullptr || getInformation == nullptr) return false;
    const HWINSTA station = getStation();
    if (station == nullptr) {
        return false;
    }
    USEROBJECTFLAGS flags{};
    ::DWORD needed = 0;
    if (!getInformation(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
        return false;
    }
    if (visible != nullptr) {
        *visible = (flags.dwFlags & WSF_VISIBLE) != 0;
    }
    return true;
}

}  // namespace vk
