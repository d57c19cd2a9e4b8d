#include "tools/pkgtool/disc/names.h"
#include "simwin/machine.h"
#include "tools/pkgtool/formats/codepage.h"

#include <cstdint>
#include <vector>

namespace pkgdisc {
namespace {

// Decodes one UTF-8 character at s[i]; advances i. Returns 0xFFFD for bytes
// that are no UTF-8, and for characters beyond UCS-2 (Joliet holds UCS-2).
uint32_t Next(const std::string& s, size_t& i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || (extra > 0 && i + extra >= s.size())) {
        ++i;
        return 0xFFFD;
    }
    uint32_t v = extra ? c & (0x3F >> extra) : c;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        v = v << 6 | (d & 0x3F);
    }
    i += extra + 1;
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    return v < kMin[extra] || v > 0xFFFF || (v >= 0xD800 && v <= 0xDFFF) ? 0xFFFD : v;
}

bool Refused(uint32_t c) {
    return c < 0x20 || c == '*' || c == '/' || c == ':' || c == ';' || c == '?' || c == '\\' || c == 0xFFFD;
}

} // namespace

std::string JolietRefused(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const size_t start = i;
        const uint32_t c = Next(name, i);
        if (!Refused(c)) continue;
        const std::string shown = c == 0xFFFD ? "\xEF\xBF\xBD" : c < 0x20 ? "^" + std::string(1, char('@' + c))
                                                                           : name.substr(start, i - start);
        if (out.find(shown) == std::string::npos) out += shown;
    }
    return out;
}

size_t Ucs2Length(const std::string& name) {
    size_t n = 0;
    for (size_t i = 0; i < name.size(); ++n) Next(name, i);
    return n;
}

std::string SameNameKey(const std::string& name) {
    std::string key;
    size_t n = 0;
    for (size_t i = 0; i < name.size() && n < kJolietNameMax; ++n) {
        const size_t start = i;
        const uint32_t c = Next(name, i);
        if (Refused(c))
            key += '_';
        else if (c >= 'A' && c <= 'Z')
            key += char(c - 'A' + 'a');
        else
            key += name.substr(start, i - start);
    }
    return key;
}

std::string NameOnDisc(const std::string& diskName) {
    bool ascii = true;
    for (unsigned char c : diskName) ascii = ascii && c < 0x80;
    if (ascii || pkgcheck::LooksLikeUtf8(diskName)) return diskName;
    return pkgcheck::RenderInCodePage(diskName, int(sim::Current().codePage));
}

std::string PathOnDisc(const std::string& diskPath) { return pkgcheck::EachPathPart(diskPath, NameOnDisc); }

std::string LabelProblem(const std::string& label) {
    if (label.empty()) return "the label is empty";
    if (label.size() > kLabelMax)
        return "the label has " + std::to_string(label.size()) + " characters; a FAT label holds 11, and no source of "
               "the time says how much of a longer CD label Windows 95, 98 and NT 4.0 show";
    for (char c : label)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return "the label holds " + std::string(1, c) + "; the ISO 9660 label takes only A-Z, 0-9 and _ "
                   "(d-characters, ECMA-119 7.4.1)";
    return "";
}

std::string LabelFromName(const std::string& name) {
    std::string label;
    for (char c : name) {
        if (label.size() == kLabelMax) break;
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        label += (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '_';
    }
    return label.empty() ? "CDROM" : label;
}

} // namespace pkgdisc
