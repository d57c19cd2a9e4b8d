// The USB supplement test: the uninstall entry "OSR21" and its display name.
#include "setup/setuputil.h"

BOOL CSetupUtil::IsUsbSupplementInstalled() {
    HKEY key;
    // Read access only: full access is refused to users without
    // administrator rights on NT, which would hide an installed supplement.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OSR21", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return FALSE;
    BYTE name[256];
    DWORD size = sizeof name;
    LONG rc = RegQueryValueExA(key, "DisplayName", NULL, NULL, name, &size);
    RegCloseKey(key);
    // A value shorter than three bytes leaves the rest of the buffer unset.
    return rc == ERROR_SUCCESS && size >= 3 && size <= sizeof name && name[0] == 'U' && name[1] == 'S' &&
           name[2] == 'B';
}
