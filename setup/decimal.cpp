#include "setup/decimal.h"

static bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int ReadSignedDecimal(const char* text) {
    while (IsBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    unsigned int value = 0; // unsigned, so that long digit runs wrap instead of being undefined
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + (unsigned int)(*text - '0');
    if (negative) value = 0u - value;
    return (int)value;
}
