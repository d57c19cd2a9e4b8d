// Comma splitting of script values: a run of commas is one separator,
// leading commas are skipped, so no field is ever empty; fields are not
// trimmed (a blank after a comma belongs to the next field).
#pragma once
#include <stddef.h>

// Cuts the next field at *pos into field (cut to size less one) and moves
// *pos past the comma that ended it. Returns false, with field empty, when
// no field is left.
bool NextField(const char** pos, char* field, size_t size);
