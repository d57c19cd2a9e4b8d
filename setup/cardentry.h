// One DetectCard entry of the script: "vendor,device,bus type,helper
// flag,fifth field", cut at commas as every script value is. Platform-free,
// so tests call it directly.
#pragma once

// Fields 1 and 2 as numbers, low 16 bits. false when the entry lacks either:
// such an entry matches no card.
bool ReadCardIds(const char* entry, unsigned short* vendor, unsigned short* device);

// Fields 3 and 4 of the entry that matched. The bus type is cut to 7
// characters (busType holds 8 bytes). The helper flag is 1 when field 4
// begins with the character 1. A matching entry that lacks field 3, 4 or 5
// still names a card that is there: the missing fields read as empty, which
// gives no bus type (the scanned location stands) and helper flag 0.
// Field 5 is never looked at.
void ReadCardFields(const char* entry, char* busType, unsigned busTypeSize, int* helperFlag);

// Whether the bus type selects the fixed location "000800".
bool IsAgpBusType(const char* busType);
