#include "sequor/sequorapp.h"
#include "framework/chars.h"
#include "framework/fields.h"
#include "framework/text.h"
#include "framework/tokens.h"
#include "sequor/exitrule.h"
#include "sequor/shutdown.h"

CSequorApp::CSequorApp() : CWinApp(NULL) {}

CSequorApp::~CSequorApp() {}

BOOL CSequorApp::RunEntry(LPSTR value, DWORD size, DWORD* exitCode) {
    // Inserted text is never expanded again; a value that would outgrow its
    // buffer is not run with a cut path.
    if (!ExpandToken(value, size, "[CWD]", m_szLaunchDir)) return FALSE;
    const char* pos = value;
    char command[256], directory[260];
    if (!NextField(&pos, command, sizeof command)) return FALSE;
    // A value with one field is a command run in our own directory.
    BOOL hasDirectory = NextField(&pos, directory, sizeof directory) && !IsNullField(directory);
    // No command line and no program name would crash us inside the system.
    if (IsNullField(command)) return FALSE;

    STARTUPINFOA startup;
    ClearBytes(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_FORCEONFEEDBACK;
    PROCESS_INFORMATION process;
    ClearBytes(&process, sizeof process);
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, hasDirectory ? directory : NULL, &startup,
                        &process))
        return FALSE;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    *exitCode = code;
    return TRUE;
}

// The whole run happens here; FALSE skips the message loop, and the
// framework's ExitInstance makes the exit code 0.
BOOL CSequorApp::InitInstance() {
    DWORD n = GetCurrentDirectoryA(sizeof m_szLaunchDir, m_szLaunchDir);
    // A result as large as the buffer is the size it would have needed: the
    // buffer holds no directory then.
    if (n == 0 || n >= sizeof m_szLaunchDir) {
        m_szLaunchDir[0] = '\0';
        return FALSE;
    }
    if (EndsWithBackslash(m_szLaunchDir, n)) m_szLaunchDir[n - 1] = '\0';
    char iniPath[260];
    // A cut path would read some other file.
    if (!CopyText(iniPath, sizeof iniPath, m_szLaunchDir) || !AppendText(iniPath, sizeof iniPath, "\\sequor95.ini"))
        return FALSE;

    DWORD highest = 0;
    char key[16], value[256];
    // Each key is read only when its turn comes: a program may change the
    // list for those after it.
    for (int counter = 1; counter < 0x7FFFFFFF; ++counter) {
        wsprintfA(key, "%d", counter);
        GetPrivateProfileStringA("ProcessList", key, "", value, sizeof value, iniPath);
        if (value[0] == '\0') break;
        DWORD code;
        if (RunEntry(value, sizeof value, &code) && code > highest) highest = code;
    }

    SequorPrompt prompt = PromptForExitCode(highest);
    if (prompt.text && ShowMessageBox(prompt.text, MB_YESNO | MB_ICONEXCLAMATION) == IDYES)
        RequestShutdown(prompt.shutdown);
    return FALSE;
}
