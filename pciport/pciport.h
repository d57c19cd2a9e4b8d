// The one platform service Win32 has no function for: PCI configuration
// space through configuration mechanism #1 (ports 0xCF8 and 0xCFC-0xCFF).
// On Windows it is the port instructions themselves; on the host, the
// simulated bus. A configuration read is one address write followed by the
// data reads, with nothing in between.
#pragma once

void PortWriteDword(unsigned short port, unsigned long value);
unsigned char PortReadByte(unsigned short port);
