// boxdemo.exe               two boxes; exits 3010 if the first was cancelled, else 7
// boxdemo.exe <style> <text> one box with the given MB_ style (0x hex allowed);
//                            exits with what MessageBoxA returned
// boxdemo.exe crash          an access violation, to see a crash end fast
// boxdemo.exe spin <ms>      busy until it has used <ms> of CPU time, then exits 0
// boxdemo.exe spawn <cmdline> starts <cmdline> and exits 0 at once, leaving it running
//
// The harness's own subject. The second box of the default run reports the
// version the program sees: "x <platform> <major>.<minor> '<service pack>'".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc > 1 && !strcmp(__argv[1], "crash")) {
        volatile int* p = nullptr;
        *p = 1;
        return 1;
    }
    if (__argc > 2 && !strcmp(__argv[1], "spawn")) {
        const char* rest = strstr(GetCommandLineA(), " spawn ");
        if (!rest) return 2;
        char cmd[1024];
        lstrcpynA(cmd, rest + 7, sizeof cmd);
        STARTUPINFOA si;
        ZeroMemory(&si, sizeof si);
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        if (!CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return 3;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return 0;
    }
    if (__argc > 2 && !strcmp(__argv[1], "spin")) {
        // Counts its own CPU time, so a loaded machine only makes it longer;
        // the wall-clock cap keeps a starved run from going on forever.
        ULONGLONG want = strtoul(__argv[2], nullptr, 0) * 10000ULL;
        DWORD cap = GetTickCount() + 20000;
        volatile unsigned n = 0;
        for (;;) {
            for (int i = 0; i < 100000; ++i) ++n;
            FILETIME c, e, k, u;
            GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u);
            ULONGLONG used = ((static_cast<ULONGLONG>(u.dwHighDateTime) << 32) | u.dwLowDateTime) +
                             ((static_cast<ULONGLONG>(k.dwHighDateTime) << 32) | k.dwLowDateTime);
            if (used >= want || GetTickCount() > cap) break;
        }
        return 0;
    }
    if (__argc > 2) {
        UINT style = strtoul(__argv[1], nullptr, 0);
        return MessageBoxA(nullptr, __argv[2], "SETUP", style);
    }
    int first = MessageBoxA(nullptr, "Line one\r\nLine two", "SETUP", MB_OKCANCEL | MB_ICONEXCLAMATION);
    OSVERSIONINFOA vi;
    ZeroMemory(&vi, sizeof vi);
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    char text[256];
    snprintf(text, sizeof text, "x %lu %lu.%lu '%s'", vi.dwPlatformId, vi.dwMajorVersion,
             vi.dwMinorVersion, vi.szCSDVersion);
    MessageBoxA(nullptr, text, "SETUP", MB_OK | MB_ICONEXCLAMATION);
    return first == IDCANCEL ? 3010 : 7;
}
