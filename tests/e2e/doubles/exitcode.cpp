// exitcode.exe <log-file> <code> [sleep-ms]
// exitcode.exe [code] [sleep-ms]          (log file from env EXITCODE_LOG)
//
// A plain program for sequencing tests: appends one JSON line to the log
// (command line, current directory, pid, start and end GetTickCount, code),
// sleeping in between if asked, and exits with the given code (decimal or
// 0x hex, full 32 bits). The line is written in one append so that programs
// running side by side do not interleave.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string esc(const char* s) {
    std::string out;
    for (; *s; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
        else if (c < 0x20 || c >= 0x7f) {
            char b[8];
            snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else out += static_cast<char>(c);
    }
    return out;
}

}  // namespace

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
        std::string line = "{\"cmdline\":\"" + esc(GetCommandLineA()) + "\",\"cwd\":\"" + esc(cwd) +
                           "\",\"pid\":" + std::to_string(GetCurrentProcessId()) +
                           ",\"start\":" + std::to_string(start) + ",\"end\":" + std::to_string(end) +
                           ",\"code\":" + std::to_string(code) + "}\n";
        HANDLE f = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD n;
            WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &n, nullptr);
            CloseHandle(f);
        }
    }
    return static_cast<int>(code);
}
