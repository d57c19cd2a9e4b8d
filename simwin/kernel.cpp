// kernel32 of the simulated PC: version, process start-up data, the current
// directory, the profile reader and time.
#include "simwin/machine.h"
#include <cstring>

using sim::Current;

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) return FALSE;
    sim::Machine& m = Current();
    info->dwPlatformId = m.platformId;
    info->dwMajorVersion = m.majorVersion;
    info->dwMinorVersion = m.minorVersion;
    info->dwBuildNumber = m.platformId == VER_PLATFORM_WIN32_NT ? m.buildNumber
                                                                : (m.majorVersion << 24 | m.minorVersion << 16 | m.buildNumber);
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::strncpy(info->szCSDVersion, m.csdVersion.c_str(), sizeof info->szCSDVersion - 1);
    return TRUE;
}

DWORD GetVersion() {
    sim::Machine& m = Current();
    DWORD v = m.majorVersion | m.minorVersion << 8;
    if (m.platformId != VER_PLATFORM_WIN32_NT) v |= 0x80000000u;
    return v;
}

// As Win32: the length without terminator when it fits, else the size needed.
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    sim::Machine& m = Current();
    if (m.currentDirectoryFails) return 0;
    DWORD need = (DWORD)m.currentDirectory.size() + 1;
    if (size < need) return need;
    std::memcpy(buffer, m.currentDirectory.c_str(), need);
    return need - 1;
}

// An empty systemDirectory stands for a failing call.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    sim::Machine& m = Current();
    if (m.systemDirectory.empty()) return 0;
    UINT need = (UINT)m.systemDirectory.size() + 1;
    if (size < need) return need;
    std::memcpy(buffer, m.systemDirectory.c_str(), need);
    return need - 1;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, DWORD size, LPCSTR path) {
    sim::Machine& m = Current();
    if (m.filesVanishAfterReads >= 0 && m.profileReads >= m.filesVanishAfterReads) m.files.clear();
    ++m.profileReads;
    const std::string* file = path ? m.FindFile(path) : nullptr;
    const DWORD n = sim::ReadProfileString(file, section, key, def, buffer, size);
    if (m.recordReads)
        m.Record(std::string("read\t") + (section ? section : "") + "\t" + (key ? key : "") + "\t" +
                 (buffer && size ? std::string(buffer, n) : std::string()));
    return n;
}

UINT SetErrorMode(UINT mode) {
    sim::Machine& m = Current();
    UINT old = m.errorMode;
    m.errorMode = mode;
    return old;
}

LPSTR GetCommandLineA() { return const_cast<LPSTR>(Current().commandLine.c_str()); }

HMODULE GetModuleHandleA(LPCSTR name) { return name ? NULL : (HMODULE)(uintptr_t)0x00400000; }

DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
    const std::string& name = Current().moduleFileName;
    if (size == 0) return 0;
    DWORD n = (DWORD)name.size() < size ? (DWORD)name.size() : size - 1;
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
    return n;
}

void Sleep(DWORD ms) { Current().Advance(ms); }

DWORD GetTickCount() { return (DWORD)Current().nowMs; }

DWORD GetLastError() { return Current().lastError; }

DWORD GetCurrentThreadId() { return 1; }

UINT GetACP() { return Current().codePage; }

namespace sim {

bool IsLeadByteOf(unsigned codePage, unsigned char c) {
    switch (codePage) {
    case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950: return c >= 0x81 && c <= 0xFE;
    default: return false;
    }
}

} // namespace sim

BOOL IsDBCSLeadByte(BYTE c) { return sim::IsLeadByteOf(Current().codePage, c); }
