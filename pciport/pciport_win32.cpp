#include "pciport/pciport.h"

// Ring-3 port access: Windows 95 and 98 let it through (or emulate it);
// the NT family faults, so callers must not come here on NT.
void PortWriteDword(unsigned short port, unsigned long value) {
    __asm__ __volatile__("outl %0, %w1" : : "a"(value), "Nd"(port) : "memory");
}

unsigned char PortReadByte(unsigned short port) {
    unsigned char value;
    __asm__ __volatile__("inb %w1, %0" : "=a"(value) : "Nd"(port) : "memory");
    return value;
}
