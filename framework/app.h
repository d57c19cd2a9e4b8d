// The application shell both programs are built on: one global application
// object derived from CWinApp, started by AfxWinMain.
//
// Start-up, in order: the error mode gains SEM_FAILCRITICALERRORS and
// SEM_NOOPENFILEERRORBOX; the instance handle, the argument text and the
// application title are recorded; InitInstance runs. When it returns TRUE the
// message loop runs: with no main window it requests quit at once, yet still
// dispatches what is already waiting for the thread. ExitInstance's result is
// the process exit code.
#pragma once
#include "framework/win.h"

class CWinApp {
public:
    // With no name the title comes from string resource 57344 or, lacking
    // that, from the program file's name without directory and extension.
    explicit CWinApp(LPCSTR appName = NULL);
    virtual ~CWinApp();
    virtual const void* GetMessageMap() const;
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    virtual int Run();

    // Modal box captioned with the application title, owned by no window.
    int ShowMessageBox(LPCSTR text, UINT style);

    HINSTANCE m_hInstance;
    LPCSTR m_lpCmdLine;  // the argument text: the command line after the program name
    LPCSTR m_pszAppName; // the application title
    char m_szTitle[260];

    // Called by the start-up code; returns the process exit code.
    int WinMain();
};

enum { kAppTitleStringId = 57344 };

CWinApp* AfxGetApp();
int AfxWinMain();
