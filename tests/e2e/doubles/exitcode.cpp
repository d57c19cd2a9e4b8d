// exitcode.exe <log-file> <code> [sleep-ms]
// exitcode.exe [code] [sleep-ms]          (log file from env EXITCODE_LOG)
//
// A plain program for sequencing tests: appends one JSON line to the log
// (command line, current directory, pid, start and end GetTickCount, code),
// sleeping in between if asked, and exits with the given code (decimal or
// 0x hex, full 32 bits). The line is written in one append so that programs
// running side by side do not interleave.
#include <windows.h>

#include "doublelog.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    DWORD start = GetTickCount();
    int argc = __argc;
    char** argv = __argv;
    const char* env = getenv("EXITCODE_LOG");
    int a = 1;
    const char* log = (env && *env) ? env : (argc > 1 ? argv[a++] : nullptr);
    DWORD code = argc > a ? strtoul(argv[a], nullptr, 0) : 0;
    DWORD sleep_ms = argc > a + 1 ? strtoul(argv[a + 1], nullptr, 0) : 0;
    if (sleep_ms) Sleep(sleep_ms);
    DWORD end = GetTickCount();
    if (log) {
        char cwd[MAX_PATH];
        if (!GetCurrentDirectoryA(sizeof cwd, cwd)) cwd[0] = 0;
        std::string line = "{\"cmdline\":\"" + JsonEscape(GetCommandLineA()) + "\",\"cwd\":\"" + JsonEscape(cwd) +
                           "\",\"pid\":" + std::to_string(GetCurrentProcessId()) +
                           ",\"start\":" + std::to_string(start) + ",\"end\":" + std::to_string(end) +
                           ",\"code\":" + std::to_string(code) + "}\n";
        AppendLogLine(log, line);
    }
    return static_cast<int>(code);
}
