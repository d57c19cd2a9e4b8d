// The PCI side of CSetupUtil: the port probe, the NT guard and the texts of
// the card identity.
#include "setup/setuputil.h"
#include "pciport/pciport.h"

static unsigned long ProbeByPorts(unsigned long address, void*) {
    return PciReadConfigDword(address);
}

static void FormatIdentity(unsigned short vendor, unsigned short device, const PciLocation& at, LPSTR deviceKey,
                           LPSTR location) {
    wsprintfA(deviceKey, "VEN_%04X&DEV_%04X", (UINT)vendor, (UINT)device);
    wsprintfA(location, "BUS_%02X&DEV_%02X&FUNC_%02X", (UINT)at.bus, (UINT)at.device, (UINT)at.function);
}

BOOL CSetupUtil::CanReachPciPorts() {
    OSVERSIONINFOA info;
    for (unsigned i = 0; i < sizeof info; ++i) ((char*)&info)[i] = 0;
    info.dwOSVersionInfoSize = sizeof info;
    // Should the query fail, touching the ports could fault: stay away.
    if (!GetVersionExA(&info)) return FALSE;
    return info.dwPlatformId != VER_PLATFORM_WIN32_NT;
}

BOOL CSetupUtil::FindPciFunction(LONG vendor, LONG device, LPSTR deviceKey, LPSTR location) {
    if (!CanReachPciPorts()) return FALSE;
    const unsigned short v = (unsigned short)(vendor & 0xFFFF), d = (unsigned short)(device & 0xFFFF);
    PciLocation at;
    if (!FindPciPair(v, d, ProbeByPorts, NULL, &at)) return FALSE;
    FormatIdentity(v, d, at, deviceKey, location);
    return TRUE;
}

void CSetupUtil::TakePciInventory(PciInventory* inventory) {
    if (!CanReachPciPorts()) {
        ClearPciInventory(inventory);
        return;
    }
    ::TakePciInventory(inventory, ProbeByPorts, NULL);
}

BOOL CSetupUtil::FindPciFunctionIn(const PciInventory* inventory, LONG vendor, LONG device, LPSTR deviceKey,
                                   LPSTR location) {
    const unsigned short v = (unsigned short)(vendor & 0xFFFF), d = (unsigned short)(device & 0xFFFF);
    PciLocation at;
    switch (LookUpPciPair(inventory, v, d, &at)) {
    case kPciFound:
        FormatIdentity(v, d, at, deviceKey, location);
        return TRUE;
    case kPciUnknown:
        return FindPciFunction(vendor, device, deviceKey, location);
    default:
        return FALSE;
    }
}
