#include "framework/cmdline.h"

static bool IsBlankOrControl(char c) {
    return (unsigned char)c <= ' ';
}

const char* SkipProgramName(const char* p) {
    if (!p) return "";
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && !IsBlankOrControl(*p)) ++p;
    }
    while (*p && IsBlankOrControl(*p)) ++p;
    return p;
}
