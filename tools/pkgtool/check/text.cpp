// Text as the target systems read and show it, which is not always as Wine
// does: byte order marks, and bytes in another code page than the system's.
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/check/valuetext.h"

#include <cctype>

namespace pkgcheck {

void CheckTextMark(const IniFile& ini, Sink& sink, const std::string& fileName, const std::string& nothingRead) {
    if (ini.Mark() == TextMark::kUtf8) {
        const bool headerFirst = ini.Sections().size() > 1 && ini.Sections()[1].line == 1;
        if (!headerFirst && ini.Sections().size() > 1) {
            // The mark sticks to a comment or a blank line, which no reader asks for.
            sink.Warning(1, "byte-order-mark",
                         "the file begins with a UTF-8 byte order mark. Windows 95, 98 and NT 4.0 read " + fileName +
                             " byte for byte, so the mark is text in front of line 1; that line is no section "
                             "header, so nothing is lost now, but a header moved there would be: save " + fileName +
                             " as ANSI text, without the mark",
                         "save " + fileName + " as ANSI text, without the mark");
            return;
        }
        std::string first = "the first section header";
        if (ini.Sections().size() > 1)
            first = "[" + ini.Sections()[1].name + "] on line " + std::to_string(ini.Sections()[1].line);
        sink.Error(1, "byte-order-mark",
                   "the file begins with a UTF-8 byte order mark. Windows 95, 98 and NT 4.0 read " + fileName +
                       " byte for byte: the mark becomes three characters in front of the first line, so " + first +
                       " is no section header and none of its keys is read. Wine decodes the mark, so a test under "
                       "Wine passes where those systems fail: save " + fileName + " as ANSI text, without the mark",
                   "save " + fileName + " as ANSI text, without the mark");
    } else if (ini.Mark() == TextMark::kUtf16) {
        sink.Error(1, "byte-order-mark",
                   "the file is UTF-16 text. Windows 95 and 98 read " + fileName +
                       " byte for byte: a NUL follows every character and no section is found at all, so " +
                       nothingRead + ". Windows NT 4.0 and Wine decode the file, so a test under Wine passes: save " +
                       fileName + " as ANSI text",
                   "save " + fileName + " as ANSI text");
    }
}

namespace {

// At most about 80 bytes of UTF-8, cut between characters.
std::string Shortened(const std::string& utf8) {
    if (utf8.size() <= 80) return utf8;
    size_t cut = 77;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return utf8.substr(0, cut) + "...";
}

} // namespace

namespace {

std::string DoubleByteText(const std::string& value, const std::string& what, const std::string& page,
                           const std::string& shown) {
    static const char* names[][2] = {{"932", "Japanese"}, {"936", "Chinese, simplified"}, {"949", "Korean"},
                                     {"950", "Chinese, traditional"}};
    const std::vector<int> pages = DoubleBytePagesOf(value);
    std::string in;
    for (size_t i = 0; i < pages.size(); ++i) {
        std::string name;
        for (const auto& n : names)
            if (std::to_string(pages[i]) == n[0]) name = n[1];
        in += std::string(i == 0 ? "" : i + 1 == pages.size() ? " and " : ", ") + std::to_string(pages[i]) + " (" +
              name + ": " + Quoted(Shortened(RenderInCodePage(value, pages[i]))) + ")";
    }
    return "the " + what + " shows as " + Quoted(shown) + " with " + page +
           ", which is no Western text, but it is text of the double-byte code page" + (pages.size() > 1 ? "s " : " ") +
           in + ": for a Windows of that code page, check the package with --codepage " + std::to_string(pages[0]) +
           (pages.size() > 1 ? " (or another of them)" : "");
}

} // namespace

void CheckAnsiText(const std::string& value, int line, Sink& sink, const std::string& what) {
    bool ascii = true;
    for (unsigned char c : value) ascii = ascii && c < 0x80;
    if (ascii) return;
    const int codePage = sink.Options().codePage;
    bool valid = true;
    const std::string shown = Shortened(RenderInCodePage(value, codePage, &valid));
    const std::string page = "code page " + std::to_string(codePage);
    if (LooksLikeUtf8(value))
        sink.AddShown(line, "warning", "utf8-text",
                     "the " + what + " holds UTF-8 text, which Windows of that time does not read: with " + page +
                         " it shows as " + Quoted(shown) + " (--codepage N checks for another): save the script in " +
                         page,
                     "save the script in " + page);
    else if (codePage == 1252 && !sink.Options().codePageGiven && !DoubleBytePagesOf(value).empty())
        sink.AddShown(line, "warning", "codepage-double-byte", DoubleByteText(value, what, page, shown),
                      "check the package with --codepage " + std::to_string(DoubleBytePagesOf(value)[0]) +
                          (DoubleBytePagesOf(value).size() > 1 ? " (or another of them)" : ""));
    else if (!valid)
        sink.AddShown(line, "warning", "codepage-text",
                     "the " + what + " holds bytes that are no text of " + page + ": that Windows shows " +
                         Quoted(shown) + " (--codepage N checks for another); write the " + what + " in " + page,
                     "write the " + what + " in " + page);
}

namespace {

bool IsEscape(const std::string& s, size_t i) { return s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == 't'); }

// A word of a message that names a path: a drive, a share, a backslash
// that is no escape, or a word that begins with an escape followed by small
// letters and digits only (\nt40, \temp).
bool IsPathLike(const std::string& word) {
    if (word.size() >= 3 && std::isalpha(static_cast<unsigned char>(word[0])) && word[1] == ':' && word[2] == '\\')
        return true;
    if (word.compare(0, 2, "\\\\") == 0) return true;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '\\') continue;
        if (!IsEscape(word, i)) return true;
        ++i;
    }
    if (!IsEscape(word, 0) || word.size() == 2) return false;
    for (size_t i = 2; i < word.size(); ++i)
        if (!std::islower(static_cast<unsigned char>(word[i])) && !std::isdigit(static_cast<unsigned char>(word[i])) &&
            word[i] != '.' && word[i] != '_')
            return false;
    return true;
}

} // namespace

