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

std::string Lower(std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\x1a"), e = s.find_last_not_of(" \t\r\x1a");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

enum class Mark { kNone, kUtf8, kUtf16 };

Mark MarkOf(const std::string& raw) {
    if (raw.compare(0, 3, "\xef\xbb\xbf") == 0) return Mark::kUtf8;
    if (raw.compare(0, 2, "\xff\xfe") == 0 || raw.compare(0, 2, "\xfe\xff") == 0) return Mark::kUtf16;
    return Mark::kNone;
}

// UTF-16 text narrowed (characters past Latin-1 become '?'); a UTF-8 mark
// dropped only for a reader that decodes it.
std::string Narrow(const std::string& raw, bool dropUtf8Mark) {
    const Mark mark = MarkOf(raw);
    if (mark == Mark::kUtf8) return dropUtf8Mark ? raw.substr(3) : raw;
    if (mark != Mark::kUtf16) return raw;
    const bool little = raw[0] == '\xff';
    std::string out;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
        const char lo = raw[i + (little ? 0 : 1)], hi = raw[i + (little ? 1 : 0)];
        out += hi ? '?' : lo;
    }
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

struct Section {
    int line = 0;      // of its first header
    std::string name;  // as that header writes it, trimmed
    std::vector<Line> lines;
};

class Inf {
public:
    // rules null: as any reader would, taking every form.
    Inf(const std::string& text, const InfRules* rules) {
        std::string current;
        sections_[current];
        for (const Line& l : LogicalLines(text)) {
            if (l.text.empty()) continue;
            if (l.text[0] == '[') {
                size_t close = l.text.find(']');
                std::string name = Trim(l.text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
                current = Lower(name);
                Section& s = sections_[current]; // an empty section still exists
                if (!s.line) s.line = l.number, s.name = name;
                continue;
            }
            sections_[current].lines.push_back(l); // sections of one name are one section
        }
        LoadStrings(!rules || rules->readsLocalizedStrings);
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

    // The value of a key of a section, unquoted; false when there is none.
    bool Value(const std::string& section, const std::string& key, std::string& value, int& line) const {
        const Section* s = Find(section);
        for (size_t i = 0; s && i < s->lines.size(); ++i) {
            std::string k, v;
            bool eq = false;
            Split(s->lines[i].text, k, v, eq);
            if (!eq || Lower(k) != key) continue;
            value = Fields(v)[0];
            line = s->lines[i].number;
            return true;
        }
        return false;
    }

private:
    void LoadStrings(bool localized) {
        // [Strings] first; a localised [Strings.LLLL] only where it is missing.
        std::vector<const Section*> order;
        if (const Section* s = Find("strings")) order.push_back(s);
        for (const auto& kv : sections_)
            if (localized && kv.first.compare(0, 8, "strings.") == 0) order.push_back(&kv.second);
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

typedef std::pair<unsigned, unsigned> Ids;

// One reading of the file, leniently (rules null) or as a target reads it.
struct Reading {
    InfReading result;
    std::set<std::string> absentModels; // undecorated models sections [Manufacturer] names that the file lacks
};

Reading Read(const std::string& bytes, const InfRules* rules) {
    Reading r;
    InfReading& out = r.result;
    const Mark mark = MarkOf(bytes);
    const std::string systems = rules ? rules->systems : "";
    if (rules && mark == Mark::kUtf16 && !rules->readsUtf16) {
        out.takesFile = false;
        out.whyNot = "the file is UTF-16 (Unicode) text, and " + systems + " read only ANSI INF files";
        return r;
    }
    // No document of the time has an INF reader decode UTF-8: for the
    // targets a mark is three bytes of text.
    const Inf inf(Narrow(bytes, !rules), rules);
    if (rules) {
        std::string signature, note;
        int line = 0;
        if (!inf.Value("version", "signature", signature, line)) {
            out.takesFile = false;
            const Section* first = inf.Find("");
            const bool markHidesVersion = mark == Mark::kUtf8 && first && !first->lines.empty() &&
                                          Lower(first->lines[0].text).find("[version]") != std::string::npos;
            out.whyNot = markHidesVersion
                             ? "the file begins with a UTF-8 byte order mark, which " + systems +
                                   " read as three characters of text, so [Version] is no section header there and "
                                   "the file has no Signature"
                             : "it has no Signature in [Version], and " + systems + " take a file without one for no INF";
            return r;
        }
        const SignatureVerdict verdict = rules->signature(signature, note);
        if (verdict == SignatureVerdict::kRefused) {
            out.takesFile = false;
            out.whyNot = "its Signature \"" + signature + "\" (line " + std::to_string(line) + ") is none that " +
                         systems + " accept (" + rules->signatures + ")";
            return r;
        }
        if (verdict == SignatureVerdict::kUndecided)
            out.notices.push_back({line, "inf-signature", "the Signature \"" + signature + "\": " + note +
                                                              ". Write $Chicago$, which every system of the time takes"});
        if (rules->largestFile && bytes.size() > rules->largestFile)
            out.notices.push_back({0, "inf-size", "the file has " + std::to_string(bytes.size()) + " bytes; forum "
                                                  "reports (no documentation) say " + systems + " fail on INF files "
                                                  "over 64 KB"});
    }
    const Section* manufacturer = inf.Find("manufacturer");
    if (!manufacturer) return r;
    std::set<Ids> seen;
    std::set<std::string> modelsSeen;
    for (const Line& m : manufacturer->lines) {
        std::string key, value;
        bool eq = false;
        Inf::Split(m.text, key, value, eq);
        // "%Mfg%=Models,NTx86" names Models and, from Windows XP on, also
        // Models.NTx86; a line of its own names the section by itself.
        std::vector<std::string> f = Fields(inf.Substitute(eq ? value : key));
        std::vector<std::string> models{f[0]};
        for (size_t i = 1; i < f.size() && (!rules || rules->readsDecoratedModels); ++i) models.push_back(f[0] + "." + f[i]);
        if (!inf.Find(f[0])) r.absentModels.insert(Lower(Trim(f[0])));
        for (const std::string& name : models) {
            const Section* s = inf.Find(name);
            if (!s || !modelsSeen.insert(Lower(Trim(name))).second) continue;
            if (rules && rules->longestSectionName && s->name.size() > rules->longestSectionName)
                out.notices.push_back({s->line, "inf-section-name",
                                       "the models section [" + s->name + "] has a name of " +
                                           std::to_string(s->name.size()) + " characters; the Windows 2000 DDK says "
                                           "that on Windows 98 section names should be no longer than " +
                                           std::to_string(rules->longestSectionName)});
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
                    c.section = s->name;
                    if (seen.insert({c.vendor, c.device}).second) out.cards.push_back(c);
                }
            }
        }
    }
    return r;
}

std::set<Ids> IdsOf(const InfReading& r) {
    std::set<Ids> ids;
    for (const InfCard& c : r.cards) ids.insert({c.vendor, c.device});
    return ids;
}

// Why a target does not find a card that the lenient reading does: the rule
// that, relaxed alone, lets it through.
class WhyMissed {
public:
    WhyMissed(const std::string& bytes, const InfRules& rules, const Reading& target) : rules_(rules), target_(target) {
        if (!target.result.takesFile) return;
        InfRules decorated = rules, localized = rules;
        decorated.readsDecoratedModels = true;
        localized.readsLocalizedStrings = true;
        decorated_ = IdsOf(Read(bytes, &decorated).result);
        localized_ = IdsOf(Read(bytes, &localized).result);
    }

    std::string operator()(const InfCard& card) const {
        if (!target_.result.takesFile) return target_.result.whyNot;
        const std::string systems = rules_.systems;
        const Ids ids(card.vendor, card.device);
        if (decorated_.count(ids)) {
            const std::string base = card.section.substr(0, card.section.find('.'));
            return "[" + card.section + "] has a target decoration, which only Windows XP and later read; " + systems +
                   " read the undecorated [" + base + "] that [Manufacturer] names" +
                   (target_.absentModels.count(Lower(base)) ? ", and the file lacks it" : ", which does not list it");
        }
        if (localized_.count(ids))
            return "the id comes from a %token% that only a [Strings.LanguageID] section defines, and " + systems +
                   " ignore those sections";
        return "it is in no models section that " + systems + " read";
    }

private:
    const InfRules& rules_;
    const Reading& target_;
    std::set<Ids> decorated_, localized_;
};

} // namespace

std::vector<InfCard> ReadInfCards(const std::string& bytes) { return Read(bytes, nullptr).result.cards; }

InfFile ReadInf(const std::string& bytes) {
    InfFile file;
    file.cards = ReadInfCards(bytes);
    for (InfReader reader : {InfReader::kWin9x, InfReader::kNt4}) {
        const InfRules& rules = RulesOf(reader);
        const Reading target = Read(bytes, &rules);
        InfReading& out = reader == InfReader::kWin9x ? file.win9x : file.nt4;
        out = target.result;
        const std::set<Ids> found = IdsOf(out);
        const WhyMissed why(bytes, rules, target);
        for (const InfCard& c : file.cards)
            if (!found.count({c.vendor, c.device})) out.missed.push_back({c, why(c)});
    }
    return file;
}

} // namespace pkgcheck
