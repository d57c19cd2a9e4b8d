#include "setup/win9x.h"
#include "framework/program.h"
#include "framework/text.h"
#include "setup/helpercmd.h"
#include "setup/mainwindow.h"
#include "setup/setupapp.h"

PROGRAM_STATE(HelperState, g_helper);

HelperState::HelperState() : window(UnknownWindow()) {
    process.hProcess = process.hThread = NULL;
    process.dwProcessId = process.dwThreadId = 0;
}

CWin9xInstaller::CWin9xInstaller(CSetupApp* app) : m_nHelperFlag(0), m_bOsDirectoryFits(TRUE), m_pApp(app) {
    m_szDeviceKey[0] = m_szLocation[0] = m_szOsDirectory[0] = '\0';
}

BOOL CWin9xInstaller::StartHelper() {
    ClearBytes(&g_helper.process, sizeof g_helper.process);
    // A second Install starts a new helper: its window is searched afresh.
    g_helper.window = UnknownWindow();
    char commandLine[256];
    if (!m_bOsDirectoryFits || !FormatHelperCommandLine(commandLine, sizeof commandLine, m_szDeviceKey, m_szLocation,
                                                        m_szOsDirectory, m_nHelperFlag))
        return FALSE;
    STARTUPINFOA startup;
    ClearBytes(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_FORCEONFEEDBACK;
    return CreateProcessA(NULL, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &g_helper.process);
}

// A helper may destroy the window found first (a start-up banner before its
// main window); polling that dead handle would wait for ever, since the
// helper waits for its click. The window is then searched afresh.
void CWin9xInstaller::PressHelperButton() {
    HWND button;
    do {
        Sleep(100);
        if (!IsWindow(g_helper.window)) {
            g_helper.window = UnknownWindow();
            if (!FindHelperWindow()) return;
        }
        button = GetDlgItem(g_helper.window, 1);
    } while (!button && !ProcessHasEnded(g_helper.process.hProcess));
    if (button) SendMessageA(button, BM_CLICK, 0, 0);
}

// Under Wine a 16-bit helper's windows come from its task's thread, not the
// one CreateProcessA reports; on Windows 95 every 16-bit program is a process
// with exactly one thread (KB Q125867, "Understanding Win16Mutex"), so there
// the main thread's own windows are the helper's.
HWND CWin9xInstaller::FindHelperWindow() {
    return FindMainWindow(g_helper.process, FALSE, TRUE, &g_helper.window);
}

void CWin9xInstaller::Install() {
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
    if (!StartHelper()) {
        m_pApp->InstallNotRun();
        return;
    }
    if (FindHelperWindow()) PressHelperButton();
    WaitForSingleObject(g_helper.process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(g_helper.process.hProcess, &code);
    m_pApp->m_nExitCode = (int)code;
    CloseHandle(g_helper.process.hThread);
    CloseHandle(g_helper.process.hProcess);
}
