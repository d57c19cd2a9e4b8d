#include "framework/text.h"

size_t TextLength(const char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

void ClearBytes(void* p, size_t n) {
    unsigned char* b = (unsigned char*)p;
    while (n--) *b++ = 0;
}

bool CopyTextN(char* dest, size_t size, const char* src, size_t count) {
    if (size == 0) return false;
    size_t n = 0;
    while (n < count && src[n] && n + 1 < size) {
        dest[n] = src[n];
        ++n;
    }
    dest[n] = '\0';
    return n == count || !src[n];
}

bool CopyText(char* dest, size_t size, const char* src) {
    return CopyTextN(dest, size, src, (size_t)-1);
}

bool AppendText(char* dest, size_t size, const char* src) {
    size_t used = 0;
    while (used < size && dest[used]) ++used;
    if (used >= size) return false;
    return CopyText(dest + used, size - used, src);
}

static char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool EqualText(const char* a, const char* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

bool EqualNoCase(const char* a, const char* b) {
    while (*a && Lower(*a) == Lower(*b)) {
        ++a;
        ++b;
    }
    return Lower(*a) == Lower(*b);
}

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++prefix, ++text)
        if (!*text || Lower(*text) != Lower(*prefix)) return false;
    return true;
}

bool StartsWithText(const char* text, const char* prefix) {
    for (; *prefix; ++prefix, ++text)
        if (*text != *prefix) return false;
    return true;
}

const char* FindText(const char* haystack, const char* needle) {
    for (; ; ++haystack) {
        const char* h = haystack;
        const char* n = needle;
        while (*n && *h == *n) {
            ++h;
            ++n;
        }
        if (!*n) return haystack;
        if (!*haystack) return NULL;
    }
}
