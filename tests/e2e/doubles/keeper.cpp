// keeper.exe <ready-file>: holds the prefix's Wine desktop for the life of
// the prefix.
//
// The wineserver closes a desktop one second after its last user besides
// explorer.exe has gone, and explorer then exits. Where Wine runs slowly
// (an emulated CPU, a loaded machine) the gaps between the programs of one
// run, and between runs, outlast that second. A program that starts while
// explorer shuts down gets no display driver: its windows are never created
// and whoever waits for them waits until a time-out. One hidden window of
// ours keeps the desktop in use, so explorer starts once and stays.
//
// Writes "hwnd=<n>" to the ready file once its window exists, or
// "error=<n>" when it cannot create one. Even then it stays: a program
// that has connected to the desktop keeps it in use without a window, so
// an explorer that took too long to start for this program's first window
// is not shut down meanwhile, and the next program finds it ready. Ends
// only when killed.
#include <windows.h>

#include <cstdio>

namespace {

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) return 0;  // only the harness ends the keeper
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void Report(const char* path, const char* key, unsigned long value) {
    char tmp[MAX_PATH + 8];
    snprintf(tmp, sizeof tmp, "%s.new", path);
    FILE* f = fopen(tmp, "wb");
    if (!f) return;
    fprintf(f, "%s=%lu\n", key, value);
    fclose(f);
    MoveFileExA(tmp, path, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc < 2) return 2;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = "WinetestKeeper";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, "WinetestKeeper", "keeper", WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, instance, nullptr);
    if (!hwnd) {
        Report(__argv[1], "error", GetLastError());
        for (;;) Sleep(INFINITE);
    }
    Report(__argv[1], "hwnd", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hwnd)));
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
