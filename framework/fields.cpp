#include "framework/fields.h"

bool NextField(const char** pos, char* field, size_t size) {
    const char* p = *pos;
    while (*p == ',') ++p;
    const char* start = p;
    size_t n = 0;
    for (; *p && *p != ','; ++p)
        if (n + 1 < size) field[n++] = *p;
    if (size) field[n] = '\0';
    bool found = p != start;
    if (*p == ',') ++p;
    *pos = p;
    return found;
}
