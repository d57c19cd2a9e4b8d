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

HWND FindMainWindow(const PROCESS_INFORMATION& process, BOOL waitForIdle, HWND* window) {
    if (*window != UnknownWindow()) return *window;
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    for (;;) {
        HWND hwnd = GetWindow(GetDesktopWindow(), GW_CHILD);
        if (hwnd) hwnd = GetWindow(hwnd, GW_HWNDFIRST);
        while (hwnd) {
            if (waitForIdle) WaitForInputIdle(process.hProcess, INFINITE);
            if (IsOnScreenWindowOf(hwnd, process.dwThreadId, width, height)) {
                *window = hwnd;
                return hwnd;
            }
            if (GetWindow(hwnd, GW_HWNDLAST) == hwnd) break;
            hwnd = GetWindow(hwnd, GW_HWNDNEXT);
        }
        if (ProcessHasEnded(process.hProcess)) return NULL;
        if (kScanPauseMs != 0) Sleep(kScanPauseMs);
    }
}
