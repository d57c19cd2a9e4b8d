// The launcher: all its work is done while the application starts. It forms
// the launch directory, the script path and the OS key, then walks the
// command list that SETUP.INI gives for the running Windows version.
#pragma once
#include "framework/app.h"
#include "setup/installer.h"
#include "setup/setuputil.h"

class CSetupApp : public CWinApp {
public:
    CSetupApp();
    virtual ~CSetupApp();
    virtual const void* GetMessageMap() const;
    virtual BOOL InitInstance();
    virtual int ExitInstance();

    void PrepareSetup();
    void SetOsKey();
    void RunCommandList();

    // Messages: the script's [Message] text for key, escapes expanded, in a
    // box captioned with the title. FALSE when the user chose Cancel.
    BOOL ShowScriptMessage(LPCSTR key, UINT style);

    // Reads a value of the script with the empty default. Reads nothing when
    // the script path did not fit its buffer: that script cannot be opened.
    DWORD ReadScript(LPCSTR section, LPCSTR key, LPSTR buffer, DWORD size);

    // Commands whose routes are built separately; each reports whether the
    // walk goes on.
    BOOL DetectCard(LPCSTR entry);
    BOOL CheckPCIKey();
    void DoInstall();
    void ExecProgram(LPCSTR entry);
    BOOL ExpandPathTokens(LPSTR value, DWORD size);
    // An installation route that could not start its installer at all:
    // [Message] HelperNotRun where the script has it, and exit code
    // kExitHelperNotRun.
    void InstallNotRun();

    CSetupUtil m_util;
    char m_szIniPath[260];
    int m_bUsbSupplement;
    char m_szOsTokenText[256];
    char m_szOsKey[20];
    char m_szLaunchDir[256];
    CDriverInstaller* m_pInstaller;
    char deviceKey[256];
    char location[256];
    char m_szOsDirectory[260];
    char busType[8];
    int helperFlag;
    int m_nExitCode;
    // Set at start-up: FALSE when the launch directory or the script path
    // would not fit its buffer, FALSE when the OS directory would not.
    BOOL m_bScriptReadable;
    BOOL m_bOsDirectoryFits;
};

// The launcher's exit code when an installer could not be run at all (its
// command line or the OS directory would not fit, or it could not be
// started). Neither success (0) nor a restart or reboot request (1, 2) to a
// sequence runner.
enum { kExitHelperNotRun = 254 };

enum { kStyleMessage = MB_OK | MB_ICONEXCLAMATION, kStyleQuestion = MB_OKCANCEL | MB_ICONEXCLAMATION };
