// The DetectCard and CheckPCIKey commands: is a supported card on the bus,
// and does the registry's PCI enumeration know it at that location.
#include "setup/setupapp.h"
#include "framework/text.h"
#include "setup/cardentry.h"

// A build with 1 scans the whole bus for every entry it tries, for the
// benchmark's comparison; the shipped one scans once per command.
#ifndef SETUP_SCAN_PER_ENTRY
#define SETUP_SCAN_PER_ENTRY 0
#endif
enum { kScanPerEntry = SETUP_SCAN_PER_ENTRY };

// Entries are tried in order, from "1" to the first that is missing or
// empty; the first found on the bus wins. The bus is scanned once for the
// whole command, when the first entry with both identifiers is tried; each
// entry is then answered from what that scan saw, exactly as a scan of its
// own would answer it.
BOOL CSetupApp::DetectCard(LPCSTR token) {
    PciInventory inventory;
    BOOL scanned = FALSE;
    char entry[256];
    for (UINT n = 1; n != 0; ++n) {
        char key[16];
        wsprintfA(key, "%u", n);
        ReadScript(token, key, entry, sizeof entry);
        if (entry[0] == '\0') break;
        unsigned short vendor, device;
        if (!ReadCardIds(entry, &vendor, &device)) continue;
        BOOL found;
        if (kScanPerEntry) {
            found = m_util.FindPciFunction(vendor, device, deviceKey, location);
        } else {
            if (!scanned) {
                m_util.TakePciInventory(&inventory);
                scanned = TRUE;
            }
            found = m_util.FindPciFunctionIn(&inventory, vendor, device, deviceKey, location);
        }
        if (!found) continue;
        ReadCardFields(entry, busType, sizeof busType, &helperFlag);
        if (IsAgpBusType(busType)) CopyText(location, sizeof location, "000800");
        return TRUE;
    }
    ShowScriptMessage(token, kStyleMessage);
    return FALSE;
}

static BOOL HasInstanceAt(HKEY devices, LPCSTR name, LPCSTR location) {
    HKEY device;
    if (RegOpenKeyExA(devices, name, 0, KEY_ENUMERATE_SUB_KEYS, &device) != ERROR_SUCCESS) return FALSE;
    BOOL found = FALSE;
    char instance[256];
    for (DWORD i = 0; !found; ++i) {
        DWORD size = sizeof instance;
        if (RegEnumKeyExA(device, i, instance, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        found = FindText(instance, location) != NULL;
    }
    RegCloseKey(device);
    return found;
}

// Names are matched by substring and with case, as the enumeration writes
// them. Keys are opened for enumeration only: full access is refused to
// users without administrator rights on NT, and the card would seem missing.
BOOL CSetupApp::CheckPCIKey() {
    HKEY devices;
    BOOL found = FALSE;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\\PCI", 0, KEY_ENUMERATE_SUB_KEYS, &devices) == ERROR_SUCCESS) {
        char name[256];
        for (DWORD i = 0; !found; ++i) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(devices, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
            if (FindText(name, deviceKey)) found = HasInstanceAt(devices, name, location);
        }
        RegCloseKey(devices);
    }
    if (found) return TRUE;
    ShowScriptMessage("CheckPCIKey", kStyleMessage);
    return FALSE;
}
