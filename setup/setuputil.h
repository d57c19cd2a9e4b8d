// The launcher's stateless contact with the platform: version information,
// the current directory, the registry and the PCI bus.
#pragma once
#include "framework/win.h"
#include "setup/oskind.h"
#include "setup/pciscan.h"

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

    // The scan of one pair, as one DetectCard entry asks it: on a match,
    // "VEN_%04X&DEV_%04X" into deviceKey and "BUS_%02X&DEV_%02X&FUNC_%02X"
    // into location (256-byte buffers each), else both left as they were.
    // Only the low 16 bits of the identifiers count.
    BOOL FindPciFunction(LONG vendor, LONG device, LPSTR deviceKey, LPSTR location);
    // One scan of the whole bus for any number of entries.
    void TakePciInventory(PciInventory* inventory);
    // The answer of FindPciFunction from an inventory; a pair the inventory
    // could not hold is scanned for on its own.
    BOOL FindPciFunctionIn(const PciInventory* inventory, LONG vendor, LONG device, LPSTR deviceKey, LPSTR location);
    // FALSE on the NT family, where user-mode port I/O faults: there the bus
    // reads as empty.
    BOOL CanReachPciPorts();

    // The uninstall entry of the USB supplement names it (DisplayName
    // beginning with "USB").
    BOOL IsUsbSupplementInstalled();
};
