#include "framework/tokens.h"
#include "framework/chars.h"
#include "framework/text.h"

bool ExpandToken(char* value, size_t size, const char* token, const char* replacement) {
    size_t tokenLength = TextLength(token);
    if (tokenLength == 0 || !FindTextAtChar(value, token)) return true;
    char work[512];
    size_t limit = size < sizeof work ? size : sizeof work;
    size_t n = 0;
    const char* p = value;
    while (*p) {
        const char* hit = FindTextAtChar(p, token);
        const char* end = hit ? hit : p + TextLength(p);
        for (; p < end; ++p) {
            if (n + 1 >= limit) return false;
            work[n++] = *p;
        }
        if (!hit) break;
        for (const char* r = replacement; *r; ++r) {
            if (n + 1 >= limit) return false;
            work[n++] = *r;
        }
        p = hit + tokenLength;
    }
    work[n] = '\0';
    CopyText(value, size, work);
    return true;
}