void CheckEscapesInPaths(const std::string& message, int line, Sink& sink) {
    // The second byte of a double-byte character is no backslash of its own,
    // as the launcher steps by characters.
    std::string scan = message;
    for (size_t i = 0; i + 1 < scan.size(); ++i)
        if (IsLeadByte(sink.Options().codePage, static_cast<unsigned char>(scan[i])) && scan[++i] == '\\') scan[i] = '\x01';
    size_t pos = 0;
    while (pos < scan.size()) {
        size_t start = scan.find_first_not_of(" \t", pos);
        if (start == std::string::npos) break;
        size_t end = scan.find_first_of(" \t", start);
        if (end == std::string::npos) end = scan.size();
        pos = end;
        const std::string word = scan.substr(start, end - start), shown = message.substr(start, end - start);
        size_t at = std::string::npos;
        for (size_t i = 0; i < word.size() && at == std::string::npos; ++i) {
            if (word[i] != '\\') continue;
            if (IsEscape(word, i)) at = i;
            ++i;
        }
        if (at == std::string::npos || !IsPathLike(word)) continue;
        const bool newline = word[at + 1] == 'n';
        std::string fixed = shown;
        for (size_t i = 0; i < word.size(); ++i)
            if (IsEscape(word, i)) fixed[i + 1] = char(std::toupper(static_cast<unsigned char>(fixed[i + 1])));
        sink.Warning(line, "escape-in-path",
                     Quoted(shown) + " holds " + (newline ? "\\n" : "\\t") + ", which the launcher turns into " +
                         (newline ? "a line break, so the path is broken over two lines"
                                  : "a tab, so the path shows a gap") +
                         "; the escapes are small letters only, so write " + Quoted(fixed),
                     "write " + Quoted(fixed));
    }
}

} // namespace pkgcheck
