// Host side of program-scope objects: registration, and running one program
// of this test process as a fresh process of the simulated PC.
#pragma once
#include <new>
#include <stddef.h>

typedef void (*HostConstruct)(void*);
typedef void (*HostDestroy)(void*);

struct HostProgramState {
    HostProgramState(void* object, size_t size, HostConstruct construct, HostDestroy destroy);
    void* object;
    size_t size;
    HostConstruct construct;
    HostDestroy destroy;
    HostProgramState* next;
};

struct HostApplication {
    HostApplication(const char* name, void* object, size_t size, HostConstruct construct, HostDestroy destroy);
    const char* name;
    void* object;
    size_t size;
    HostConstruct construct;
    HostDestroy destroy;
    HostApplication* next;
};

// Runs the program registered under name (case-insensitive) against the
// current simulated PC: program state reset, application object rebuilt on
// zeroed storage, start-up as on Windows. Returns the process exit code, or
// -1 when no such program is linked in.
int HostRunProgram(const char* name);
