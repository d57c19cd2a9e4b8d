// JSON text for the tool's machine-readable output.
#pragma once
#include <string>

// The code point of a well-formed UTF-8 sequence of two to four bytes at
// s[i], with its length in *n; 0 when there is none.
inline unsigned Utf8At(const std::string& s, size_t i, size_t* n) {
    unsigned char c = s[i];
    size_t extra = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
    if (extra == 0 || i + extra >= s.size()) return 0;
    unsigned cp = c & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (s[i + k] & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    *n = extra + 1;
    return cp;
}

// s as a JSON string literal, quotes included. Bytes above 0x7F that form
// UTF-8 (the tool's own renderings) are taken as UTF-8, other ones as
// Latin-1 (what the scripts of those Windows versions mostly hold).
inline std::string JsonString(const std::string& s) {
    static const char hex[] = "0123456789abcdef";
    auto escape = [&](std::string& out, unsigned u) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out += hex[(u >> shift) & 15];
    };
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = s[i];
        size_t n = 0;
        if (unsigned cp = c >= 0x80 ? Utf8At(s, i, &n) : 0) {
            if (cp >= 0x10000) {
                escape(out, 0xD800 + ((cp - 0x10000) >> 10));
                escape(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                escape(out, cp);
            }
            i += n - 1;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}
