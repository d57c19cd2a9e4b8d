// Classification of the running Windows version into an OsKind and the OS
// key that names it in SETUP.INI. Platform-free, so tests call it directly.
#pragma once

typedef unsigned long OsKind;

enum : unsigned long {
    kOsOther = 0,
    kOsWin95 = 10,   // "WIN95": 4.0 with an unknown service-pack text, or another 9x version
    kOsWin95A = 11,  // "W95A"
    kOsWin95B = 12,  // "W95B"
    kOsWin95C = 13,  // "W95C"
    kOsWin98 = 14,   // "W98"
    kOsWinNT = 20,   // "WINNT": any NT version not listed below
    kOsNT31 = 21,    // "NT31"
    kOsNT35x = 22,   // "NT35X"
    kOsNT40 = 23,    // "NT40"
};

OsKind ClassifyVersion(unsigned long platformId, unsigned long major, unsigned long minor, const char* csdVersion);

// The OS key of a kind, or NULL for a kind that has none.
const char* OsKeyOf(OsKind kind);

// Whether the kind appends its [SubDir] value to form the OS directory.
bool ReadsSubDir(OsKind kind);
