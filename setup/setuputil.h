// The launcher's stateless contact with the platform: version information,
// the current directory, the registry and the PCI bus.
#pragma once
#include "framework/win.h"
#include "setup/oskind.h"

class CSetupUtil {
public:
    // The current directory with one trailing backslash removed, followed by
    // the argument text. FALSE, with buffer unchanged, when the current
    // directory cannot be read. When it can, but the whole launch directory
    // does not fit size, the buffer is left empty and *fits is set FALSE:
    // a cut directory would name some other place.
    BOOL GetLaunchDirectory(LPSTR buffer, DWORD size, BOOL* fits = NULL);
    void ExpandEscapes(LPSTR text);
    OsKind GetOsKind();
};
