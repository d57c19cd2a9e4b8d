// The sequence runner: runs the numbered programs of sequor95.ini one after
// another and offers a restart or a reboot by their exit codes.
#pragma once
#include "framework/app.h"

class CSequorApp : public CWinApp {
public:
    CSequorApp();
    virtual ~CSequorApp();
    virtual BOOL InitInstance();

    char m_szLaunchDir[260];
};
