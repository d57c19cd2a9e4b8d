#include "setup/setupapp.h"
#include "framework/fields.h"
#include "framework/text.h"
#include "setup/commands.h"
#include "setup/nt4.h"

// The object has static storage: every field not set here starts zeroed,
// and the launcher relies on that.
CSetupApp::CSetupApp() : CWinApp(NULL) {
    m_nExitCode = 0;
}

CSetupApp::~CSetupApp() {}

const void* CSetupApp::GetMessageMap() const { return NULL; }

BOOL CSetupApp::InitInstance() {
    PrepareSetup();
    RunCommandList();
    if (m_pInstaller) {
        delete m_pInstaller;
        m_pInstaller = NULL;
    }
    return TRUE;
}

int CSetupApp::ExitInstance() {
    ReleaseAppletProcess();
    return m_nExitCode;
}

void CSetupApp::PrepareSetup() {
    m_bUsbSupplement = m_util.IsUsbSupplementInstalled();
    BOOL fits = TRUE;
    m_util.GetLaunchDirectory(m_szLaunchDir, sizeof m_szLaunchDir, &fits);
    m_bScriptReadable = fits && CopyText(m_szIniPath, sizeof m_szIniPath, m_szLaunchDir) &&
                        AppendText(m_szIniPath, sizeof m_szIniPath, "\\SETUP.INI");
    if (!m_bScriptReadable) m_szIniPath[0] = '\0';
    SetOsKey();
}

void CSetupApp::SetOsKey() {
    m_bOsDirectoryFits = CopyText(m_szOsDirectory, sizeof m_szOsDirectory, m_szLaunchDir);
    OsKind kind = m_util.GetOsKind();
    const char* key = OsKeyOf(kind);
    if (!key) return;
    CopyText(m_szOsKey, sizeof m_szOsKey, key);
    if (!ReadsSubDir(kind)) return;
    char subDir[256];
    ReadScript("SubDir", m_szOsKey, subDir, sizeof subDir);
    // A directory cut short would install from somewhere else; the route
    // refuses an OS directory that did not fit.
    if (!AppendText(m_szOsDirectory, sizeof m_szOsDirectory, subDir)) {
        m_bOsDirectoryFits = FALSE;
        m_szOsDirectory[0] = '\0';
    }
}

DWORD CSetupApp::ReadScript(LPCSTR section, LPCSTR key, LPSTR buffer, DWORD size) {
    if (!m_bScriptReadable) {
        if (size) buffer[0] = '\0';
        return 0;
    }
    return GetPrivateProfileStringA(section, key, "", buffer, size, m_szIniPath);
}

void CSetupApp::RunCommandList() {
    char list[256];
    ReadScript("Application", m_szOsKey, list, sizeof list);
    if (list[0] == '\0') {
        ShowScriptMessage("NotSupport", kStyleMessage);
        PostQuitMessage(0);
    }
    // The walk keeps its own position: commands split their own values too.
    const char* next = list;
    char entry[256];
    while (NextField(&next, entry, sizeof entry)) {
        switch (MatchCommand(entry)) {
        case kCmdDetectCard:
            if (!DetectCard(entry)) return;
            break;
        case kCmdCheckPciKey:
            if (!CheckPCIKey()) return;
            break;
        case kCmdShowMsg:
            ShowScriptMessage(entry, kStyleMessage);
            return;
        case kCmdShowUsbMsg:
            if (!m_bUsbSupplement && !ShowScriptMessage(entry, kStyleQuestion)) {
                PostQuitMessage(0);
                return;
            }
            break;
        case kCmdInstall:
            DoInstall();
            break;
        case kCmdExec:
            ExecProgram(entry);
            break;
        case kCmdEnd:
            PostQuitMessage(0);
            return;
        case kCmdNone:
            break;
        }
    }
}
