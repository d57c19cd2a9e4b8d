#include "tools/pkgtool/formats/inffile.h"

#include <algorithm>
#include <map>
#include <set>

namespace pkgcheck {
namespace {

// The system's setup cuts every string at 4096 characters; the cut also
// bounds what [Strings] substitution can make of a hostile file.
const size_t kMaxString = 4096;

struct Line {
    int number = 0;
    std::string text; // comment removed, continuation joined, quotes kept
};

struct Section {
    std::vector<Line> lines;
};

std::string Lower(std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\x1a"), e = s.find_last_not_of(" \t\r\x1a");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// UTF-16 INF files (with their mark) are narrowed; a UTF-8 mark is dropped.
std::string Narrow(const std::string& raw) {
    if (raw.compare(0, 3, "\xef\xbb\xbf") == 0) return raw.substr(3);
    if (raw.compare(0, 2, "\xff\xfe") != 0) return raw;
    std::string out;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) out += raw[i + 1] ? '?' : raw[i];
    return out;
}

// Logical lines: a ';' outside quotes starts a comment, and a backslash
// that ends a line (after its comment is gone) joins the next one.
std::vector<Line> LogicalLines(const std::string& text) {
    std::vector<Line> lines;
    Line current;
    bool continued = false;
    int number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        ++number;
        std::string raw = text.substr(pos, end - pos);
        pos = end + 1;
        std::string kept;
        bool quoted = false;
        for (char c : raw) {
            if (c == '"') quoted = !quoted; // "" inside quotes toggles twice: a literal quote
            if (c == ';' && !quoted) break;
            kept += c;
        }
        kept = Trim(kept);
        if (!continued) current = Line{number, ""};
        continued = !kept.empty() && kept.back() == '\\';
        if (continued) kept.pop_back();
        current.text += kept.substr(0, kMaxString - std::min(kMaxString, current.text.size()));
        if (!continued) lines.push_back(current);
    }
    if (continued) lines.push_back(current);
    return lines;
}

// The fields of a value: cut at commas outside quotes, trimmed, quotes
// removed ("" inside quotes is one quote).
std::vector<std::string> Fields(const std::string& value) {
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
    for (std::string& f : fields) f = Trim(f);
    return fields;
}

class Inf {
public:
    explicit Inf(const std::string& bytes) {
        std::string current;
        for (const Line& l : LogicalLines(Narrow(bytes))) {
            if (l.text.empty()) continue;
            if (l.text[0] == '[') {
                size_t close = l.text.find(']');
                current = Lower(Trim(l.text.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
                sections_[current]; // an empty section still exists
                continue;
            }
            sections_[current].lines.push_back(l); // sections of one name are one section
        }
        LoadStrings();
    }

    const Section* Find(const std::string& name) const {
        auto it = sections_.find(Lower(Trim(name)));
        return it == sections_.end() ? nullptr : &it->second;
    }

    // %name% replaced from [Strings]; %% is a percent sign; unknown names stay.
    std::string Substitute(const std::string& s) const {
        std::string out;
        for (size_t i = 0; i < s.size() && out.size() < kMaxString; ++i) {
            size_t close = s[i] == '%' ? s.find('%', i + 1) : std::string::npos;
            if (close == std::string::npos) {
                out += s[i];
                continue;
            }
            std::string name = s.substr(i + 1, close - i - 1);
            auto it = strings_.find(Lower(name));
            out += name.empty() ? "%" : it != strings_.end() ? it->second : "%" + name + "%";
            i = close;
        }
        return out.substr(0, kMaxString);
    }

    static void Split(const std::string& text, std::string& key, std::string& value, bool& hasEquals) {
        bool quoted = false;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '"') quoted = !quoted;
            if (text[i] == '=' && !quoted) {
                key = Trim(text.substr(0, i));
                value = Trim(text.substr(i + 1));
                hasEquals = true;
                return;
            }
        }
        key = Trim(text);
        value.clear();
        hasEquals = false;
    }

private:
    void LoadStrings() {
        // [Strings] first; a localised [Strings.LLLL] only where it is missing.
        std::vector<const Section*> order;
        if (const Section* s = Find("strings")) order.push_back(s);
        for (const auto& kv : sections_)
            if (kv.first.compare(0, 8, "strings.") == 0) order.push_back(&kv.second);
        for (const Section* s : order)
            for (const Line& l : s->lines) {
                std::string key, value;
                bool eq = false;
                Split(l.text, key, value, eq);
                std::vector<std::string> f = Fields(value);
                if (eq) strings_.emplace(Lower(Fields(key)[0]), f[0]);
            }
    }

    std::map<std::string, Section> sections_;
    std::map<std::string, std::string> strings_;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Four hexadecimal digits at s[at]; -1 when there are not.
long Hex4(const std::string& s, size_t at) {
    if (at + 4 > s.size()) return -1;
    long v = 0;
    for (size_t i = at; i < at + 4; ++i) {
        int d = HexValue(s[i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

bool ParsePciId(const std::string& id, unsigned& vendor, unsigned& device) {
    std::string l = Lower(id);
    if (l.size() < 21 || l.compare(0, 8, "pci\\ven_") != 0 || l.compare(12, 5, "&dev_") != 0) return false;
    long v = Hex4(l, 8), d = Hex4(l, 17);
    if (v < 0 || d < 0 || (l.size() > 21 && l[21] != '&')) return false;
    vendor = unsigned(v), device = unsigned(d);
    return true;
}

} // namespace

std::vector<InfCard> ReadInfCards(const std::string& bytes) {
    Inf inf(bytes);
    std::vector<InfCard> cards;
    std::set<std::pair<unsigned, unsigned>> seen;
    std::set<std::string> modelsSeen;
    const Section* manufacturer = inf.Find("manufacturer");
    if (!manufacturer) return cards;
    for (const Line& m : manufacturer->lines) {
        std::string key, value;
        bool eq = false;
        Inf::Split(m.text, key, value, eq);
        // "%Mfg%=Models,NTx86" names Models and Models.NTx86; a line of its
        // own names the section by itself.
        std::vector<std::string> f = Fields(inf.Substitute(eq ? value : key));
        std::vector<std::string> models{f[0]};
        for (size_t i = 1; i < f.size(); ++i) models.push_back(f[0] + "." + f[i]);
        for (const std::string& name : models) {
            const Section* s = inf.Find(name);
            if (!s || !modelsSeen.insert(Lower(Trim(name))).second) continue;
            for (const Line& l : s->lines) {
                std::string k, v;
                bool e = false;
                Inf::Split(l.text, k, v, e);
                if (!e) continue;
                std::vector<std::string> ids = Fields(inf.Substitute(v));
                for (size_t i = 1; i < ids.size(); ++i) {
                    InfCard c;
                    if (!ParsePciId(ids[i], c.vendor, c.device)) continue;
                    c.line = l.number;
                    if (seen.insert({c.vendor, c.device}).second) cards.push_back(c);
                }
            }
        }
    }
    return cards;
}

} // namespace pkgcheck
