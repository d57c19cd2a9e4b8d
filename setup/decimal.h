// Numbers of script values: signed decimal integers read up to the first
// non-digit. Platform-free, so tests call it directly.
#pragma once

// Leading white space is skipped, one optional sign taken, then digits up to
// the first other character; no digits read as 0. Hexadecimal is not read
// (12AB is 12, 0x12AB is 0). Values beyond 32 bits wrap modulo 2^32 instead
// of overflowing: callers only use the low 16 bits.
int ReadSignedDecimal(const char* text);
