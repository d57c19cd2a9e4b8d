#include "framework/app.h"
#include "framework/chars.h"
#include "framework/cmdline.h"
#include "framework/text.h"

static CWinApp* g_pApp;

CWinApp* AfxGetApp() { return g_pApp; }

CWinApp::CWinApp(LPCSTR appName)
    : m_hInstance(NULL), m_lpCmdLine(""), m_pszAppName(appName) {
    m_szTitle[0] = '\0';
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = NULL;
}

const void* CWinApp::GetMessageMap() const { return NULL; }

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run() {
    // No main window: the loop asks to end as soon as it starts, but what has
    // already arrived for the thread is still dispatched first.
    PostQuitMessage(0);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

int CWinApp::ShowMessageBox(LPCSTR text, UINT style) {
    return MessageBoxA(NULL, text, m_pszAppName, style);
}

static void LoadTitle(CWinApp* app) {
    if (app->m_pszAppName) return;
    if (LoadStringA(app->m_hInstance, kAppTitleStringId, app->m_szTitle, sizeof app->m_szTitle) <= 0) {
        char path[260];
        DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
        if (n >= sizeof path) n = sizeof path - 1;
        path[n] = '\0';
        // By characters: on a double-byte code page 0x5C may be the
        // second byte of a character in the program's folder or name.
        const char* name = path;
        for (const char* p = path; *p; p = NextChar(p))
            if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
        CopyText(app->m_szTitle, sizeof app->m_szTitle, name);
        char* dot = NULL;
        for (char* p = app->m_szTitle; *p; p = (char*)NextChar(p))
            if (*p == '.') dot = p;
        if (dot) *dot = '\0';
    }
    app->m_pszAppName = app->m_szTitle;
}

int CWinApp::WinMain() {
    SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    m_hInstance = GetModuleHandleA(NULL);
    m_lpCmdLine = SkipProgramName(GetCommandLineA());
    LoadTitle(this);
    if (InitInstance()) Run();
    return ExitInstance();
}

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    return app ? app->WinMain() : -1;
}
