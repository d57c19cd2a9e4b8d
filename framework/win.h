// The one place that decides where the Win32 API comes from: the real
// headers when we build the shipped binaries, the simulated PC otherwise.
// Program code includes this and nothing else for platform calls.
#pragma once
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include "simwin/windows.h"
#endif
