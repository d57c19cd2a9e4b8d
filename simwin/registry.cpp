// advapi32 of the simulated PC: the registry under HKEY_LOCAL_MACHINE, read
// only, answering as Win32 does (sizes, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS).
#include "simwin/machine.h"
#include <cstring>
#include <iterator>
#include <map>

namespace {

struct OpenKey {
    sim::Machine* machine;
    sim::RegKey* key;
};

// Handles are process-wide numbers; each remembers the machine it belongs
// to, so that a handle of one machine is invalid on another.
std::map<uintptr_t, OpenKey> g_open;
uintptr_t g_nextHandle = 0x1000;

const LONG kInvalidParameter = 87; // ERROR_INVALID_PARAMETER

sim::RegKey* Resolve(HKEY key) {
    sim::Machine& m = sim::Current();
    if (key == HKEY_LOCAL_MACHINE) return &m.localMachine;
    auto it = g_open.find((uintptr_t)key);
    if (it == g_open.end() || it->second.machine != &m) return nullptr;
    return it->second.key;
}

sim::RegKey* Walk(sim::RegKey* from, const char* path) {
    std::string part;
    for (const char* p = path;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!part.empty()) {
                auto it = from->subkeys.find(part);
                if (it == from->subkeys.end()) return nullptr;
                from = &it->second;
                part.clear();
            }
            if (*p == '\0') return from;
        } else {
            part += *p;
        }
    }
}

} // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (!result) return kInvalidParameter;
    *result = nullptr;
    sim::RegKey* from = Resolve(key);
    if (!from) return ERROR_INVALID_HANDLE;
    sim::RegKey* target = Walk(from, subKey ? subKey : "");
    if (sim::Current().recordReads && key == HKEY_LOCAL_MACHINE)
        sim::Current().Record(std::string("registry open\t") + (subKey ? subKey : ""));
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (target->openFails) return ERROR_ACCESS_DENIED;
    // A user without administrator rights may read, nothing more.
    if (target->adminOnlyFullAccess && (access & ~(REGSAM)KEY_READ) != 0) return ERROR_ACCESS_DENIED;
    sim::Machine& m = sim::Current();
    uintptr_t handle = g_nextHandle;
    g_nextHandle += 4;
    g_open[handle] = OpenKey{&m, target};
    ++m.openRegistryKeys;
    *result = (HKEY)handle;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    auto it = g_open.find((uintptr_t)key);
    if (it == g_open.end() || it->second.machine != &sim::Current()) return ERROR_INVALID_HANDLE;
    g_open.erase(it);
    --sim::Current().openRegistryKeys;
    return ERROR_SUCCESS;
}

// nameSize: the buffer's size in characters on entry; the name's length
// without terminator on success. A name that does not fit writes nothing.
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR className,
                   LPDWORD classSize, PFILETIME lastWrite) {
    sim::RegKey* k = Resolve(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (!name || !nameSize) return kInvalidParameter;
    if (index >= k->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = k->subkeys.begin();
    std::advance(it, index);
    const std::string& n = it->first;
    if (n.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, n.c_str(), n.size() + 1);
    *nameSize = (DWORD)n.size();
    if (className && classSize && *classSize) className[0] = '\0';
    if (classSize) *classSize = 0;
    if (lastWrite) *lastWrite = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

// dataSize: the buffer's size on entry, the value's size on return, also
// when it did not fit (ERROR_MORE_DATA, nothing written).
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    sim::RegKey* k = Resolve(key);
    if (!k) return ERROR_INVALID_HANDLE;
    if (data && !dataSize) return kInvalidParameter;
    auto it = k->values.find(valueName ? valueName : "");
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    const sim::RegValue& v = it->second;
    if (type) *type = v.type;
    DWORD need = (DWORD)v.data.size();
    LONG rc = ERROR_SUCCESS;
    if (data) {
        if (*dataSize < need)
            rc = ERROR_MORE_DATA;
        else
            std::memcpy(data, v.data.data(), need);
    }
    if (dataSize) *dataSize = need;
    return rc;
}
