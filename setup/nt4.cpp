#include "setup/nt4.h"
#include "framework/chars.h"
#include "framework/program.h"
#include "framework/text.h"
#include "setup/mainwindow.h"
#include "setup/setupapp.h"

PROGRAM_STATE(AppletState, g_applet);

AppletState::AppletState()
    : appletWindow(UnknownWindow()), firstDialog(NULL), secondDialog(NULL), pathDialog(NULL), editWindow(NULL) {
    ClearBytes(&process, sizeof process);
}

CNt4Installer::CNt4Installer(CSetupApp* app) : m_bPathFits(TRUE), m_pApp(app) {
    m_szPath[0] = '\0';
}

// Every wait of the chain ends once the applet has ended (the user closed
// it, or it never started): its windows can no longer come.
static BOOL AppletEnded() {
    return ProcessHasEnded(g_applet.process.hProcess);
}

static void WaitForIdle() {
    WaitForInputIdle(g_applet.process.hProcess, INFINITE);
}

static HWND FirstTopLevelWindow() {
    HWND hwnd = GetWindow(GetDesktopWindow(), GW_CHILD);
    return hwnd ? GetWindow(hwnd, GW_HWNDFIRST) : NULL;
}

static BOOL ClassIs(HWND hwnd, const char* name) {
    char className[256];
    className[0] = '\0';
    if (hwnd) GetClassNameA(hwnd, className, sizeof className);
    return EqualText(className, name);
}

// A click on a control that does not exist sends nothing: that strand ends.
static void NotifyClick(HWND window, int id) {
    HWND control = window ? GetDlgItem(window, id) : NULL;
    if (!control) return;
    SendNotifyMessageA(control, BM_CLICK, 0, 0);
    SetForegroundWindow(control);
}

static void CallbackClick(HWND window, int id, ULONG_PTR stage) {
    HWND control = window ? GetDlgItem(window, id) : NULL;
    if (!control) return;
    SendMessageCallbackA(control, BM_CLICK, 0, 0, OnClickCompleted, stage);
}

// The window below hwnd in the z-order. A window destroyed while the walk
// stands on it has none below it: the walk goes on from the top again.
static HWND NextTopLevel(HWND hwnd) {
    HWND next = GetWindow(hwnd, GW_HWNDNEXT);
    return next || IsWindow(hwnd) ? next : FirstTopLevelWindow();
}

void CloseOwnedDialogs(HWND owner) {
    HWND hwnd = FirstTopLevelWindow();
    for (int steps = 0; hwnd && steps < kWalkStepLimit; ++steps, hwnd = NextTopLevel(hwnd)) {
        if (GetParent(hwnd) == owner && ClassIs(hwnd, "#32770")) {
            CloseOwnedDialogs(hwnd); // the deepest first
            SendMessageA(hwnd, WM_CLOSE, 0, 0);
            return;
        }
    }
}

// Each leftover gets one WM_CLOSE, and no more than kMaxLeftovers get one:
// whatever a window does when asked to close (refuses and stays, brings
// itself to the top, drops to the bottom, goes only once its modal loop
// has ended), the walk ends, and the windows below still get theirs.
enum { kMaxLeftovers = 16 };

void CloseLeftoverApplets() {
    HWND closed[kMaxLeftovers];
    int count = 0;
    HWND hwnd = FirstTopLevelWindow();
    for (int steps = 0; hwnd && steps < kWalkStepLimit; ++steps) {
        BOOL seen = FALSE;
        for (int i = 0; i < count; ++i) seen = seen || closed[i] == hwnd;
        if (seen || !ClassIs(GetParent(hwnd), "RunDLL")) {
            hwnd = NextTopLevel(hwnd);
            continue;
        }
        CloseOwnedDialogs(hwnd);
        HWND top = FirstTopLevelWindow();
        SendMessageA(hwnd, WM_CLOSE, 0, 0);
        closed[count++] = hwnd;
        if (count == kMaxLeftovers) return;
        // Gone: on below the window that was on top, or from the new top if
        // that was the one closed. Still there (it refused, or a modal
        // dialog goes only once its loop has ended), wherever it moved: from
        // the top again, where it is passed over now.
        hwnd = !IsWindow(hwnd) && IsWindow(top) ? NextTopLevel(top) : FirstTopLevelWindow();
    }
}

HWND FindOwnedWindow(HWND owner) {
    if (!owner) return NULL; // every unowned window would match
    for (;;) {
        Sleep(0);
        Sleep(200);
        HWND hwnd = FirstTopLevelWindow();
        for (int steps = 0; hwnd && steps < kWalkStepLimit; ++steps) {
            WaitForIdle();
            if (GetParent(hwnd) == owner) return hwnd;
            if (GetWindow(hwnd, GW_HWNDLAST) == hwnd) break;
            hwnd = GetWindow(hwnd, GW_HWNDNEXT);
        }
        if (AppletEnded()) return NULL;
    }
}

// The system directory followed by name; FALSE when it cannot be read or
// the path would not fit, and then nothing is started.
static BOOL SystemProgramPath(char* path, UINT size, const char* name) {
    UINT length = GetSystemDirectoryA(path, size);
    if (length == 0 || length >= size) return FALSE;
    if (!EndsWithBackslash(path, length) && !AppendText(path, size, "\\")) return FALSE;
    return AppendText(path, size, name);
}

