// Process heap, user interface, string resources, system texts and the ANSI
// code page.
#include "platform/win32/win32_platform.h"

#include "platform/win32/system_library.h"
#include "platform/win32/windows_api.h"

namespace vk {

namespace {

// The pass reads a failure's code after composing its message with the text
// calls below, which Windows lets change the last error; they put it back.
class LastErrorKept {
public:
    LastErrorKept() : m_code(::GetLastError()) {}
    ~LastErrorKept() { ::SetLastError(m_code); }
    LastErrorKept(const LastErrorKept&) = delete;
    LastErrorKept& operator=(const LastErrorKept&) = delete;

private:
    ::DWORD m_code;
};

}  // namespace

void* Win32Platform::HeapAlloc(std::size_t size) {
    return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void* Win32Platform::HeapReAlloc(void* block, std::size_t size) {
    return ::HeapReAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, block, size);
}

bool Win32Platform::HeapFree(void* block) {
    return ::HeapFree(::GetProcessHeap(), 0, block) != FALSE;
}

std::wstring win32::from_windows1252(const char* text, std::size_t length) {
    constexpr UINT kWindows1252 = 1252;
    if (text == nullptr || length == 0 || length > 0x7FFFFFFF) {
        return std::wstring();
    }
    // One UTF-16 unit per byte: every Windows-1252 byte is one BMP character.
    std::wstring wide(length, L'\0');
    const int converted = ::MultiByteToWideChar(kWindows1252, 0, text, static_cast<int>(length), &wide[0],
                                                static_cast<int>(wide.size()));
    wide.resize(converted > 0 ? static_cast<std::size_t>(converted) : 0);
    return wide;
}

int Win32Platform::MessageBox(const char* text, const char* caption, DWORD type) {
    // The A call would read the bytes in the system's ANSI code page (or
    // UTF-8 where that option is on) and garble the accents.
    const auto messageBox = VK_SYSTEM_FUNCTION("user32.dll", MessageBoxW);
    if (messageBox == nullptr) return 0;
    const std::wstring wideText = win32::from_windows1252(text);
    const std::wstring wideCaption = win32::from_windows1252(caption);
    return messageBox(nullptr, text != nullptr ? wideText.c_str() : nullptr,
                      caption != nullptr ? wideCaption.c_str() : nullptr, type);
}

int Win32Platform::LoadString(unsigned id, char* buffer, int bufferMax) {
    const LastErrorKept kept;
    const auto loadString = VK_SYSTEM_FUNCTION("user32.dll", LoadStringA);
    if (loadString == nullptr) return 0;
    return loadString(::GetModuleHandleA(nullptr), id, buffer, bufferMax);
}

DWORD Win32Platform::GetModuleFileName(char* buffer, DWORD size) {
    return ::GetModuleFileNameA(nullptr, buffer, size);
}

DWORD Win32Platform::FormatSystemMessage(DWORD messageId, DWORD languageId, std::string* text) {
    // Declared first, so the error is put back after the buffer is freed.
    const LastErrorKept kept;
    win32::unique_hlocal buffer;
    // With ALLOCATE_BUFFER the output argument receives the address of the
    // system's LocalAlloc block; the holder frees it.
    const ::DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        messageId, languageId, reinterpret_cast<LPSTR>(buffer.put()), 0, nullptr);
    if (text != nullptr) {
        text->clear();
        if (length != 0 && buffer) {
            text->assign(static_cast<const char*>(buffer.get()), length);
        }
    }
    return length;
}

DWORD Win32Platform::FormatStringMessage(const char* pattern, const char* insert, std::string* text) {
    const LastErrorKept kept;
    win32::unique_hlocal buffer;
    DWORD_PTR arguments[1] = {reinterpret_cast<DWORD_PTR>(insert)};
    // ARGUMENT_ARRAY: the documented way to pass an array of DWORD_PTR
    // inserts where a va_list* is declared.
    const ::DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, pattern,
        0, 0, reinterpret_cast<LPSTR>(buffer.put()), 0, reinterpret_cast<va_list*>(arguments));
    if (text != nullptr) {
        text->clear();
        if (length != 0 && buffer) {
            text->assign(static_cast<const char*>(buffer.get()), length);
        }
    }
    return length;
}

DWORD Win32Platform::CharUpperBuff(char* text, DWORD length) {
    const auto charUpperBuff = VK_SYSTEM_FUNCTION("user32.dll", CharUpperBuffA);
    if (charUpperBuff == nullptr) return 0;
    return charUpperBuff(text, length);
}

bool Win32Platform::GetCPInfo(CodePageInfo* info) {
    CPINFO native;
    if (!::GetCPInfo(CP_ACP, &native)) {
        return false;
    }
    if (info != nullptr) {
        *info = CodePageInfo{};
        info->codePage = ::GetACP();
        info->maxCharSize = native.MaxCharSize;
        // Windows ends its list of ranges with a {0, 0} pair.
        constexpr int kRanges = sizeof info->leadByteRanges / sizeof info->leadByteRanges[0];
        for (int range = 0; range < kRanges && 2 * range + 1 < MAX_LEADBYTES; ++range) {
            const BYTE first = native.LeadByte[2 * range];
            const BYTE last = native.LeadByte[2 * range + 1];
            if (first == 0 && last == 0) {
                break;
            }
            info->leadByteRanges[range][0] = first;
            info->leadByteRanges[range][1] = last;
        }
    }
    return true;
}

DWORD Win32Platform::GetLastError() {
    return ::GetLastError();
}

void Win32Platform::SetLastError(DWORD code) {
    ::SetLastError(code);
}

bool Win32Platform::IsWow64() {
    // IsWow64Process is missing from the oldest systems the program meets, so
    // it is looked up rather than imported. The detour through void(*)() is
    // the portable way to change a function pointer's type without warnings.
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
    if (kernel32 == nullptr) {
        return false;
    }
    const FARPROC procedure = ::GetProcAddress(kernel32, "IsWow64Process");
    if (procedure == nullptr) {
        return false;
    }
    const auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void (*)()>(procedure));
    BOOL wow64 = FALSE;
    return isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace vk
