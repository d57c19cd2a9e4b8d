#include "setup/helpercmd.h"
#include "framework/text.h"
#include "framework/win.h"

static size_t DecimalLength(int n) {
    unsigned long v = n < 0 ? 0ul - (unsigned long)n : (unsigned long)n;
    size_t digits = n < 0 ? 2 : 1;
    while (v >= 10) {
        v /= 10;
        ++digits;
    }
    return digits;
}

bool FormatHelperCommandLine(char* out, size_t size, const char* deviceKey, const char* location,
                             const char* osDirectory, int helperFlag) {
    static const char kFormat[] = "fitter16.exe Enum\\PCI\\%s %s %s %d";
    size_t fixed = sizeof "fitter16.exe Enum\\PCI\\" - 1 + 3; // and three blanks
    size_t length = fixed + TextLength(deviceKey) + TextLength(location) + TextLength(osDirectory) +
                    DecimalLength(helperFlag);
    // wsprintfA knows no bounds but its own 1024 bytes: measure first.
    if (length + 1 > size) return false;
    wsprintfA(out, kFormat, deviceKey, location, osDirectory, helperFlag);
    return true;
}
