// Query list and result format shared by profdump (Wine) and profhost (host),
// so that both sides parse and print byte for byte alike.
//
// Query line: file TAB section TAB key TAB default TAB size. Blank lines and
// lines starting with '#' are skipped. In every field \\ \t \n \r and \xHH
// stand for their bytes, and a field that is exactly \N passes a null
// pointer. The file is a name inside the corpus folder.
//
// Result line: query-line-number TAB return-value TAB buffer TAB state, where
// buffer is the escaped bytes before the first NUL (all size bytes if none)
// and state is Z (terminated), U (no NUL within size) or O (a byte past the
// buffer changed).
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace profquery {

struct Field {
    bool null = false;
    std::string text;
    const char* ptr() const { return null ? nullptr : text.c_str(); }
};

struct Query {
    int line = 0;
    Field file, section, key, def;
    unsigned long size = 0;
};

inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline Field Unescape(const std::string& s) {
    Field f;
    if (s == "\\N") { f.null = true; return f; }
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c != '\\' || i + 1 >= s.size()) { f.text += c; continue; }
        char n = s[++i];
        if (n == 't') f.text += '\t';
        else if (n == 'n') f.text += '\n';
        else if (n == 'r') f.text += '\r';
        else if (n == 'x' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
            f.text += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
            i += 2;
        } else f.text += n;
    }
    return f;
}

inline std::string Escape(const char* p, size_t n) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (c == '\\') out += "\\\\";
        else if (c >= 0x20 && c < 0x7f) out += static_cast<char>(c);
        else { out += "\\x"; out += hex[c >> 4]; out += hex[c & 15]; }
    }
    return out;
}

inline std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> parts(1);
    for (char c : line) {
        if (c == '\t') parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

// Reads the whole query list; malformed lines are reported and skipped.
inline bool ReadQueries(const char* path, std::vector<Query>& out) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::string all;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) all.append(chunk, got);
    std::fclose(f);
    int number = 0;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find('\n', pos);
        if (end == std::string::npos) end = all.size();
        std::string line = all.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> p = SplitTabs(line);
        if (p.size() != 5) {
            std::fprintf(stderr, "query line %d: expected 5 fields, got %u\n", number, unsigned(p.size()));
            continue;
        }
        Query q;
        q.line = number;
        q.file = Unescape(p[0]);
        q.section = Unescape(p[1]);
        q.key = Unescape(p[2]);
        q.def = Unescape(p[3]);
        q.size = std::strtoul(p[4].c_str(), nullptr, 10);
        if (q.size > (1ul << 24)) q.size = 1ul << 24;
        out.push_back(q);
    }
    return true;
}

const size_t kGuard = 16;
const unsigned char kFill = 0xAB;

// Buffer of size bytes plus a guard, filled so that untouched bytes show.
inline std::vector<char> MakeBuffer(unsigned long size) {
    return std::vector<char>(size + kGuard, static_cast<char>(kFill));
}

inline std::string FormatResult(const Query& q, unsigned long ret, const std::vector<char>& buf) {
    size_t n = 0;
    while (n < q.size && buf[n] != '\0') ++n;
    char state = n < q.size ? 'Z' : 'U';
    for (size_t i = q.size; i < buf.size(); ++i)
        if (static_cast<unsigned char>(buf[i]) != kFill) state = 'O';
    return std::to_string(q.line) + "\t" + std::to_string(ret) + "\t" + Escape(buf.data(), n) + "\t" + state;
}

// The common start of profdump and profhost: "NAME CORPUS-DIR QUERIES
// OUTPUT". Returns the open output file, or null after saying why.
inline FILE* StartRun(int argc, char** argv, const char* name, std::vector<Query>& queries) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s CORPUS-DIR QUERIES OUTPUT\n", name);
        return nullptr;
    }
    if (!ReadQueries(argv[2], queries)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return nullptr;
    }
    return std::fopen(argv[3], "wb");
}

} // namespace profquery
