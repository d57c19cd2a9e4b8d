#include "tools/pkgtool/formats/inftext.h"
#include "tools/pkgtool/formats/infrules.h"

#include <algorithm>

namespace pkgcheck {

std::string InfLower(std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    return s;
}

std::string InfTrim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\x1a"), e = s.find_last_not_of(" \t\r\x1a");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

InfMark InfMarkOf(const std::string& raw) {
    if (raw.compare(0, 3, "\xef\xbb\xbf") == 0) return InfMark::kUtf8;
    if (raw.compare(0, 2, "\xff\xfe") == 0 || raw.compare(0, 2, "\xfe\xff") == 0) return InfMark::kUtf16;
    return InfMark::kNone;
}

std::string InfNarrow(const std::string& raw, bool dropUtf8Mark) {
    const InfMark mark = InfMarkOf(raw);
    if (mark == InfMark::kUtf8) return dropUtf8Mark ? raw.substr(3) : raw;
    if (mark != InfMark::kUtf16) return raw;
    const bool little = raw[0] == '\xff';
    std::string out;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
        const char lo = raw[i + (little ? 0 : 1)], hi = raw[i + (little ? 1 : 0)];
        out += hi ? '?' : lo;
    }
    return out;
}

namespace {

// Logical lines: a ';' outside quotes starts a comment, and a backslash
// that ends a line (after its comment is gone) joins the next one.
std::vector<InfLine> LogicalLines(const std::string& text) {
    std::vector<InfLine> lines;
    InfLine current;
    bool continued = false;
    int number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        ++number;
        std::string kept;
        bool quoted = false;
        for (size_t i = pos; i < end; ++i) {
            const char c = text[i];
            if (c == '"') quoted = !quoted; // "" inside quotes toggles twice: a literal quote
            if (c == ';' && !quoted) break;
            kept += c;
        }
        pos = end + 1;
        kept = InfTrim(kept);
        if (!continued) current = InfLine{number, ""};
        continued = !kept.empty() && kept.back() == '\\';
        if (continued) kept.pop_back();
        current.text += kept.substr(0, kMaxInfString - std::min(kMaxInfString, current.text.size()));
        if (!continued) lines.push_back(current);
    }
    if (continued) lines.push_back(current);
    return lines;
}

} // namespace

std::vector<std::string> InfFields(const std::string& value) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '"') {
            if (quoted && i + 1 < value.size() && value[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (std::string& f : fields) f = InfTrim(f);
    return fields;
}

void InfSplit(const std::string& text, std::string& key, std::string& value, bool& hasEquals) {
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (text[i] == '=' && !quoted) {
            key = InfTrim(text.substr(0, i));
            value = InfTrim(text.substr(i + 1));
            hasEquals = true;
            return;
        }
    }
    key = InfTrim(text);
    value.clear();
    hasEquals = false;
}

InfText::InfText(const std::string& text, const InfRules* rules) {
    std::string current;
    sections_[current];
    for (const InfLine& l : LogicalLines(text)) {
        if (l.text.empty()) continue;
        if (l.text[0] == '[') {
            size_t close = l.text.find(']');
            std::string name = InfTrim(l.text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            current = InfLower(name);
            InfSection& s = sections_[current]; // an empty section still exists
            if (!s.line) s.line = l.number, s.name = name;
            continue;
        }
        sections_[current].lines.push_back(l); // sections of one name are one section
    }
    LoadStrings(!rules || rules->readsLocalizedStrings);
}

const InfSection* InfText::Find(const std::string& name) const {
    auto it = sections_.find(InfLower(InfTrim(name)));
    return it == sections_.end() ? nullptr : &it->second;
}

std::string InfText::Substitute(const std::string& s, std::vector<std::string>* unresolved) const {
    std::string out;
    for (size_t i = 0; i < s.size() && out.size() < kMaxInfString; ++i) {
        size_t close = s[i] == '%' ? s.find('%', i + 1) : std::string::npos;
        if (close == std::string::npos) {
            out += s[i];
            continue;
        }
        std::string name = s.substr(i + 1, close - i - 1);
        auto it = strings_.find(InfLower(name));
        if (!name.empty() && it == strings_.end() && unresolved) unresolved->push_back(name);
        out += name.empty() ? "%" : it != strings_.end() ? it->second : "%" + name + "%";
        i = close;
    }
    return out.substr(0, kMaxInfString);
}

bool InfText::Value(const std::string& section, const std::string& key, std::string& value, int& line) const {
    const InfSection* s = Find(section);
    for (size_t i = 0; s && i < s->lines.size(); ++i) {
        std::string k, v;
        bool eq = false;
        InfSplit(s->lines[i].text, k, v, eq);
        if (!eq || InfLower(k) != key) continue;
        value = InfFields(v)[0];
        line = s->lines[i].number;
        return true;
    }
    return false;
}

void InfText::LoadStrings(bool localized) {
    // [Strings] first; a localised [Strings.LLLL] only where it is missing.
    std::vector<const InfSection*> order;
    if (const InfSection* s = Find("strings")) order.push_back(s);
    for (const auto& kv : sections_)
        if (localized && kv.first.compare(0, 8, "strings.") == 0) order.push_back(&kv.second);
    for (const InfSection* s : order)
        for (const InfLine& l : s->lines) {
            std::string key, value;
            bool eq = false;
            InfSplit(l.text, key, value, eq);
            std::vector<std::string> f = InfFields(value);
            if (eq) strings_.emplace(InfLower(InfFields(key)[0]), f[0]);
        }
}

std::vector<std::string> InfText::ModelsSections(const InfLine& m, bool readsDecorated) const {
    std::string key, value;
    bool eq = false;
    InfSplit(m.text, key, value, eq);
    std::vector<std::string> f = InfFields(Substitute(eq ? value : key));
    std::vector<std::string> models{f[0]};
    for (size_t i = 1; i < f.size() && readsDecorated; ++i) models.push_back(f[0] + "." + f[i]);
    return models;
}

} // namespace pkgcheck
