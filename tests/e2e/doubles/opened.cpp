// opened.exe [anything]
//
// A program for the shell's "open" tests: it takes nothing from its command
// line, since the launcher passes none. From the environment: OPENED_LOG, the
// log file; OPENED_SLEEP_MS, how long it runs (default 0). It appends one
// JSON line when it starts and one when it ends (event, command line,
// current directory, pid, GetTickCount), each in a single append so that
// programs running side by side do not interleave, and exits with 0.
#include <windows.h>

#include "doublelog.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void log_event(const char* log, const char* event) {
    char cwd[MAX_PATH];
    if (!GetCurrentDirectoryA(sizeof cwd, cwd)) cwd[0] = 0;
    std::string line = std::string("{\"event\":\"") + event + "\",\"cmdline\":\"" + JsonEscape(GetCommandLineA()) +
                       "\",\"cwd\":\"" + JsonEscape(cwd) + "\",\"pid\":" + std::to_string(GetCurrentProcessId()) +
                       ",\"tick\":" + std::to_string(GetTickCount()) + "}\n";
    AppendLogLine(log, line);
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
