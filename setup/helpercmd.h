// The command line of the Windows 95/98 install helper.
#pragma once
#include <stddef.h>

// "fitter16.exe Enum\PCI\<device key> <location> <OS directory> <flag>",
// nothing quoted. FALSE, with nothing written, when it would not fit size.
bool FormatHelperCommandLine(char* out, size_t size, const char* deviceKey, const char* location,
                             const char* osDirectory, int helperFlag);
