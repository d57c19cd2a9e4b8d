// The one platform service Win32 has no function for: PCI configuration
// space through configuration mechanism #1 (ports 0xCF8 and 0xCFC-0xCFF).
// On Windows it is the port instructions themselves; on the host, the
// simulated bus. A configuration read is one address write followed by the
// data reads, with nothing in between.
//
// The NT family faults user-mode port I/O: callers must not come here there.
#pragma once

void PortWriteDword(unsigned short port, unsigned long value);
unsigned char PortReadByte(unsigned short port);

// One configuration read: the address dword to 0xCF8, then the bytes of
// 0xCFC, 0xCFD, 0xCFE and 0xCFF, in that order, as one little-endian dword.
// An absent function reads as all ones.
unsigned long PciReadConfigDword(unsigned long address);
