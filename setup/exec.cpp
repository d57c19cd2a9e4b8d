// Exec entries: the section named by the entry holds "program", the file to
// open, a placeholder and the working directory. The file goes to the shell
// and is not waited for; the launcher takes no notice of the outcome.
#include "setup/setupapp.h"
#include "framework/fields.h"
#include "framework/text.h"
#include "framework/tokens.h"

// [CWD] is the launch directory. [OS] stands for m_szOsTokenText, which
// nothing fills: scripts written for the launcher rely on [OS] vanishing.
// Inserted text is never searched again, and a result that would not fit
// leaves the value as it was and gives FALSE.
BOOL CSetupApp::ExpandPathTokens(LPSTR value, DWORD size) {
    char work[512];
    if (!CopyText(work, sizeof work, value)) return FALSE;
    if (!ExpandToken(work, sizeof work, "[CWD]", m_szLaunchDir)) return FALSE;
    if (!ExpandToken(work, sizeof work, "[OS]", m_szOsTokenText)) return FALSE;
    // Measured first: a copy that does not fit would leave the value cut.
    if (TextLength(work) >= size) return FALSE;
    CopyText(value, size, work);
    return TRUE;
}

void CSetupApp::ExecProgram(LPCSTR entry) {
    char value[256];
    ReadScript(entry, "program", value, sizeof value);
    // A path cut short would open something else: such an entry opens nothing.
    if (!ExpandPathTokens(value, sizeof value)) return;
    const char* pos = value;
    char file[256], unused[256], directory[256];
    if (!NextField(&pos, file, sizeof file)) return;
    // A value without its third field still names the file; it is opened
    // with no working directory, so the shell's default applies.
    BOOL hasDirectory = NextField(&pos, unused, sizeof unused) && NextField(&pos, directory, sizeof directory);
    ShellExecuteA(NULL, "open", file, NULL, hasDirectory ? directory : NULL, SW_SHOWNORMAL);
}
