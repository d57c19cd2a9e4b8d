#include "setup/setuputil.h"
#include "framework/app.h"
#include "framework/chars.h"
#include "framework/text.h"
#include "setup/escapes.h"

BOOL CSetupUtil::GetLaunchDirectory(LPSTR buffer, DWORD size, BOOL* fits) {
    if (fits) *fits = TRUE;
    char current[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n == 0) return FALSE;
    bool whole = n < sizeof current;
    if (whole && EndsWithBackslash(current, n)) current[n - 1] = '\0';
    LPCSTR arguments = AfxGetApp() ? AfxGetApp()->m_lpCmdLine : "";
    if (whole) whole = CopyText(buffer, size, current);
    if (whole && arguments && *arguments) whole = AppendText(buffer, size, arguments);
    if (!whole) {
        if (size) buffer[0] = '\0';
        if (fits) *fits = FALSE;
    }
    return TRUE;
}

void CSetupUtil::ExpandEscapes(LPSTR text) {
    ExpandMessageEscapes(text);
}

OsKind CSetupUtil::GetOsKind() {
    OSVERSIONINFOA info;
    for (unsigned i = 0; i < sizeof info; ++i) ((char*)&info)[i] = 0;
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    info.szCSDVersion[sizeof info.szCSDVersion - 1] = '\0';
    return ClassifyVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.szCSDVersion);
}
