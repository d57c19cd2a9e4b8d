// Path-token replacement in script values ("[CWD]" and the like).
#pragma once
#include <stddef.h>

// Replaces every occurrence of token in value (case-sensitive, leftmost
// first, only where a character begins) by replacement. Inserted text is never searched again, so a
// replacement that itself contains the token cannot make the work endless.
// The result must fit value's size and the 511 characters of the work
// buffer: when it would not, value is left as it was and false is returned;
// a caller then refuses the value rather than use a cut path.
bool ExpandToken(char* value, size_t size, const char* token, const char* replacement);
