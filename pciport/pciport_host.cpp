#include "pciport/pciport.h"
#include "simwin/machine.h"

// The NT family faults user-mode port I/O; the simulated PC records the
// fault so that a test sees the program went there at all.
static bool Faults(sim::Machine& m) {
    if (m.platformId != VER_PLATFORM_WIN32_NT) return false;
    ++m.portFaults;
    m.Record("fault: privileged instruction");
    return true;
}

void PortWriteDword(unsigned short port, unsigned long value) {
    sim::Machine& m = sim::Current();
    if (Faults(m)) return;
    if (port == 0xCF8) {
        m.pciAddress = (uint32_t)value;
        ++m.pciProbes;
    }
}

unsigned char PortReadByte(unsigned short port) {
    sim::Machine& m = sim::Current();
    if (Faults(m)) return 0xFF;
    if (port < 0xCFC || port > 0xCFF) return 0xFF;
    uint32_t a = m.pciAddress;
    if (!(a & 0x80000000u) || (a & 0xFF) != 0) return 0xFF;
    auto it = m.pciFunctions.find((a >> 8) & 0xFFFF);
    uint32_t id = it == m.pciFunctions.end() ? 0xFFFFFFFFu : it->second;
    return (unsigned char)(id >> (8 * (port - 0xCFC)));
}

unsigned long PciReadConfigDword(unsigned long address) {
    PortWriteDword(0xCF8, address);
    unsigned long value = 0;
    for (unsigned short port = 0xCFC; port <= 0xCFF; ++port)
        value |= (unsigned long)PortReadByte(port) << (8 * (port - 0xCFC));
    return value;
}
