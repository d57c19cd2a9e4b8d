#include "tools/pkgtool/check/valuetext.h"
#include "framework/fields.h"

#include <cctype>

namespace pkgcheck {

std::vector<std::string> SplitFields(const std::string& value, size_t fieldSize) {
    std::vector<std::string> fields;
    std::vector<char> field(fieldSize);
    const char* pos = value.c_str();
    while (NextField(&pos, field.data(), field.size())) fields.push_back(field.data());
    return fields;
}

bool HasEmptyField(const std::string& value) {
    size_t last = value.find_last_not_of(',');
    if (last == std::string::npos) return false;
    return value[0] == ',' || value.find(",,") < last;
}

bool StartsWithBlank(const std::string& s) { return !s.empty() && (s[0] == ' ' || s[0] == '\t'); }
bool EndsWithBlank(const std::string& s) { return !s.empty() && (s.back() == ' ' || s.back() == '\t'); }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string ReadChecked(const IniFile& ini, Sink& sink, const std::string& section, const std::string& key,
                        size_t size, bool commaList) {
    std::string value = ini.Read(section, key, size);
    std::string whole = ini.ReadWhole(section, key);
    bool changed = commaList ? SplitFields(value) != SplitFields(whole) : value != whole;
    if (changed) {
        const std::string fix = "shorten the value of " + key + " in [" + section + "] to at most " +
                                std::to_string(size - 1) + " characters";
        sink.Error(ini.KeyLine(section, key), "value-cut",
                   "the value of " + key + " in [" + section + "] is " + std::to_string(whole.size()) +
                       " characters long; the program reads only the first " + std::to_string(size - 1) +
                       ", so it sees " + Quoted(value.size() > 40 ? "..." + value.substr(value.size() - 40) : value) +
                       " at the end: " + fix,
                   fix);
    }
    return value;
}

void CheckTokens(const std::string& value, int line, Sink& sink, const std::vector<std::string>& known) {
    for (size_t open = value.find('['); open != std::string::npos; open = value.find('[', open + 1)) {
        size_t close = value.find(']', open);
        if (close == std::string::npos) return;
        std::string word = value.substr(open, close - open + 1);
        bool letters = word.size() > 2;
        for (size_t i = 1; i + 1 < word.size(); ++i) letters = letters && std::isalpha((unsigned char)word[i]);
        if (!letters) continue;
        bool exact = false;
        std::string meant, tokens;
        for (const std::string& token : known) {
            exact = exact || word == token;
            if (word != token && SameName(word, token)) meant = token;
            tokens += (tokens.empty() ? "" : " or ") + token;
        }
        if (exact) continue;
        if (!meant.empty()) {
            const std::string fix = "write " + meant;
            sink.Error(line, "token-case",
                       Quoted(word) + " is not replaced: the tokens are case-sensitive, write it in capitals: " + fix,
                       fix);
        } else {
            const std::string fix = "write " + tokens + " in its place, or the text it stands for";
            sink.Warning(line, "unknown-token",
                         Quoted(word) + " is no token of this program and stays as written: " + fix, fix);
        }
    }
}

} // namespace pkgcheck
