// Bounded text helpers for the fixed-size buffers of the programs. Every
// copy is cut to the destination's size less one, as the profile reader cuts
// values, and tells whether the whole text fitted.
#pragma once
#include <stddef.h>

size_t TextLength(const char* text);
void ClearBytes(void* p, size_t n);
bool CopyText(char* dest, size_t size, const char* src);
bool CopyTextN(char* dest, size_t size, const char* src, size_t count);
bool AppendText(char* dest, size_t size, const char* src);

// Exact comparison, case counting.
bool EqualText(const char* a, const char* b);
// ASCII letters compared without regard to case, everything else exactly.
bool EqualNoCase(const char* a, const char* b);
// The first TextLength(prefix) characters of text equal prefix (ASCII case
// ignored); a text shorter than the prefix does not match.
bool StartsWithNoCase(const char* text, const char* prefix);
// The text begins with prefix, case counting; an empty prefix always matches.
bool StartsWithText(const char* text, const char* prefix);
// Case-sensitive substring search; NULL when absent. An empty needle is found at the start.
const char* FindText(const char* haystack, const char* needle);
