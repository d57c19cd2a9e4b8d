// Modules and access tokens of the simulated PC: enough of ADVAPI32's token
// functions, reached through LoadLibraryA and GetProcAddress, for a program
// to enable the shutdown privilege on the NT family.
#include "simwin/machine.h"
#include <cstring>

using sim::Current;

HANDLE const sim::kTokenHandle = (HANDLE)(uintptr_t)0x7A0C;

namespace {
HMODULE const kAdvapi = (HMODULE)(uintptr_t)0x77DD0000;
const DWORD kShutdownLuid = 19;

bool IsNt() { return Current().platformId == VER_PLATFORM_WIN32_NT; }

// Windows 95 and 98 export the token functions as stubs.
bool Stub() {
    Current().lastError = 120; // ERROR_CALL_NOT_IMPLEMENTED
    return false;
}
} // namespace

HANDLE GetCurrentProcess() { return (HANDLE)(intptr_t)-1; }

HMODULE LoadLibraryA(LPCSTR name) {
    sim::Machine& m = Current();
    m.Record(std::string("load library: ") + (name ? name : ""));
    return name && strcasecmp(name, "ADVAPI32.DLL") == 0 ? kAdvapi : NULL;
}

BOOL FreeLibrary(HMODULE module) { return module == kAdvapi; }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    Current();
    if (module != kAdvapi || !name) return NULL;
    if (std::strcmp(name, "OpenProcessToken") == 0) return (FARPROC)(void (*)())&OpenProcessToken;
    if (std::strcmp(name, "LookupPrivilegeValueA") == 0) return (FARPROC)(void (*)())&LookupPrivilegeValueA;
    if (std::strcmp(name, "AdjustTokenPrivileges") == 0) return (FARPROC)(void (*)())&AdjustTokenPrivileges;
    return NULL;
}

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    sim::Machine& m = Current();
    if (!IsNt()) return Stub();
    if (process != GetCurrentProcess() || !token) return FALSE;
    m.Record("token: opened for " + std::to_string(access));
    *token = sim::kTokenHandle;
    ++m.openHandles;
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
    sim::Machine& m = Current();
    if (!IsNt()) return Stub();
    if (system || !name || !luid || std::strcmp(name, SE_SHUTDOWN_NAME) != 0) return FALSE;
    m.Record(std::string("privilege: looked up ") + name);
    luid->LowPart = kShutdownLuid;
    luid->HighPart = 0;
    return TRUE;
}

// As the system: success even where the user does not hold the privilege,
// with ERROR_NOT_ALL_ASSIGNED as the last error.
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD, PTOKEN_PRIVILEGES,
                           LPDWORD) {
    sim::Machine& m = Current();
    if (!IsNt()) return Stub();
    if (token != sim::kTokenHandle || disableAll || !state) return FALSE;
    bool enable = false;
    for (DWORD i = 0; i < state->PrivilegeCount; ++i)
        if (state->Privileges[i].Luid.LowPart == kShutdownLuid && state->Privileges[i].Luid.HighPart == 0)
            enable = (state->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    if (enable && m.shutdownPrivilegeHeld) m.shutdownPrivilegeEnabled = true;
    m.lastError = enable && !m.shutdownPrivilegeHeld ? ERROR_NOT_ALL_ASSIGNED : 0;
    m.Record(std::string("privilege: ") + (m.shutdownPrivilegeEnabled ? "enabled" : "not held"));
    return TRUE;
}
