// What the profile reader takes differently from how the file looks.
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/valuetext.h"

#include <set>

namespace pkgcheck {

void CheckLayout(const IniFile& ini, Sink& sink) {
    for (const IniBadHeader& bad : ini.BadHeaders()) {
        const std::string fix = "end the header with ']': " + TrimBlanks(bad.text) + "]";
        sink.Error(bad.line, "bad-header",
                   Quoted(bad.text) + " lacks its closing ']', so it opens no section: the keys below it "
                                      "still belong to the section above; " + fix,
                   fix);
    }
    const std::vector<IniSection>& sections = ini.Sections();
    for (const IniKey& key : sections.front().keys)
        sink.Warning(key.line, "outside-section",
                     "this line comes before any [section] header; no program reads it: move it below the header "
                     "of its section, or remove it",
                     "move it below the header of its section, or remove it");
    for (size_t i = 1; i < sections.size(); ++i) {
        const IniSection& s = sections[i];
        if (ini.FindSection(s.name) != &s) {
            const std::string fix = "move its keys into the first [" + s.name + "] (line " +
                                    std::to_string(ini.FindSection(s.name)->line) + ") and remove this header";
            sink.Warning(s.line, "duplicate-section",
                         "[" + s.name + "] appears earlier in the file; only the first section of a name is "
                         "read, so every key of this one is ignored: " + fix,
                         fix);
            continue;
        }
        std::set<std::string> seen;
        for (const IniKey& k : s.keys) {
            if (!seen.insert(FoldedName(k.name)).second) {
                const std::string fix = "remove this line, or give it the key it was meant to have (the " + k.name +
                                        " that is read is at line " + std::to_string(ini.KeyLine(s.name, k.name)) + ")";
                sink.Warning(k.line, "duplicate-key",
                             "key " + Quoted(k.name) + " appears earlier in [" + s.name +
                                 "]; only the first is read, this one is ignored: " + fix,
                             fix);
            }
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
    int next = count + 1; // the number to suggest for a key that is never read
    for (const IniKey& k : s->keys) {
        if (ini.KeyLine(section, k.name) != k.line) continue; // a duplicate, reported as such
        bool canonical = IsDigits(k.name) && k.name[0] != '0';
        if (canonical) {
            // Compared as texts of digits: numbers too long for an int are simply later.
            bool later = k.name.size() > end.size() || (k.name.size() == end.size() && k.name > end);
            if (later && !gapReported && count > 0) {
                gapReported = true;
                const std::string fix = "renumber key " + k.name + " of [" + section + "] as " + end +
                                        ", and the keys after it in order";
                sink.Error(k.line, "numbering-gap",
                           what + " stops at " + end + ", which is missing or empty, so key " + k.name +
                               " and every key after the gap are never read; number the keys 1, 2, 3 without "
                               "gaps: " + fix,
                           fix);
            }
        } else if (IsDigits(k.name)) {
            const size_t digit = k.name.find_first_not_of('0');
            const std::string fix = "rename key " + Quoted(k.name) + " to " +
                                    (digit == std::string::npos ? std::to_string(next++) : k.name.substr(digit));
            sink.Error(k.line, "key-never-read",
                       "key " + Quoted(k.name) + " is never read: " + what +
                           " is read under the keys 1, 2, 3 written without leading zeros: " + fix,
                       fix);
        } else {
            const std::string fix = "rename key " + Quoted(k.name) + " to " + std::to_string(next++) +
                                    " if it belongs to the list, else remove it";
            sink.Warning(k.line, "key-never-read",
                         "key " + Quoted(k.name) + " is never read: " + what + " is read under the keys 1, 2, 3 only: " +
                             fix,
                         fix);
        }
    }
    return count;
}

} // namespace pkgcheck
