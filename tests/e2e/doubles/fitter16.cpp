// fitter32.exe <anything>: the 32-bit twin of the install helper's 16-bit
// stand-in (fitter16.asm), copied in as fitter16.exe where a test needs what
// the 16-bit one cannot do under Wine: hand an exit code on (Wine ends a
// 16-bit program's process with 0, winetest.helper_double), and crash on the
// click.
//
// Shows, from its main thread, a visible top-level window with a button of
// id 1; a click on it "installs" and the program ends. Set by environment
// variables (the launcher passes its own environment on):
//   FITTER16_LOG      file to append JSON lines to: one at start (command
//                     line, working directory), one when its window is there
//                     ("window", or "nowindow" with the error, and it ends
//                     with 0xBAD), one on the click, one at the end
//   FITTER16_SHOW_MS  delay before the window is shown (default 0)
//   FITTER16_EXIT     exit code (decimal or 0x hex, default 0)
//   FITTER16_MODE     "endearly": ends after FITTER16_SHOW_MS without a window;
//                     "decoys": first a hidden and an off-screen window, then
//                     the real one; "crash": an access violation after the click
//   FITTER16_WORK_MS  how long the work after the click takes (default 100)
#include <windows.h>

#include "doublelog.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* Env(const char* name) {
    const char* v = getenv(name);
    return v && *v ? v : nullptr;
}

DWORD EnvNumber(const char* name, DWORD fallback) {
    const char* v = Env(name);
    return v ? strtoul(v, nullptr, 0) : fallback;
}


void Log(const std::string& event, const std::string& extra = "") {
    const char* log = Env("FITTER16_LOG");
    if (!log) return;
    std::string line = "{\"event\":\"" + event + "\",\"tick\":" + std::to_string(GetTickCount()) + extra + "}\n";
    AppendLogLine(log, line);
}

DWORD g_exitCode;
bool g_crash;

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && LOWORD(wp) == 1) {
        Log("clicked");
        Sleep(EnvNumber("FITTER16_WORK_MS", 100));
        if (g_crash) {
            volatile int* p = nullptr;
            *p = 1;
        }
        DestroyWindow(hwnd);
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    char cwd[MAX_PATH];
    if (!GetCurrentDirectoryA(sizeof cwd, cwd)) cwd[0] = 0;
    Log("start", ",\"cmdline\":\"" + JsonEscape(GetCommandLineA()) + "\",\"cwd\":\"" + JsonEscape(cwd) + "\"");
    g_exitCode = EnvNumber("FITTER16_EXIT", 0);
    const char* mode = Env("FITTER16_MODE");
    std::string m = mode ? mode : "";
    g_crash = m == "crash";
    Sleep(EnvNumber("FITTER16_SHOW_MS", 0));
    if (m == "endearly") {
        Log("end", ",\"code\":" + std::to_string(g_exitCode));
        return static_cast<int>(g_exitCode);
    }

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "Fitter16";
    RegisterClassA(&wc);
    if (m == "decoys") {
        // Neither may be taken: one is hidden, the other starts left of the screen.
        CreateWindowExA(0, "Fitter16", "hidden", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr, instance,
                        nullptr);
        CreateWindowExA(0, "Fitter16", "off screen", WS_OVERLAPPEDWINDOW | WS_VISIBLE, -1, 10, 200, 100, nullptr,
                        nullptr, instance, nullptr);
        Sleep(300);
    }
    HWND main = CreateWindowExA(0, "Fitter16", "Display driver installation", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                100, 100, 420, 160, nullptr, nullptr, instance, nullptr);
    if (!main) {
        // Without a window no click can come: say so and end, rather than
        // wait in the message loop for the launcher's time-out.
        DWORD error = GetLastError();
        Log("nowindow", ",\"error\":" + std::to_string(error));
        return 0xBAD;
    }
    Log("window", ",\"hwnd\":" + std::to_string(reinterpret_cast<UINT_PTR>(main)));
    std::string text = std::string("Installing from: ") + GetCommandLineA();
    CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 10, 10, 390, 60, main, nullptr, instance,
                    nullptr);
    CreateWindowExA(0, "BUTTON", "Install", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 160, 80, 100, 28, main,
                    reinterpret_cast<HMENU>(1), instance, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Log("end", ",\"code\":" + std::to_string(g_exitCode));
    return static_cast<int>(g_exitCode);
}
