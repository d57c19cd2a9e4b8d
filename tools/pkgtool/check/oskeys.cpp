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

} // namespace pkgcheck
