// Program-scope objects. On Windows each process starts with them freshly
// constructed on zeroed static storage. The host runs many programs in one
// test process, so there each run zeroes and constructs them again before
// the program starts, giving every run the same start as a new process.
#pragma once
#include "framework/app.h"

#ifdef _WIN32
#define PROGRAM_STATE(Type, name) Type name
#define IMPLEMENT_APPLICATION(Type, name, programName) Type name
#else
#include "framework/host_program.h"
#define PROGRAM_STATE(Type, name)                                                  \
    Type name;                                                                     \
    static HostProgramState hostState_##name(&name, sizeof(Type),                  \
                                             [](void* p) { new (p) Type(); },      \
                                             [](void* p) { ((Type*)p)->~Type(); })
#define IMPLEMENT_APPLICATION(Type, name, programName)                             \
    Type name;                                                                     \
    static HostApplication hostApp_##name(programName, &name, sizeof(Type),        \
                                          [](void* p) { new (p) Type(); },         \
                                          [](void* p) { ((Type*)p)->~Type(); })
#endif
