#include "setup/mainwindow.h"

BOOL ProcessHasEnded(HANDLE process) {
    return WaitForSingleObject(process, 0) != WAIT_TIMEOUT;
}

namespace {

// What a window must be to be taken: visible, its top-left corner on the
// screen, and either created by the process's main thread or, with
// otherThreads, by any other thread of the process and holding control 1.
struct Rule {
    const PROCESS_INFORMATION* process;
    BOOL waitForIdle;
    BOOL otherThreads;
    int width, height;
};

struct Scan {
    Rule rule;
    HWND found;
};

BOOL Passes(const Rule& rule, HWND hwnd) {
    if (rule.waitForIdle) WaitForInputIdle(rule.process->hProcess, INFINITE);
    DWORD processId = 0;
    DWORD threadId = GetWindowThreadProcessId(hwnd, &processId);
    if (rule.otherThreads) {
        // Another program's window never counts, whatever it holds.
        if (processId != rule.process->dwProcessId || threadId == rule.process->dwThreadId) return FALSE;
    } else if (threadId != rule.process->dwThreadId) {
        return FALSE;
    }
    RECT r;
    if (!GetWindowRect(hwnd, &r)) return FALSE;
    if (r.left < 0 || r.top < 0 || r.left > rule.width || r.top > rule.height || r.right <= 0) return FALSE;
    if (!(GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE)) return FALSE;
    return !rule.otherThreads || GetDlgItem(hwnd, 1) != NULL;
}

// Of the windows that pass, the highest in the z-order. The enumeration
// gives one that passes, in no documented order (EnumThreadWindows and
// EnumWindows promise none); GetWindow with GW_HWNDPREV gives the window
// above another (Win32 SDK), so the walk from there up to the top finds
// the highest. A window destroyed while the walk stands on it has no
// window above it: the walk goes up again from the best one so far. NULL
// when that one has gone too: the caller scans afresh.
HWND HighestPassing(const Rule& rule, HWND passing) {
    HWND best = passing;
    HWND w = passing;
    for (int steps = 0; steps < kWalkStepLimit; ++steps) {
        HWND above = GetWindow(w, GW_HWNDPREV);
        if (!above) {
            if (IsWindow(w)) break; // the top
            if (!IsWindow(best)) return NULL;
            w = best;
            continue;
        }
        w = above;
        if (Passes(rule, w)) best = w;
    }
    return IsWindow(best) ? best : NULL;
}

BOOL CALLBACK TakeFirstPassing(HWND hwnd, LPARAM param) {
    Scan* scan = (Scan*)param;
    if (!Passes(scan->rule, hwnd)) return TRUE;
    scan->found = hwnd;
    return FALSE;
}

} // namespace

HWND FindMainWindow(const PROCESS_INFORMATION& process, BOOL waitForIdle, BOOL otherThreads, HWND* window) {
    if (*window != UnknownWindow()) return *window;
    Rule main;
    main.process = &process;
    main.waitForIdle = waitForIdle;
    main.otherThreads = FALSE;
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
        if (!scan.found && otherThreads && pass % kOtherThreadsEvery == kOtherThreadsEvery - 1) {
            // Any passing window of any other thread will do here: the walk
            // up from it meets every one higher, whichever thread made it.
            scan.rule.otherThreads = TRUE;
            EnumWindows(TakeFirstPassing, (LPARAM)&scan);
        }
        if (scan.found) {
            HWND highest = HighestPassing(scan.rule, scan.found);
            if (highest) {
                *window = highest;
                return highest;
            }
        }
        if (ProcessHasEnded(process.hProcess)) return NULL;
        if (kScanPauseMs != 0) Sleep(kScanPauseMs);
    }
}
