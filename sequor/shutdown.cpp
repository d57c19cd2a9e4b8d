#include "sequor/shutdown.h"

// Windows 95's ADVAPI32 has the token functions only as stubs, and Sequor
// imports nothing else from it: they are looked up on the NT family alone.
typedef BOOL(WINAPI* OpenProcessTokenFn)(HANDLE, DWORD, PHANDLE);
typedef BOOL(WINAPI* LookupPrivilegeValueFn)(LPCSTR, LPCSTR, PLUID);
typedef BOOL(WINAPI* AdjustTokenPrivilegesFn)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);

// Through void (*)(): the cast that tells the compiler the type is known.
template <class F> static F Proc(HMODULE module, LPCSTR name) {
    return (F)(void (*)())GetProcAddress(module, name);
}

static void EnableShutdownPrivilege() {
    HMODULE advapi = LoadLibraryA("ADVAPI32.DLL");
    if (!advapi) return;
    OpenProcessTokenFn openToken = Proc<OpenProcessTokenFn>(advapi, "OpenProcessToken");
    LookupPrivilegeValueFn lookup = Proc<LookupPrivilegeValueFn>(advapi, "LookupPrivilegeValueA");
    AdjustTokenPrivilegesFn adjust = Proc<AdjustTokenPrivilegesFn>(advapi, "AdjustTokenPrivileges");
    HANDLE token;
    if (openToken && lookup && adjust &&
        openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // A user without the privilege gets no restart; the request below
        // then fails as it would have anyway.
        if (lookup(NULL, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
            adjust(token, FALSE, &privileges, 0, NULL, NULL);
        CloseHandle(token);
    }
    FreeLibrary(advapi);
}

BOOL RequestShutdown(UINT flags) {
    if (!(GetVersion() & 0x80000000u)) EnableShutdownPrivilege();
    return ExitWindowsEx(flags, 0);
}
