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

// One asm statement, so that the compiler can put nothing between the
// address write and the four data reads. The bytes gather in CX (b0, b1) and
// AX (b2, b3) and end as b3:b2:b1:b0 in EAX.
unsigned long PciReadConfigDword(unsigned long address) {
    unsigned long value = address;
    unsigned long low;
    unsigned long port = 0xCF8;
    __asm__ __volatile__(
        "outl %%eax, %%dx\n\t"
        "movw $0xCFC, %%dx\n\t"
        "inb %%dx, %%al\n\t"
        "movb %%al, %%cl\n\t"
        "incw %%dx\n\t"
        "inb %%dx, %%al\n\t"
        "movb %%al, %%ch\n\t"
        "incw %%dx\n\t"
        "inb %%dx, %%al\n\t"
        "movb %%al, %%ah\n\t"
        "incw %%dx\n\t"
        "inb %%dx, %%al\n\t"
        "xchgb %%al, %%ah\n\t"
        "shll $16, %%eax\n\t"
        "movw %%cx, %%ax"
        : "+a"(value), "=&c"(low), "+d"(port)
        :
        : "memory", "cc");
    return value;
}
