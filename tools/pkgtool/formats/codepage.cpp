#include "tools/pkgtool/formats/codepage.h"

#include <cerrno>
#include <iconv.h>

namespace pkgcheck {
namespace {

std::string IconvName(int codePage) { return "CP" + std::to_string(codePage); }

} // namespace

bool IsKnownCodePage(int codePage) {
    if (codePage <= 0) return false;
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == (iconv_t)-1) return false;
    iconv_close(cd);
    return true;
}

std::string RenderInCodePage(const std::string& bytes, int codePage, bool* valid) {
    if (valid) *valid = true;
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == (iconv_t)-1) {
        if (valid) *valid = false;
        return bytes;
    }
    std::string out;
    char chunk[256];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* o = chunk;
        size_t oLeft = sizeof chunk;
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(chunk, o - chunk);
        if (r != (size_t)-1 || errno == E2BIG) continue;
        // An undefined byte, or a lead byte with no valid trail: shown as one
        // replacement character, and the reading goes on after it.
        if (valid) *valid = false;
        out += "\xef\xbf\xbd";
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

bool IsLeadByte(int codePage, unsigned char c) {
    switch (codePage) {
    case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950: return c >= 0x81 && c <= 0xFE;
    default: return false;
    }
}

bool LooksLikeUtf8(const std::string& bytes) {
    bool multi = false;
    for (size_t i = 0; i < bytes.size();) {
        unsigned char c = bytes[i];
        int extra = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
        if (extra < 0 || (extra > 0 && i + extra >= bytes.size())) return false;
        unsigned cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char t = bytes[i + k];
            if ((t & 0xC0) != 0x80) return false;
            cp = cp << 6 | (t & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        multi = multi || extra > 0;
        i += extra + 1;
    }
    return multi;
}

} // namespace pkgcheck
