#include "tools/pkgtool/formats/inifile.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "simwin/machine.h"

#include <fstream>
#include <sstream>

namespace pkgcheck {
namespace {

bool IsBlank(char c) { return c == '\t' || c == '\v' || c == '\f' || c == ' ' || c == '\x1a'; }

std::string UpToNul(const std::string& s) { return s.substr(0, s.find('\0')); }

// The scan works on the text the reader sees: a UTF-8 mark is dropped and
// UTF-16 narrowed, so that line numbers stay right for such files too.
std::string Narrow(const std::string& raw) {
    if (raw.compare(0, 3, "\xef\xbb\xbf") == 0) return raw.substr(3);
    bool little = raw.compare(0, 2, "\xff\xfe") == 0;
    if (!little && raw.compare(0, 2, "\xfe\xff") != 0) return raw;
    std::string out;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
        unsigned char lo = raw[i + (little ? 0 : 1)], hi = raw[i + (little ? 1 : 0)];
        out += hi ? '?' : char(lo);
    }
    return out;
}

} // namespace

std::string TrimBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// The second byte of a double-byte character has no letter case, though it
// may be the byte of an ASCII letter: ア (0x83 0x41) is not ツ (0x83 0x61).
bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    const unsigned page = sim::Current().codePage;
    for (size_t i = 0; i < a.size(); ++i) {
        if (sim::IsLeadByteOf(page, (unsigned char)a[i]) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] + 32) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] + 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

std::string FoldedName(const std::string& s) {
    std::string f = TrimBlanks(s);
    const unsigned page = sim::Current().codePage;
    for (size_t i = 0; i < f.size(); ++i) {
        if (sim::IsLeadByteOf(page, (unsigned char)f[i])) ++i;
        else if (f[i] >= 'A' && f[i] <= 'Z') f[i] = char(f[i] + 32);
    }
    return f;
}

bool IniFile::Load(const std::string& path) {
    std::string bytes;
    if (!ReadRegularFile(path, std::string().max_size(), bytes)) return false;
    SetText(bytes);
    return true;
}

void IniFile::SetText(const std::string& bytes) {
    bytes_ = bytes;
    unmarked_ = bytes.compare(0, 3, "\xef\xbb\xbf") == 0 ? bytes.substr(3) : std::string();
    // A second mark is text to every reader, and the profile reader would
    // take it for the mark: past it the file is read as it always was.
    readsUnmarked_ = bytes.compare(0, 3, "\xef\xbb\xbf") == 0 && unmarked_.compare(0, 3, "\xef\xbb\xbf") != 0 &&
                     unmarked_.compare(0, 2, "\xff\xfe") != 0 && unmarked_.compare(0, 2, "\xfe\xff") != 0;
    mark_ = bytes.compare(0, 3, "\xef\xbb\xbf") == 0                                       ? TextMark::kUtf8
            : bytes.compare(0, 2, "\xff\xfe") == 0 || bytes.compare(0, 2, "\xfe\xff") == 0 ? TextMark::kUtf16
                                                                                          : TextMark::kNone;
    sections_.assign(1, IniSection());
    badHeaders_.clear();
    std::string text = Narrow(bytes);
    int line = 1;
    size_t pos = 0;
    while (pos < text.size()) {
        // The reader ends a line at CR or LF; CR LF counts as one line here.
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string raw = TrimBlanks(text.substr(pos, end - pos));
        int number = line;
        pos = end;
        if (pos < text.size()) {
            if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
            ++pos;
            ++line;
        }
        if (raw.empty() || raw[0] == ';') continue;
        if (raw[0] == '[') {
            size_t close = raw.rfind(']');
            if (close != std::string::npos && close > 0) {
                IniSection s;
                s.line = number;
                s.name = UpToNul(TrimBlanks(raw.substr(1, close - 1)));
                sections_.push_back(s);
                continue;
            }
            badHeaders_.push_back({number, raw});
        }
        size_t eq = raw.find('=');
        IniKey k;
        k.line = number;
        k.name = UpToNul(TrimBlanks(raw.substr(0, eq)));
        k.hasEquals = eq != std::string::npos;
        sections_.back().keys.push_back(k);
    }
}

std::string IniFile::Read(const std::string& section, const std::string& key, size_t size) const {
    std::vector<char> buffer(size + 1);
    // The targets read a UTF-8 file byte for byte, not decoded as Wine's
    // reader does; what the mark itself costs is the byte-order-mark finding's.
    sim::ReadProfileString(readsUnmarked_ ? &unmarked_ : &bytes_, section.c_str(), key.c_str(), "", buffer.data(), DWORD(size));
    return buffer.data();
}

std::string IniFile::ReadWhole(const std::string& section, const std::string& key) const {
    return Read(section, key, bytes_.size() + 2);
}

const IniSection* IniFile::FindSection(const std::string& name) const {
    std::string wanted = TrimBlanks(name);
    // The lines before the first header answer for the name "", and shadow
    // any "[]" header, as in the reader.
    for (const IniSection& s : sections_)
        if (SameName(s.name, wanted)) return &s;
    return nullptr;
}

int IniFile::KeyLine(const std::string& section, const std::string& key) const {
    const IniSection* s = FindSection(section);
    if (!s) return 0;
    std::string wanted = TrimBlanks(key);
    for (const IniKey& k : s->keys)
        if (SameName(k.name, wanted)) return k.line;
    return 0;
}

} // namespace pkgcheck
