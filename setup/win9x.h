// The Windows 95/98 route: the 16-bit install helper fitter16.exe gets the
// card's identity and the OS directory, its start button is clicked, and
// its exit code becomes the launcher's.
#pragma once
#include "setup/installer.h"

class CSetupApp;

class CWin9xInstaller : public CDriverInstaller {
public:
    explicit CWin9xInstaller(CSetupApp* app);
    virtual void Install();

    char m_szDeviceKey[256];
    char m_szLocation[256];
    char m_szOsDirectory[260];
    int m_nHelperFlag;
    BOOL m_bOsDirectoryFits;

private:
    BOOL StartHelper();
    HWND FindHelperWindow();
    void PressHelperButton();
    CSetupApp* m_pApp;
};

// Program-wide state of the route: the helper process and its window
// (UnknownWindow until found).
struct HelperState {
    PROCESS_INFORMATION process;
    HWND window;
    HelperState();
};
extern HelperState g_helper;
