#include "tools/pkgtool/report/reference.h"

std::string ReferenceEntry(const std::string& code) {
    for (unsigned i = 0; i < kReferenceCount; ++i)
        if (code == kReferenceItems[i].code) return kReferenceItems[i].text;
    return "";
}

// "    After:  x" and the lines indented under it, without the indent.
std::string ReferenceFix(const std::string& code) {
    const std::string entry = ReferenceEntry(code);
    const size_t at = entry.find("After:");
    if (at == std::string::npos) return "";
    const size_t indent = entry.rfind('\n', at) == std::string::npos ? at : at - entry.rfind('\n', at) - 1;
    std::string fix;
    size_t line = at + 6;
    for (bool first = true;; first = false) {
        size_t end = entry.find('\n', line);
        std::string text = entry.substr(line, end == std::string::npos ? std::string::npos : end - line);
        if (!first) {
            // A following line belongs to the example while it is indented past "After:".
            if (text.size() <= indent + 6 || text.find_first_not_of(' ') < indent + 6) break;
        }
        const size_t from = text.find_first_not_of(' ');
        fix += (first ? "" : "\n") + (from == std::string::npos ? std::string() : text.substr(from));
        if (end == std::string::npos) break;
        line = end + 1;
    }
    return fix;
}

std::vector<std::string> ReferenceCodes() {
    std::vector<std::string> codes;
    for (unsigned i = 0; i < kReferenceCount; ++i) codes.push_back(kReferenceItems[i].code);
    return codes;
}
