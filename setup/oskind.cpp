#include "setup/oskind.h"

OsKind ClassifyVersion(unsigned long platformId, unsigned long major, unsigned long minor, const char* csd) {
    if (platformId == 1) {
        if (major == 4 && minor == 10) return kOsWin98;
        if (!(major == 4 && minor == 0)) return kOsWin95;
        // Only the second character tells the releases apart; a text shorter
        // than two characters has none.
        char second = (csd[0] != '\0') ? csd[1] : '\0';
        if (second == 'B' || second == 'b') return kOsWin95B;
        if (second == 'C' || second == 'c') return kOsWin95C;
        return csd[0] == '\0' ? kOsWin95A : kOsWin95;
    }
    if (platformId == 2) {
        if (major == 3 && minor >= 50) return kOsNT35x;
        if (major == 4 && minor == 0) return kOsNT40;
        if (major == 3 && minor == 1) return kOsNT31;
        return kOsWinNT;
    }
    return kOsOther;
}

const char* OsKeyOf(OsKind kind) {
    switch (kind) {
    case kOsWin95: return "WIN95";
    case kOsWin95A: return "W95A";
    case kOsWin95B: return "W95B";
    case kOsWin95C: return "W95C";
    case kOsWin98: return "W98";
    case kOsWinNT: return "WINNT";
    case kOsNT31: return "NT31";
    case kOsNT35x: return "NT35X";
    case kOsNT40: return "NT40";
    default: return 0;
    }
}

bool ReadsSubDir(OsKind kind) {
    return kind == kOsWin95A || kind == kOsWin95B || kind == kOsWin95C || kind == kOsWin98 || kind == kOsNT40;
}
