// What an author captures on the PC they own, for a dry run on it: the PCI
// bus as `lspci -n` prints it (from a Linux live medium), and the registry
// as REGEDIT4 exports it (from that PC's Windows 98).
#pragma once
#include "simwin/machine.h"
#include <string>
#include <vector>

// A function on the PCI bus.
struct PciCard {
    unsigned vendor = 0, device = 0, bus = 1, slot = 0, function = 0;
    // The eight digits of SUBSYS_ in its hardware id, when known.
    bool subsysKnown = false;
    unsigned long subsys = 0;
    // Its slot was given (--card ...@BUS:DEV:FN, a capture): Windows has
    // registered it there, whatever the script assumes.
    bool placed = false;
    // Its instance key under Enum\PCI\VEN_xxxx&DEV_xxxx where Windows has
    // detected it; "" for BUS_bb&DEV_dd&FUNC_ff of its location.
    std::string instance;
};

// A key under HKEY_LOCAL_MACHINE, with one value when `hasValue`.
struct RegistryEntry {
    std::string key; // "Enum\\PCI\\VEN_1013&DEV_00B8..."
    bool hasValue = false;
    std::string valueName; // "" for the default value
    sim::RegValue value;
};

// Adds a card per function line of `lspci -n` output (`-nn`, `-D` and `-v`
// output read too). Functions outside PCI domain 0 are left out with a
// note: the configuration ports do not reach them; a capture without a
// function is an error. Returns an error text
// naming the line, or "".
std::string ReadLspci(const std::string& text, std::vector<PciCard>& cards, std::vector<std::string>& notes);

// Reads the keys and values under HKEY_LOCAL_MACHINE of a registry export;
// other roots are left out. Returns an error text naming the line, or "";
// adds to `notes` what would keep CheckPCIKey from finding a card in it.
std::string ReadRegistryExport(const std::string& text, std::vector<RegistryEntry>& entries,
                               std::vector<std::string>* notes = nullptr);
