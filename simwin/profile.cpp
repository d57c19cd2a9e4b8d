// The host's GetPrivateProfileStringA: reads one value from INI bytes with
// the answers Wine 8 gives, as measured by tests/e2e/profile. Where Wine and
// a plausible reading differ, Wine wins, quirks included:
//  - Only the first section of a name counts; later duplicates are never read.
//    Lines before the first header form a section named "", which also
//    shadows any "[]" header.
//  - ';' and '#' lines are ordinary keys; a line without '=' is a key whose
//    value is missing, so it answers with the default.
//  - A header needs ']' after the '['; the last ']' ends the name, the rest
//    of the line is ignored. A '[' line without one is read as a key line.
//  - Names and values are trimmed of tab, VT, FF, space and 0x1A; a NUL ends
//    a name or value for comparing and copying, but only after trimming.
//  - Names compare ignoring ASCII case only.
//  - Value and default lose one matching pair of quotes; when the text with
//    its opening quote dropped is not longer than the buffer, the last copied
//    character is dropped, so "abcdef" in a buffer of 7 reads as abcde.
//  - The default loses trailing spaces, but never its first character.
//  - A UTF-8 or UTF-16 byte-order mark makes the file text of that encoding;
//    here only characters up to U+00FF come through, others read as '?'.
// Null section or key (the list forms) answer an empty list: return 0.
#include "simwin/machine.h"

#include <cstring>
#include <string>

namespace sim {
namespace {

bool IsBlank(char c) { return c == '\t' || c == '\v' || c == '\f' || c == ' ' || c == '\x1a'; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Names and values end at a NUL, as the platform's C strings do.
std::string UpToNul(const std::string& s) { return s.substr(0, s.find('\0')); }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

void PutChar(std::string& out, unsigned cp) { out += cp < 0x100 ? char(cp) : '?'; }

// Text of a file with a byte-order mark, narrowed to bytes.
std::string Decode(const std::string& raw) {
    std::string out;
    if (raw.size() >= 3 && raw.compare(0, 3, "\xef\xbb\xbf") == 0) {
        for (size_t i = 3; i < raw.size();) {
            unsigned char c = raw[i];
            int extra = c < 0x80 ? 0 : (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : -1;
            unsigned cp = extra == 0 ? c : extra == 1 ? (c & 0x1f) : extra == 2 ? (c & 0x0f) : (c & 0x07);
            size_t n = 1;
            for (int k = 0; extra > 0 && k < extra; ++k, ++n) {
                if (i + n >= raw.size() || (static_cast<unsigned char>(raw[i + n]) & 0xc0) != 0x80) { extra = -1; break; }
                cp = (cp << 6) | (static_cast<unsigned char>(raw[i + n]) & 0x3f);
            }
            PutChar(out, extra < 0 ? 0xfffd : cp);
            i += extra < 0 ? 1 : n;
        }
        return out;
    }
    bool little = static_cast<unsigned char>(raw[0]) == 0xff;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
        unsigned lo = static_cast<unsigned char>(raw[i + (little ? 0 : 1)]);
        unsigned hi = static_cast<unsigned char>(raw[i + (little ? 1 : 0)]);
        PutChar(out, hi << 8 | lo);
    }
    return out;
}

bool HasByteOrderMark(const std::string& raw) {
    return (raw.size() >= 3 && raw.compare(0, 3, "\xef\xbb\xbf") == 0) ||
           (raw.size() >= 2 && (raw.compare(0, 2, "\xff\xfe") == 0 || raw.compare(0, 2, "\xfe\xff") == 0));
}

// Finds the key's raw value; false when the key is absent or has no '='.
bool FindValue(const std::string& text, const std::string& section, const std::string& key, std::string& value) {
    bool inSection = section.empty(); // the unnamed section before any header
    bool sectionSeen = inSection;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty()) continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close != std::string::npos && close > 0) {
                if (inSection) return false; // only the first section of the name is read
                inSection = !sectionSeen && SameName(UpToNul(Trim(line.substr(1, close - 1))), section);
                sectionSeen = sectionSeen || inSection;
                continue;
            }
        }
        if (!inSection) continue;
        size_t eq = line.find('=');
        if (!SameName(UpToNul(Trim(line.substr(0, eq))), key)) continue;
        if (eq == std::string::npos) return false;
        value = UpToNul(Trim(line.substr(eq + 1)));
        return true;
    }
    return false;
}

DWORD CopyEntry(const std::string& value, char* buffer, DWORD size) {
    size_t start = 0;
    bool quoted = value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0];
    if (quoted) start = 1;
    size_t rest = value.size() - start;
    size_t n = rest < size - 1 ? rest : size - 1;
    std::memcpy(buffer, value.data() + start, n);
    if (quoted && size >= rest && n > 0) --n;
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

} // namespace

DWORD ReadProfileString(const std::string* file, const char* section, const char* key, const char* def,
                        char* buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    if (!section || !key) {
        buffer[0] = '\0';
        if (size > 1) buffer[1] = '\0';
        return 0;
    }
    std::string value;
    bool found = false;
    if (file && !file->empty()) {
        std::string decoded;
        bool bom = HasByteOrderMark(*file);
        if (bom) decoded = Decode(*file);
        found = FindValue(bom ? decoded : *file, Trim(section), Trim(key), value);
    }
    if (!found) {
        value = def ? def : "";
        size_t keep = value.size();
        while (keep > 1 && value[keep - 1] == ' ') --keep;
        value.resize(keep);
    }
    return CopyEntry(value, buffer, size);
}

} // namespace sim
