// How the bytes of a script look on a Windows with a given ANSI code page.
// Scripts hold bytes, not characters: the programs hand them to the system
// as they are, and the system shows them in its own code page.
#pragma once
#include <string>

namespace pkgcheck {

// The code page is one the tool can render (1252, 932, 936, 949, 950, ...).
bool IsKnownCodePage(int codePage);

// bytes as that Windows shows them, as UTF-8 for the terminal. A byte the
// code page does not define shows as U+FFFD; *valid (if given) tells
// whether there was none.
std::string RenderInCodePage(const std::string& bytes, int codePage, bool* valid = nullptr);

// The byte begins a two-byte character in that code page (Japanese,
// Chinese and Korean Windows); its second byte may be a backslash.
bool IsLeadByte(int codePage, unsigned char c);

// bytes hold at least one multi-byte UTF-8 sequence and are valid UTF-8
// throughout: text saved by a modern editor, not by one of that time.
bool LooksLikeUtf8(const std::string& bytes);

} // namespace pkgcheck
