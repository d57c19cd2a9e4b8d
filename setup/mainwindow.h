// Finding the main window of a program the launcher started.
#pragma once
#include "framework/win.h"

enum { kWindowUnknown = -1 };
inline HWND UnknownWindow() { return (HWND)(LONG_PTR)kWindowUnknown; }

// The highest top-level window in the z-order that the process's main
// thread created and that is visible with its top-left corner on the
// screen; failing that, with otherThreads and looked for only on every
// kOtherThreadsEvery-th scan, the highest such window of any other thread
// of the process that holds control 1 (under Wine, a 16-bit program's
// windows). *window keeps the result: once known it is returned at once.
// With waitForIdle, each window is examined only once the process is idle
// for input. Between scans the launcher pauses briefly instead of
// spinning, and it stops waiting when the process has ended: then the
// result is NULL and *window stays unknown.
HWND FindMainWindow(const PROCESS_INFORMATION& process, BOOL waitForIdle, BOOL otherThreads, HWND* window);

// TRUE once the process has ended (or its handle is no good).
BOOL ProcessHasEnded(HANDLE process);

// The pause between two scans, in milliseconds: a window found up to 40 ms
// late costs nothing, while a scan without pauses keeps a CPU busy that the
// helper itself needs (under Wine 10 ms still cost 5 % of a CPU, 40 ms
// about 1.3 %). A build with 0 scans without pausing, for the benchmark.
#ifndef SETUP_SCAN_PAUSE_MS
#define SETUP_SCAN_PAUSE_MS 40
#endif
enum { kScanPauseMs = SETUP_SCAN_PAUSE_MS };

// Windows of the process's other threads are looked for on one scan in
// this many (about once a second): that look walks every top-level window
// on the screen.
enum { kOtherThreadsEvery = 25 };

// Every walk over the top-level windows ends after this many steps, however
// the other programs restack or destroy their windows meanwhile.
enum { kWalkStepLimit = 4096 };
