#include "tools/pkgtool/report/reference.h"

std::string ReferenceEntry(const std::string& code) {
    for (unsigned i = 0; i < kReferenceCount; ++i)
        if (code == kReferenceItems[i].code) return kReferenceItems[i].text;
    return "";
}

std::vector<std::string> ReferenceCodes() {
    std::vector<std::string> codes;
    for (unsigned i = 0; i < kReferenceCount; ++i) codes.push_back(kReferenceItems[i].code);
    return codes;
}
