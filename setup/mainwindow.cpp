#include "setup/mainwindow.h"

BOOL ProcessHasEnded(HANDLE process) {
    return WaitForSingleObject(process, 0) != WAIT_TIMEOUT;
}

static BOOL IsOnScreenWindowOf(HWND hwnd, DWORD threadId, int width, int height) {
    if (GetWindowThreadProcessId(hwnd, NULL) != threadId) return FALSE;
    RECT r;
    if (!GetWindowRect(hwnd, &r)) return FALSE;
    if (r.left < 0 || r.top < 0 || r.left > width || r.top > height || r.right <= 0) return FALSE;
    return (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

namespace {
struct Scan {
    const PROCESS_INFORMATION* process;
    BOOL waitForIdle;
    int width, height;
    HWND found;
};
}

static BOOL CALLBACK TakeFirstOnScreen(HWND hwnd, LPARAM param) {
    Scan* scan = (Scan*)param;
    if (scan->waitForIdle) WaitForInputIdle(scan->process->hProcess, INFINITE);
    if (!IsOnScreenWindowOf(hwnd, scan->process->dwThreadId, scan->width, scan->height)) return TRUE;
    scan->found = hwnd;
    return FALSE;
}

HWND FindMainWindow(const PROCESS_INFORMATION& process, BOOL waitForIdle, HWND* window) {
    if (*window != UnknownWindow()) return *window;
    Scan scan;
    scan.process = &process;
    scan.waitForIdle = waitForIdle;
    scan.width = GetSystemMetrics(SM_CXSCREEN);
    scan.height = GetSystemMetrics(SM_CYSCREEN);
    for (;;) {
        // Only the main thread's own top-level windows, in z-order: a pass
        // costs a few calls whatever else is on the screen, where a walk of
        // the whole z-order cost several calls per window of every program.
        scan.found = NULL;
        EnumThreadWindows(process.dwThreadId, TakeFirstOnScreen, (LPARAM)&scan);
        if (scan.found) {
            *window = scan.found;
            return scan.found;
        }
        if (ProcessHasEnded(process.hProcess)) return NULL;
        if (kScanPauseMs != 0) Sleep(kScanPauseMs);
    }
}
