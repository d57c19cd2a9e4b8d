// The author's reference's entry of each finding code, built into the tool
// from docs/reference.md (reference_gen.py), so that an installed pkgtool
// explains its codes without the file.
#pragma once
#include <string>
#include <vector>

struct ReferenceItem {
    const char* code;
    const char* text; // the entry below its heading: the mistake, why, Before: and After:
};
extern const ReferenceItem kReferenceItems[]; // by code
extern const unsigned kReferenceCount;

// The entry of a code; "" when the reference has none.
std::string ReferenceEntry(const std::string& code);
// Every code the reference explains, in its order.
std::vector<std::string> ReferenceCodes();
