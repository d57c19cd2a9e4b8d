// What the profile reader takes differently from how the file looks.
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/valuetext.h"

#include <set>

namespace pkgcheck {

void CheckLayout(const IniFile& ini, Sink& sink) {
    for (const IniBadHeader& bad : ini.BadHeaders())
        sink.Error(bad.line, "bad-header",
                   Quoted(bad.text) + " lacks its closing ']', so it opens no section: the keys below it "
                                      "still belong to the section above");
    const std::vector<IniSection>& sections = ini.Sections();
    for (const IniKey& key : sections.front().keys)
        sink.Warning(key.line, "outside-section", "this line comes before any [section] header; no program reads it");
    for (size_t i = 1; i < sections.size(); ++i) {
        const IniSection& s = sections[i];
        if (ini.FindSection(s.name) != &s) {
            sink.Warning(s.line, "duplicate-section",
                         "[" + s.name + "] appears earlier in the file; only the first section of a name is "
                         "read, so every key of this one is ignored");
            continue;
        }
        std::set<std::string> seen;
        for (const IniKey& k : s.keys) {
            if (!seen.insert(FoldedName(k.name)).second)
                sink.Warning(k.line, "duplicate-key",
                             "key " + Quoted(k.name) + " appears earlier in [" + s.name +
                                 "]; only the first is read, this one is ignored");
        }
    }
}

namespace {

bool IsDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

} // namespace

int CheckNumberedKeys(const IniFile& ini, Sink& sink, const std::string& section, const std::string& what) {
    int count = 0;
    while (!ini.Read(section, std::to_string(count + 1), 256).empty()) ++count;
    const IniSection* s = ini.FindSection(section);
    if (!s) return count;
    const std::string end = std::to_string(count + 1);
    bool gapReported = false;
    for (const IniKey& k : s->keys) {
        if (ini.KeyLine(section, k.name) != k.line) continue; // a duplicate, reported as such
        bool canonical = IsDigits(k.name) && k.name[0] != '0';
        if (canonical) {
            // Compared as texts of digits: numbers too long for an int are simply later.
            bool later = k.name.size() > end.size() || (k.name.size() == end.size() && k.name > end);
            if (later && !gapReported && count > 0) {
                gapReported = true;
                sink.Error(k.line, "numbering-gap",
                           what + " stops at " + end + ", which is missing or empty, so key " + k.name +
                               " and every key after the gap are never read; number the keys 1, 2, 3 without gaps");
            }
        } else if (IsDigits(k.name)) {
            sink.Error(k.line, "key-never-read",
                       "key " + Quoted(k.name) + " is never read: " + what +
                           " is read under the keys 1, 2, 3 written without leading zeros");
        } else {
            sink.Warning(k.line, "key-never-read",
                         "key " + Quoted(k.name) + " is never read: " + what + " is read under the keys 1, 2, 3 only");
        }
    }
    return count;
}

} // namespace pkgcheck
