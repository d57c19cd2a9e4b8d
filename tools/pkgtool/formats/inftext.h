// An INF file's text as the system's setup reads it: logical lines
// (';' comments removed, lines continued by a final backslash joined),
// sections of one name in any letter case taken as one, fields cut at
// commas outside quotes, and [Strings] substitution. Shared by the card
// reading (inffile.h) and the install model (infinstall.h).
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

namespace pkgcheck {

struct InfRules;

// The system's setup cuts every string at 4096 characters; the cut also
// bounds what [Strings] substitution can make of a hostile file.
const size_t kMaxInfString = 4096;

struct InfLine {
    int number = 0;
    std::string text; // comment removed, continuation joined, quotes kept
};

struct InfSection {
    int line = 0;     // of its first header
    std::string name; // as that header writes it, trimmed
    std::vector<InfLine> lines;
};

enum class InfMark { kNone, kUtf8, kUtf16 };
InfMark InfMarkOf(const std::string& raw);
// UTF-16 text narrowed (characters past Latin-1 become '?'); a UTF-8 mark
// dropped only for a reader that decodes it.
std::string InfNarrow(const std::string& raw, bool dropUtf8Mark);

std::string InfLower(std::string s);
std::string InfTrim(const std::string& s);
// The fields of a value: cut at commas outside quotes, trimmed, quotes
// removed ("" inside quotes is one quote). Never empty.
std::vector<std::string> InfFields(const std::string& value);
// A line cut at its first '=' outside quotes.
void InfSplit(const std::string& text, std::string& key, std::string& value, bool& hasEquals);

class InfText {
public:
    // rules null: as any reader would, taking every form.
    InfText(const std::string& text, const InfRules* rules);

    const InfSection* Find(const std::string& name) const;
    const std::map<std::string, InfSection>& Sections() const { return sections_; }

    // %name% replaced from [Strings]; %% is a percent sign; unknown names
    // stay, and are added to *unresolved when it is given.
    std::string Substitute(const std::string& s, std::vector<std::string>* unresolved = nullptr) const;

    // The value of a key of a section (key in lower case), its first field
    // unquoted; false when there is none.
    bool Value(const std::string& section, const std::string& key, std::string& value, int& line) const;

    // The models sections a [Manufacturer] line names: "%Mfg%=Models,NTx86"
    // names Models and, where decorated models are read (Windows XP on),
    // Models.NTx86 too; a line of its own names the section by itself.
    std::vector<std::string> ModelsSections(const InfLine& manufacturerLine, bool readsDecorated) const;

    // Calls fn(line, value) for each "key = value" line of [section] and of
    // [section + suffix] (key in lower case).
    template <class Fn>
    void ForEachDirective(const std::string& section, const std::string& suffix, const std::string& key, Fn fn) const {
        for (const std::string& name : {section, section + suffix}) {
            const InfSection* s = Find(name);
            for (size_t i = 0; s && i < s->lines.size(); ++i) {
                std::string k, v;
                bool eq = false;
                InfSplit(s->lines[i].text, k, v, eq);
                if (eq && InfLower(k) == key) fn(s->lines[i], v);
            }
        }
    }

    // Calls fn(section, line, key, value) for each "key = value" line of every
    // models section that [Manufacturer] names, each section once.
    template <class Fn>
    void ForEachModelsLine(bool readsDecorated, Fn fn) const {
        const InfSection* manufacturer = Find("manufacturer");
        if (!manufacturer) return;
        std::set<std::string> seen;
        for (const InfLine& m : manufacturer->lines)
            for (const std::string& name : ModelsSections(m, readsDecorated)) {
                const InfSection* s = Find(name);
                if (!s || !seen.insert(InfLower(InfTrim(name))).second) continue;
                for (const InfLine& l : s->lines) {
                    std::string k, v;
                    bool eq = false;
                    InfSplit(l.text, k, v, eq);
                    if (eq) fn(*s, l, k, v);
                }
            }
    }

private:
    void LoadStrings(bool localized);

    std::map<std::string, InfSection> sections_; // by lower-case name
    std::map<std::string, std::string> strings_;
};

} // namespace pkgcheck
