// The Install command: the route by the Windows version, classified afresh.
#include "framework/text.h"
#include "setup/nt4.h"
#include "setup/setupapp.h"
#include "setup/win9x.h"

#include <new>

static CDriverInstaller* MakeInstaller(CSetupApp* app, OsKind kind) {
    switch (kind) {
    case kOsWin95A:
    case kOsWin95B:
    case kOsWin95C:
    case kOsWin98: {
        CWin9xInstaller* i = new (std::nothrow) CWin9xInstaller(app);
        if (!i) return NULL;
        CopyText(i->m_szDeviceKey, sizeof i->m_szDeviceKey, app->deviceKey);
        CopyText(i->m_szLocation, sizeof i->m_szLocation, app->location);
        CopyText(i->m_szOsDirectory, sizeof i->m_szOsDirectory, app->m_szOsDirectory);
        i->m_nHelperFlag = app->helperFlag;
        i->m_bOsDirectoryFits = app->m_bOsDirectoryFits;
        return i;
    }
    case kOsNT40: {
        CNt4Installer* i = new (std::nothrow) CNt4Installer(app);
        if (!i) return NULL;
        CopyText(i->m_szPath, sizeof i->m_szPath, app->m_szOsDirectory);
        i->m_bPathFits = app->m_bOsDirectoryFits;
        return i;
    }
    default:
        return NULL;
    }
}

// Shown only where the script has such a message; the exit code tells a
// caller in any case.
void CSetupApp::InstallNotRun() {
    char text[8];
    if (ReadScript("Message", "HelperNotRun", text, sizeof text)) ShowScriptMessage("HelperNotRun", kStyleMessage);
    m_nExitCode = kExitHelperNotRun;
}

void CSetupApp::DoInstall() {
    OsKind kind = m_util.GetOsKind();
    delete m_pInstaller;
    m_pInstaller = MakeInstaller(this, kind);
    if (m_pInstaller) {
        m_pInstaller->Install();
    } else {
        ShowScriptMessage("NotSupport", kStyleMessage);
        PostQuitMessage(0);
    }
}
