// The Windows NT 4.0 route: the system's Display applet, driven through its
// dialogs by simulated clicks, with the OS directory typed into its path box.
//
// Install sets three strands going by asynchronous clicks and returns; the
// rest runs in OnClickCompleted, which the platform calls on this thread
// only while it retrieves messages (a later message box's modal loop, or the
// framework's loop, which runs only what has already arrived). So the chain
// reaches its end only while a later command keeps a box open.
#pragma once
#include "setup/installer.h"

class CSetupApp;

class CNt4Installer : public CDriverInstaller {
public:
    explicit CNt4Installer(CSetupApp* app);
    virtual void Install();

    char m_szPath[260];
    // FALSE when the OS directory did not fit: the path box would get
    // whatever the clipboard held, so the applet is not started at all.
    BOOL m_bPathFits;

private:
    void StartApplet();
    void EnterDriverPath();
    CSetupApp* m_pApp;
};

// Program-wide, since the completion callback has no object.
struct AppletState {
    PROCESS_INFORMATION process;
    HWND appletWindow; // UnknownWindow until found
    HWND firstDialog, secondDialog, pathDialog;
    HWND editWindow;
    AppletState();
};
extern AppletState g_applet;

// The stages handed with each asynchronous click and given back on completion.
enum {
    kStageSecondDialog = 1, // control 519 of the first dialog
    kStagePathDialog = 2,   // control 1567 of the second dialog
    kStagePathOk = 3,       // control 1 of the path dialog
    kStageFollowUp = 4,     // control 1 of the follow-up window
    kStageFirstClosed = 7,  // control 2 of the first dialog
    kStagePasted = 1000,    // the paste into the path box
};

void CloseLeftoverApplets();
// Closes the applet's process and thread handles. The completions still
// wait on the process until the message loop has ended, so the launcher
// calls this on its way out, and a second Install before its own start.
void ReleaseAppletProcess();
void CloseOwnedDialogs(HWND owner);
HWND FindOwnedWindow(HWND owner);
void CALLBACK OnClickCompleted(HWND hwnd, UINT msg, ULONG_PTR stage, LRESULT result);
