// Our own start-up for the shipped binaries: no C runtime DLL is imported,
// since Windows 95 does not always have one. It provides what GCC's output
// needs (global constructors, atexit for their destructors, operator new and
// delete on the process heap) and enters the application shell.
#include "framework/app.h"

#include <new>

typedef void (*Function)();
extern "C" Function __CTOR_LIST__[];

enum { kMaxExitFunctions = 64 };
static Function g_exitFunctions[kMaxExitFunctions];
static int g_exitCount;

extern "C" int atexit(Function f) {
    if (g_exitCount >= kMaxExitFunctions) return -1;
    g_exitFunctions[g_exitCount++] = f;
    return 0;
}

extern "C" void __main() {}
extern "C" void __cxa_pure_virtual() { ExitProcess(255); }

static void RunConstructors() {
    // The list starts with -1 (or a count) and ends with 0; libgcc runs the
    // entries from last to first, and so do we.
    int n = 1;
    while (__CTOR_LIST__[n]) ++n;
    for (int i = n - 1; i >= 1; --i) __CTOR_LIST__[i]();
}

extern "C" void WinMainCRTStartup() {
    RunConstructors();
    int code = AfxWinMain();
    while (g_exitCount > 0) g_exitFunctions[--g_exitCount]();
    ExitProcess((UINT)code);
}

void* operator new(unsigned int size) { return HeapAlloc(GetProcessHeap(), 0, size ? size : 1); }
void* operator new[](unsigned int size) { return HeapAlloc(GetProcessHeap(), 0, size ? size : 1); }
// The form the programs use: GCC assumes that a plain new never gives
// null, and drops a check of its result; this one may, and is checked.
namespace std {
const nothrow_t nothrow{};
}
void* operator new(unsigned int size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}
void operator delete(void* p) { if (p) HeapFree(GetProcessHeap(), 0, p); }
void operator delete[](void* p) { if (p) HeapFree(GetProcessHeap(), 0, p); }
void operator delete(void* p, unsigned int) { if (p) HeapFree(GetProcessHeap(), 0, p); }
void operator delete[](void* p, unsigned int) { if (p) HeapFree(GetProcessHeap(), 0, p); }
