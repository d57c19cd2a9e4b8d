#include "tools/pkgtool/formats/codepage.h"
#include "framework/chars.h"
#include "simwin/machine.h"

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

std::string ShownText(const std::string& bytes, int codePage) {
    for (unsigned char c : bytes)
        if (c >= 0x80) return RenderInCodePage(bytes, codePage);
    return bytes;
}

bool IsLeadByte(int codePage, unsigned char c) { return sim::IsLeadByteOf(unsigned(codePage), c); }

// A name with a character the code page lacks stays as it is: Windows
// shows it as no name of its own.
std::string TargetName(const std::string& diskName) {
    return LooksLikeUtf8(diskName) ? EncodeInCodePage(diskName, int(sim::Current().codePage)) : diskName;
}

std::string EachPathPart(const std::string& path, std::string (*name)(const std::string&)) {
    std::string out;
    for (size_t at = 0;;) {
        const size_t slash = path.find('/', at);
        out += name(path.substr(at, slash - at));
        if (slash == std::string::npos) return out;
        out += '/';
        at = slash + 1;
    }
}

std::string TargetPath(const std::string& diskPath) { return EachPathPart(diskPath, TargetName); }

std::string EncodeInCodePage(const std::string& utf8, int codePage) {
    bool ascii = true;
    for (unsigned char c : utf8) ascii = ascii && c < 0x80;
    if (ascii) return utf8;
    iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-8");
    if (cd == (iconv_t)-1) return utf8;
    std::string out(utf8.size() * 2 + 8, '\0');
    char* in = const_cast<char*>(utf8.data());
    char* o = &out[0];
    size_t inLeft = utf8.size(), oLeft = out.size();
    const bool ok = iconv(cd, &in, &inLeft, &o, &oLeft) != (size_t)-1 && inLeft == 0;
    iconv_close(cd);
    if (!ok) return utf8;
    out.resize(out.size() - oLeft);
    return out;
}

bool IsLeadByteInUse(unsigned char c) { return sim::IsLeadByteOf(sim::Current().codePage, c); }

size_t FindChar(const std::string& s, char c, size_t from) {
    const char* base = s.c_str();
    for (const char* p = base; *p; p = NextChar(p))
        if (*p == c && size_t(p - base) >= from) return size_t(p - base);
    return std::string::npos;
}

size_t FindLastChar(const std::string& s, char c) {
    size_t last = std::string::npos;
    const char* base = s.c_str();
    for (const char* p = base; *p; p = NextChar(p))
        if (*p == c) last = size_t(p - base);
    return last;
}

size_t FindTextAtChar(const std::string& s, const std::string& needle, size_t from) {
    const char* base = s.c_str();
    for (const char* p = base;; p = NextChar(p)) {
        if (size_t(p - base) >= from && s.compare(size_t(p - base), needle.size(), needle) == 0) return size_t(p - base);
        if (!*p) return std::string::npos;
    }
}

std::vector<std::string> SplitAtChar(const std::string& s, char c) {
    std::vector<std::string> parts;
    for (size_t at = 0;;) {
        const size_t next = FindChar(s, c, at);
        parts.push_back(s.substr(at, next - at));
        if (next == std::string::npos) return parts;
        at = next + 1;
    }
}

std::string FileNameOf(const std::string& windowsPath) {
    size_t name = 0;
    const char* base = windowsPath.c_str();
    for (const char* p = base; *p; p = NextChar(p))
        if (*p == '\\' || *p == '/' || *p == ':') name = size_t(p - base) + 1;
    return windowsPath.substr(name);
}

UseCodePage::UseCodePage(int codePage) : previous_(sim::Current().codePage) { sim::Current().codePage = UINT(codePage); }
UseCodePage::~UseCodePage() { sim::Current().codePage = previous_; }

// Lead and second-byte ranges of the double-byte code pages: Microsoft's
// code page tables for 932 (Shift JIS), 936 (GBK) and 950 (Big5); KB
// Q170557 for 949 (Unified Hangul Code). A single byte of 0x80 or more is
// text only in 932 (A1-DF, the half-width katakana).
bool IsDoubleByteText(const std::string& bytes, int codePage) {
    auto second = [codePage](unsigned char t) {
        switch (codePage) {
        case 932: return (t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC);
        case 936: return (t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFE);
        case 949: return (t >= 0x41 && t <= 0x5A) || (t >= 0x61 && t <= 0x7A) || (t >= 0x81 && t <= 0xFE);
        case 950: return (t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE);
        default: return false;
        }
    };
    if (codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950) return false;
    bool wide = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = bytes[i];
        if (c < 0x80) continue;
        if (sim::IsLeadByteOf(unsigned(codePage), c)) {
            if (i + 1 >= bytes.size() || !second((unsigned char)bytes[i + 1])) return false;
            ++i;
            wide = true;
        } else if (!(codePage == 932 && c >= 0xA1 && c <= 0xDF)) {
            return false;
        }
    }
    bool assigned = true;
    RenderInCodePage(bytes, codePage, &assigned);
    return wide && assigned;
}

// Western text in 1252: its bytes past ASCII are letters or the usual
// signs, and no more than three of them stand together. Double-byte text
// read in 1252 shows the signs 0x81-0x9F stand for, or long runs of
// accented letters.
bool Plausible1252(const std::string& bytes) {
    static const std::string usual = "\x80\x85\x8A\x8C\x8E\x91\x92\x93\x94\x96\x97\x99\x9A\x9C\x9E\x9F";
    bool valid = true;
    RenderInCodePage(bytes, 1252, &valid);
    if (!valid) return false;
    int run = 0;
    for (unsigned char c : bytes) {
        run = c >= 0x80 ? run + 1 : 0;
        if (run > 3) return false;
        if (c >= 0x80 && c < 0xA0 && usual.find(char(c)) == std::string::npos) return false;
    }
    return true;
}

std::vector<int> DoubleBytePagesOf(const std::string& bytes) {
    std::vector<int> pages;
    if (Plausible1252(bytes) || LooksLikeUtf8(bytes)) return pages;
    for (int page : {932, 936, 949, 950})
        if (IsDoubleByteText(bytes, page)) pages.push_back(page);
    return pages;
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
