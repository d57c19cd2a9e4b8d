#include "setup/pciscan.h"

unsigned long PciConfigAddress(unsigned bus, unsigned device, unsigned function) {
    return 0x80000000ul | (unsigned long)(bus & 0xFF) << 16 | (unsigned long)(device & 0x1F) << 11 |
           (unsigned long)(function & 7) << 8;
}

static unsigned long PairId(unsigned short vendor, unsigned short device) {
    return (unsigned long)device << 16 | vendor;
}

bool FindPciPair(unsigned short vendor, unsigned short device, PciProbe probe, void* context, PciLocation* where,
                 unsigned long* probes) {
    const unsigned long wanted = PairId(vendor, device);
    bool found = false;
    unsigned long count = 0;
    for (unsigned bus = 0; bus < kPciBuses; ++bus) {
        for (unsigned dev = 0; dev < kPciDevices; ++dev) {
            for (unsigned fn = 0; fn < kPciFunctions; ++fn) {
                ++count;
                if ((probe(PciConfigAddress(bus, dev, fn), context) & 0xFFFFFFFFul) != wanted) continue;
                where->bus = (unsigned char)bus;
                where->device = (unsigned char)dev;
                where->function = (unsigned char)fn;
                found = true;
                break;
            }
        }
    }
    if (probes) *probes += count;
    return found;
}

void ClearPciInventory(PciInventory* inventory) {
    inventory->count = 0;
    inventory->overflowed = false;
    inventory->probes = 0;
}

void TakePciInventory(PciInventory* inventory, PciProbe probe, void* context) {
    ClearPciInventory(inventory);
    PciSighting* last = 0; // nearly every probe repeats the one before (all ones)
    for (unsigned bus = 0; bus < kPciBuses; ++bus) {
        for (unsigned dev = 0; dev < kPciDevices; ++dev) {
            const unsigned short stamp = (unsigned short)(1 + bus * kPciDevices + dev);
            for (unsigned fn = 0; fn < kPciFunctions; ++fn) {
                const unsigned long id = probe(PciConfigAddress(bus, dev, fn), context) & 0xFFFFFFFFul;
                ++inventory->probes;
                PciSighting* s = last && last->id == id ? last : 0;
                for (unsigned i = 0; !s && i < inventory->count; ++i)
                    if (inventory->items[i].id == id) s = &inventory->items[i];
                if (!s) {
                    if (inventory->count == PciInventory::kCapacity) {
                        inventory->overflowed = true;
                        continue;
                    }
                    s = &inventory->items[inventory->count++];
                    s->id = id;
                    s->stamp = 0;
                }
                last = s;
                // Functions come in ascending order: the first sighting in a
                // device is its lowest function; a later device replaces it.
                if (s->stamp == stamp) continue;
                s->stamp = stamp;
                s->where.bus = (unsigned char)bus;
                s->where.device = (unsigned char)dev;
                s->where.function = (unsigned char)fn;
            }
        }
    }
}

PciLookup LookUpPciPair(const PciInventory* inventory, unsigned short vendor, unsigned short device,
                        PciLocation* where) {
    const unsigned long wanted = PairId(vendor, device);
    for (unsigned i = 0; i < inventory->count; ++i) {
        if (inventory->items[i].id != wanted) continue;
        *where = inventory->items[i].where;
        return kPciFound;
    }
    return inventory->overflowed ? kPciUnknown : kPciAbsent;
}
