#include "setup/cardentry.h"
#include "framework/fields.h"
#include "framework/text.h"
#include "setup/decimal.h"

bool ReadCardIds(const char* entry, unsigned short* vendor, unsigned short* device) {
    char field[256];
    const char* pos = entry;
    if (!NextField(&pos, field, sizeof field)) return false;
    *vendor = (unsigned short)(ReadSignedDecimal(field) & 0xFFFF);
    if (!NextField(&pos, field, sizeof field)) return false;
    *device = (unsigned short)(ReadSignedDecimal(field) & 0xFFFF);
    return true;
}

void ReadCardFields(const char* entry, char* busType, unsigned busTypeSize, int* helperFlag) {
    char field[256];
    const char* pos = entry;
    NextField(&pos, field, sizeof field);
    NextField(&pos, field, sizeof field);
    NextField(&pos, field, sizeof field); // empty when missing
    CopyText(busType, busTypeSize, field);
    NextField(&pos, field, sizeof field);
    *helperFlag = field[0] == '1' ? 1 : 0;
}

bool IsAgpBusType(const char* busType) {
    return EqualNoCase(busType, "AGP");
}
