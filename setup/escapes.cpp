#include "setup/escapes.h"
#include "framework/chars.h"

// One pass per escape, all backslash-n first: a replacement never holds a
// backslash, so a left-to-right pass finds exactly what repeated searches
// from the start would.
static void ReplacePass(char* text, char letter, const char* replacement) {
    char* out = text;
    for (const char* in = text; *in;) {
        if (in[0] == '\\' && in[1] == letter) {
            for (const char* r = replacement; *r; ++r) *out++ = *r;
            in += 2;
        } else {
            // The second byte of a double-byte character is no backslash.
            for (const char* next = NextChar(in); in < next;) *out++ = *in++;
        }
    }
    *out = '\0';
}

void ExpandMessageEscapes(char* text) {
    ReplacePass(text, 'n', "\r\n");
    ReplacePass(text, 't', "\t");
}