void ReleaseAppletProcess() {
    if (g_applet.process.hThread) CloseHandle(g_applet.process.hThread);
    if (g_applet.process.hProcess) CloseHandle(g_applet.process.hProcess);
    ClearBytes(&g_applet.process, sizeof g_applet.process);
}

void CNt4Installer::StartApplet() {
    // A second Install starts a new applet: the first one's handles go, and
    // its windows are searched afresh.
    ReleaseAppletProcess();
    g_applet.appletWindow = UnknownWindow();
    g_applet.firstDialog = g_applet.secondDialog = g_applet.pathDialog = NULL;
    char commandLine[] = "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3";
    // The system's own copy, named in full: by its bare name the search
    // order would find a rundll32.exe beside setup.exe (a download folder)
    // first, and on NT 4.0 this runs as an administrator.
    char application[MAX_PATH];
    STARTUPINFOA startup;
    ClearBytes(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_FORCEONFEEDBACK;
    if (SystemProgramPath(application, sizeof application, "rundll32.exe") &&
        !CreateProcessA(application, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &g_applet.process))
        ClearBytes(&g_applet.process, sizeof g_applet.process);
    WaitForIdle();
}

static void ClickPageButton() {
    WaitForIdle();
    char className[256];
    className[0] = '\0';
    GetClassNameA(g_applet.appletWindow, className, sizeof className);
    HWND page = FindWindowExA(g_applet.appletWindow, NULL, className, NULL);
    NotifyClick(page, 265);
}

static void ClickFirstDialogButton() {
    WaitForIdle();
    g_applet.firstDialog = FindOwnedWindow(g_applet.appletWindow);
    CallbackClick(g_applet.firstDialog, 519, kStageSecondDialog);
}

void CNt4Installer::EnterDriverPath() {
    WaitForIdle();
    do {
        g_applet.secondDialog = FindOwnedWindow(g_applet.firstDialog);
    } while (g_applet.secondDialog && !GetDlgItem(g_applet.secondDialog, 1567));
    if (!g_applet.secondDialog) return;
    CallbackClick(g_applet.secondDialog, 1567, kStagePathDialog);
    WaitForIdle();
    g_applet.pathDialog = FindOwnedWindow(g_applet.secondDialog);
    HWND pathBox = g_applet.pathDialog ? GetDlgItem(g_applet.pathDialog, 107) : NULL;
    if (!pathBox) return;
    // The text reaches the applet through the clipboard: a hidden edit
    // window of ours holds it, selects it and copies it.
    g_applet.editWindow = CreateWindowExA(0, "EDIT", m_szPath, 0, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                          GetDesktopWindow(), NULL, m_hInstance, NULL);
    // Without our window the paste would bring in someone else's text.
    if (!g_applet.editWindow) return;
    SendMessageA(g_applet.editWindow, EM_SETSEL, 0, -1);
    SendMessageA(g_applet.editWindow, WM_COPY, 0, 0);
    WaitForIdle();
    SendMessageCallbackA(pathBox, WM_PASTE, 0, 0, OnClickCompleted, kStagePasted);
    SetForegroundWindow(pathBox);
}

void CNt4Installer::Install() {
    if (!m_bPathFits || !m_szPath[0]) {
        m_pApp->InstallNotRun();
        return;
    }
    CloseLeftoverApplets();
    StartApplet();
    if (!FindMainWindow(g_applet.process, TRUE, FALSE, &g_applet.appletWindow)) return;
    ClickPageButton();
    ClickFirstDialogButton();
    EnterDriverPath();
}

// Polls until the first window owned by owner passes the test; NULL once
// the applet has ended.
static HWND AwaitOwnedWindow(HWND owner, BOOL (*passes)(HWND)) {
    HWND w;
    do {
        WaitForIdle();
        w = FindOwnedWindow(owner);
    } while (w && !passes(w));
    return w;
}

static BOOL IsClosingWindow(HWND w) { return GetDlgItem(w, 10) && GetDlgItem(w, 2); }
static BOOL IsFollowUpWindow(HWND w) { return w != g_applet.pathDialog && GetDlgItem(w, 1); }
static BOOL IsQuestionWindow(HWND w) { return GetDlgItem(w, 6) != NULL; }

void CALLBACK OnClickCompleted(HWND, UINT, ULONG_PTR stage, LRESULT) {
    switch (stage) {
    case kStageSecondDialog:
        CallbackClick(g_applet.firstDialog, 2, kStageFirstClosed);
        break;
    case kStagePathDialog:
        NotifyClick(AwaitOwnedWindow(g_applet.firstDialog, IsClosingWindow), 2);
        break;
    case kStagePasted:
        DestroyWindow(g_applet.editWindow);
        g_applet.editWindow = NULL;
        CallbackClick(g_applet.pathDialog, 1, kStagePathOk);
        break;
    case kStagePathOk:
        CallbackClick(AwaitOwnedWindow(g_applet.secondDialog, IsFollowUpWindow), 1, kStageFollowUp);
        break;
    case kStageFollowUp:
        NotifyClick(AwaitOwnedWindow(g_applet.firstDialog, IsQuestionWindow), 6);
        break;
    case kStageFirstClosed:
        NotifyClick(g_applet.appletWindow, 1);
        PostQuitMessage(0);
        break;
    default:
        PostQuitMessage(0);
        break;
    }
}
