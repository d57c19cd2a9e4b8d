#include "setup/mainwindow.h"

BOOL ProcessHasEnded(HANDLE process) {
    return WaitForSingleObject(process, 0) != WAIT_TIMEOUT;
}

namespace {

// What a window must be to be taken: one of the thread's top-level windows,
// visible, its top-left corner on the screen, and, for a window of another
// thread than the main one, holding control 1.
struct Rule {
    const PROCESS_INFORMATION* process;
    BOOL waitForIdle;
    DWORD threadId;
    BOOL needsControl1;
    int width, height;
};

struct Scan {
    Rule rule;
    HWND found;
};

BOOL Passes(const Rule& rule, HWND hwnd) {
    if (rule.waitForIdle) WaitForInputIdle(rule.process->hProcess, INFINITE);
    if (GetWindowThreadProcessId(hwnd, NULL) != rule.threadId) return FALSE;
    RECT r;
    if (!GetWindowRect(hwnd, &r)) return FALSE;
    if (r.left < 0 || r.top < 0 || r.left > rule.width || r.top > rule.height || r.right <= 0) return FALSE;
    if (!(GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE)) return FALSE;
    return !rule.needsControl1 || GetDlgItem(hwnd, 1) != NULL;
}

// Of the windows that pass, the highest in the z-order. The enumeration
// gives one that passes, in no documented order (EnumThreadWindows and
// EnumWindows promise none); GetWindow with GW_HWNDPREV gives the window
// above another (Win32 SDK), so the walk from there up to the top finds
// the highest, once per search.
HWND HighestPassing(const Rule& rule, HWND passing) {
    HWND best = passing;
    for (HWND w = GetWindow(passing, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV))
        if (Passes(rule, w)) best = w;
    return best;
}

BOOL CALLBACK TakeFirstPassing(HWND hwnd, LPARAM param) {
    Scan* scan = (Scan*)param;
    if (!Passes(scan->rule, hwnd)) return TRUE;
    scan->found = hwnd;
    return FALSE;
}

// A window of another thread of the started process: under Wine a 16-bit
// program runs on a thread that Wine starts for its task inside
// winevdm.exe, while the main thread that CreateProcessA reports (winevdm's)
// never shows a window. Such a window must hold control 1, the one the
// launcher clicks, so that a helper's other windows are not taken.
BOOL CALLBACK TakeOtherThreadWindow(HWND hwnd, LPARAM param) {
    Scan* scan = (Scan*)param;
    DWORD processId = 0;
    DWORD threadId = GetWindowThreadProcessId(hwnd, &processId);
    if (processId != scan->rule.process->dwProcessId || threadId == scan->rule.process->dwThreadId) return TRUE;
    Rule rule = scan->rule;
    rule.threadId = threadId;
    if (!Passes(rule, hwnd)) return TRUE;
    scan->rule = rule;
    scan->found = hwnd;
    return FALSE;
}

} // namespace

HWND FindMainWindow(const PROCESS_INFORMATION& process, BOOL waitForIdle, HWND* window) {
    if (*window != UnknownWindow()) return *window;
    Rule main;
    main.process = &process;
    main.waitForIdle = waitForIdle;
    main.threadId = process.dwThreadId;
    main.needsControl1 = FALSE;
    main.width = GetSystemMetrics(SM_CXSCREEN);
    main.height = GetSystemMetrics(SM_CYSCREEN);
    for (unsigned pass = 0;; ++pass) {
        // Only the main thread's own top-level windows on each pass: a pass
        // costs a few calls whatever else is on the screen, where a walk of
        // the whole z-order cost several calls per window of every program.
        Scan scan;
        scan.rule = main;
        scan.found = NULL;
        EnumThreadWindows(process.dwThreadId, TakeFirstPassing, (LPARAM)&scan);
        if (!scan.found && pass % kOtherThreadsEvery == kOtherThreadsEvery - 1) {
            scan.rule.needsControl1 = TRUE;
            EnumWindows(TakeOtherThreadWindow, (LPARAM)&scan);
        }
        if (scan.found) {
            *window = HighestPassing(scan.rule, scan.found);
            return *window;
        }
        if (ProcessHasEnded(process.hProcess)) return NULL;
        if (kScanPauseMs != 0) Sleep(kScanPauseMs);
    }
}
