// The sequence runner: runs the numbered programs of sequor95.ini one after
// another, each to its end, and offers a restart or a reboot by their exit
// codes.
#pragma once
#include "framework/app.h"

class CSequorApp : public CWinApp {
public:
    CSequorApp();
    virtual ~CSequorApp();
    virtual BOOL InitInstance();

    // Runs one list value (expanded in place) to its end. FALSE when
    // nothing was started; *exitCode is then untouched.
    BOOL RunEntry(LPSTR value, DWORD size, DWORD* exitCode);

    char m_szLaunchDir[260];
};
