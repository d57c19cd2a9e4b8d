// Names of PCI cards from the system's PCI id database, read through libpci.
// Where the tool was built without libpci, or the database is missing or
// unreadable at run time, cards have no names and everything else works.
#pragma once
#include <string>

// "Vendor Device" as the database names them, the vendor alone when only it
// is known, "" when neither is.
std::string PciCardName(unsigned vendor, unsigned device);

// "1013:00B8 Vendor Device", or "1013:00B8" without a name.
std::string PciCardLabel(unsigned vendor, unsigned device);

// Reads names from another database file from now on ("" for the system's).
void UsePciIdsFile(const std::string& path);

// Whether the tool was built with libpci (else there are never names).
bool PciNamesBuiltIn();
