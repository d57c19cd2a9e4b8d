#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/formats/inifile.h"

namespace pkgcheck {

const OsKind kKindsWithKeys[9] = {kOsWin95, kOsWin95A, kOsWin95B, kOsWin95C, kOsWin98,
                                  kOsWinNT, kOsNT31,   kOsNT35x,  kOsNT40};

OsKind KindOfKey(const std::string& name) {
    for (OsKind kind : kKindsWithKeys)
        if (SameName(name, OsKeyOf(kind))) return kind;
    return kOsOther;
}

// The same choice as the Install command makes: by the kind, not the key.
InstallRoute RouteOf(OsKind kind) {
    switch (kind) {
    case kOsWin95A:
    case kOsWin95B:
    case kOsWin95C:
    case kOsWin98: return InstallRoute::kHelper;
    case kOsNT40: return InstallRoute::kApplet;
    default: return InstallRoute::kNone;
    }
}

bool IsNtKind(OsKind kind) { return kind >= kOsWinNT && kind <= kOsNT40; }

std::string WindowsOfKind(OsKind kind) {
    switch (kind) {
    case kOsWin95A: return "the first Windows 95";
    case kOsWin95B: return "Windows 95 OSR2";
    case kOsWin95C: return "Windows 95 OSR 2.5";
    case kOsWin98: return "Windows 98";
    case kOsNT40: return "Windows NT 4.0";
    case kOsWin95: return "Windows 95 with another service pack text, and Windows Me";
    case kOsNT31: return "Windows NT 3.1";
    case kOsNT35x: return "Windows NT 3.5";
    case kOsWinNT: return "later Windows NT versions";
    default: return "other Windows versions";
    }
}

std::string OsKeyReason(unsigned long platform, unsigned long major, unsigned long minor, const std::string& csd) {
    const std::string version = "platform " + std::to_string(platform) + ", version " + std::to_string(major) + "." +
                                std::to_string(minor);
    const std::string sp = "service pack \"" + csd + "\"";
    if (platform == 1) {
        if (major == 4 && minor == 10) return version + " (any service pack)";
        if (major != 4 || minor != 0) return version + " (neither 4.0 nor 4.10)";
        const char second = csd.size() >= 2 ? csd[1] : '\0';
        if (second == 'B' || second == 'b' || second == 'C' || second == 'c')
            return version + ", " + sp + " (second character " + std::string(1, second) + ")";
        if (csd.empty()) return version + ", " + sp + " (empty)";
        return version + ", " + sp + " (its second character is neither B nor C; OSR2 reports \" B\", OSR 2.5 \" C\")";
    }
    if (platform == 2) {
        if (major == 3 && minor >= 50) return version + " (3.50 and up)";
        if (major == 4 && minor == 0) return version;
        if (major == 3 && minor == 1) return version + " (3.1)";
        return version + " (no other NT version has a key of its own)";
    }
    return version + " (a platform without an OS key)";
}

} // namespace pkgcheck
