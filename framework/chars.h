// Characters of the ANSI code page. On a double-byte code page (Japanese,
// Chinese and Korean Windows) a lead byte and the byte after it are one
// character, and that second byte may be 0x5C, the backslash, or any other
// ASCII punctuation: searches must step by characters, never by bytes.
// On a single-byte code page every byte is a character.
#pragma once
#include <stddef.h>

// The character after the one at p; never past the terminator.
const char* NextChar(const char* p);
// The last of the length bytes of text is a backslash character of its own.
bool EndsWithBackslash(const char* text, size_t length);
// FindText that matches only where a character begins.
const char* FindTextAtChar(const char* haystack, const char* needle);
