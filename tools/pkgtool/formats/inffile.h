// The cards a driver's INF file supports: the PCI hardware ids its models
// sections list, read as the system's setup reads an INF (sections in any
// letter case, [Strings] substitution, quoted values, ';' comments, lines
// continued by a final backslash).
#pragma once
#include <string>
#include <vector>

namespace pkgcheck {

struct InfCard {
    unsigned vendor = 0, device = 0;
    int line = 0; // where the id is written (the first line of a continued line)
};

// The PCI\VEN_xxxx&DEV_xxxx ids of the models sections that [Manufacturer]
// names, each vendor and device pair once, at its first line. Any bytes are
// accepted: what is no INF gives no card.
std::vector<InfCard> ReadInfCards(const std::string& bytes);

} // namespace pkgcheck
