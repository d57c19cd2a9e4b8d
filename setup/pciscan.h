// The PCI bus scan of card detection, platform-free: the configuration read
// comes in as a probe function, so that tests and the benchmark can supply a
// bus of their own and count the probes.
//
// Scan order: bus 0-255 outermost, then device 0-31, then function 0-7. A
// pair (vendor, device) is found at the last device in scan order that has
// it, and within that device at its lowest function. Nothing tests for
// presence: an absent function reads as all ones, so it is found by the pair
// 65535, 65535.
#pragma once

// Reads configuration register 0 (device word << 16 | vendor word) at a
// configuration address.
typedef unsigned long (*PciProbe)(unsigned long address, void* context);

enum { kPciBuses = 256, kPciDevices = 32, kPciFunctions = 8 };

// Bit 31 set, bus in 23-16, device in 15-11, function in 10-8, register 0.
unsigned long PciConfigAddress(unsigned bus, unsigned device, unsigned function);

struct PciLocation {
    unsigned char bus, device, function;
};

// The scan for one pair, function by function, as one entry asks it: the
// functions after a device's first match are not probed. *probes, when
// given, is increased by the number of probes made.
bool FindPciPair(unsigned short vendor, unsigned short device, PciProbe probe, void* context, PciLocation* where,
                 unsigned long* probes = 0);

// Everything one full scan sees: every distinct register value with the
// location that FindPciPair would give for it. One inventory answers any
// number of entries, so a command scans the bus once, not once per entry.
// A bus with more distinct values than fit is marked overflowed; values not
// held are then unknown, not absent.
struct PciSighting {
    unsigned long id;
    unsigned short stamp; // 1 + bus * 32 + device of the device that last set where
    PciLocation where;
};

struct PciInventory {
    enum { kCapacity = 128 };
    unsigned count;
    bool overflowed;
    unsigned long probes;
    PciSighting items[kCapacity];
};

void ClearPciInventory(PciInventory* inventory);
// Probes all 65,536 functions.
void TakePciInventory(PciInventory* inventory, PciProbe probe, void* context);

enum PciLookup { kPciAbsent, kPciFound, kPciUnknown };
PciLookup LookUpPciPair(const PciInventory* inventory, unsigned short vendor, unsigned short device,
                        PciLocation* where);
