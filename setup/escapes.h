// The two escapes of a script message: backslash-n becomes CR LF and
// backslash-t a tab, lower case only; there is no escape for the backslash.
#pragma once
#include <stddef.h>

// Rewrites text in place. Neither escape makes the text longer, so it always fits.
void ExpandMessageEscapes(char* text);
