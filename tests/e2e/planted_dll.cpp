// A DLL planted beside the program: loaded into a process, it writes
// C:\planted-<its file name>.txt, so that a scenario can tell it was loaded.
// It imports nothing but kernel32 and msvcrt (KnownDLLs), so that it pulls no
// other planted DLL in itself.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/') name = p + 1;
    }
    char marker[MAX_PATH + 32] = "C:\\planted-";
    lstrcatA(marker, name);
    lstrcatA(marker, ".txt");
    HANDLE file =
        CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        // Which program loaded it.
        char program[MAX_PATH] = {};
        DWORD written = 0;
        GetModuleFileNameA(nullptr, program, MAX_PATH);
        WriteFile(file, program, static_cast<DWORD>(lstrlenA(program)), &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
