// opened.exe [anything]
//
// A program for the shell's "open" tests: it takes nothing from its command
// line, since the launcher passes none. From the environment: OPENED_LOG, the
// log file; OPENED_SLEEP_MS, how long it runs (default 0). It appends one
// JSON line when it starts and one when it ends (event, command line,
// current directory, pid, GetTickCount), each in a single append so that
// programs running side by side do not interleave, and exits with 0.
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

void log_event(const char* log, const char* event) {
    char cwd[MAX_PATH];
    if (!GetCurrentDirectoryA(sizeof cwd, cwd)) cwd[0] = 0;
    std::string line = std::string("{\"event\":\"") + event + "\",\"cmdline\":\"" + esc(GetCommandLineA()) +
                       "\",\"cwd\":\"" + esc(cwd) + "\",\"pid\":" + std::to_string(GetCurrentProcessId()) +
                       ",\"tick\":" + std::to_string(GetTickCount()) + "}\n";
    HANDLE f = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD n;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &n, nullptr);
    CloseHandle(f);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* log = getenv("OPENED_LOG");
    const char* sleep_text = getenv("OPENED_SLEEP_MS");
    DWORD sleep_ms = sleep_text ? strtoul(sleep_text, nullptr, 0) : 0;
    if (sleep_ms > 60000) sleep_ms = 60000;  // never outlive a test by much
    if (log && *log) log_event(log, "start");
    if (sleep_ms) Sleep(sleep_ms);
    if (log && *log) log_event(log, "end");
    return 0;
}
