#include "framework/chars.h"
#include "framework/text.h"
#include "framework/win.h"

const char* NextChar(const char* p) {
    if (!*p) return p;
    if (IsDBCSLeadByte((BYTE)*p) && p[1]) return p + 2;
    return p + 1;
}

bool EndsWithBackslash(const char* text, size_t length) {
    if (length == 0) return false;
    const char* end = text + length;
    const char* last = text;
    for (const char* p = text; p < end && *p; p = NextChar(p)) last = p;
    return last == end - 1 && *last == '\\';
}

const char* FindTextAtChar(const char* haystack, const char* needle) {
    for (const char* p = haystack; ; p = NextChar(p)) {
        if (StartsWithText(p, needle)) return p;
        if (!*p) return NULL;
    }
}
