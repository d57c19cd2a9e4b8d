// The cards a driver's INF file supports: the PCI hardware ids its models
// sections list, read as the system's setup reads an INF (sections in any
// letter case, [Strings] substitution, quoted values, ';' comments, lines
// continued by a final backslash). The file is read once as any INF reader
// would, and once as each target reads it (infrules.h), so that an id the
// target never sees does not count there.
#pragma once
#include "tools/pkgtool/formats/infrules.h"
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pkgcheck {

struct InfCard {
    unsigned vendor = 0, device = 0;
    int line = 0;        // where the id is written (the first line of a continued line)
    std::string section; // the models section that lists it, as its header writes it
};

// Something about how a target reads the file that may go wrong.
struct InfNotice {
    int line = 0; // 0 for the whole file
    std::string code, message;
    std::string fix = ""; // the advice that ends the message
};

struct InfReading {
    bool takesFile = true; // the reader takes the file as an INF at all
    std::string whyNot;    // when it does not: why, as a clause for a message
    std::vector<InfCard> cards;
    // Cards of the lenient reading that this reader does not find, each with why.
    std::vector<std::pair<InfCard, std::string>> missed;
    std::vector<InfNotice> notices;
};

struct InfFile {
    std::vector<InfCard> cards; // the lenient reading
    InfReading win9x, nt4;
    const InfReading& As(InfReader reader) const { return reader == InfReader::kWin9x ? win9x : nt4; }
};

// The PCI\VEN_xxxx&DEV_xxxx ids of the models sections that [Manufacturer]
// names, each vendor and device pair once, at its first line. Any bytes are
// accepted: what is no INF gives no card.
InfFile ReadInf(const std::string& bytes);
// A hardware id PCI\VEN_xxxx&DEV_xxxx[&...], in any letter case.
bool ParsePciHardwareId(const std::string& id, unsigned& vendor, unsigned& device);
// A PCI hardware id with its optional parts: PCI\VEN_v&DEV_d[&SUBSYS_s][&REV_r].
struct PciHardwareId {
    unsigned vendor = 0, device = 0;
    bool hasSubsys = false, hasRev = false;
    unsigned long subsys = 0; // the eight digits: subsystem id, then its vendor
    unsigned rev = 0;
};
// false for any other form (a class code &CC_, text after the id).
bool ParsePciHardwareIdParts(const std::string& id, PciHardwareId& out);

// A card as the PCI bus enumerator names it; subsysKnown false when it is
// not known (the card then matches only lines without SUBSYS_). Its
// revision is never known, so a REV_ id never matches it.
struct CardHardware {
    unsigned vendor = 0, device = 0;
    bool subsysKnown = false;
    unsigned long subsys = 0;
};

// A models line that lists a card, and how well it matches.
struct ModelsMatch {
    int rank = -1;       // lower is better; -1: the line does not match
    int line = 0;
    std::string section; // the models section, as its header writes it
    std::string installSection, id;
};

// The models line the target's device installer chooses for the card: the
// best rank, the first such line in file order on a tie. rank -1 when no
// line lists the card.
ModelsMatch ChooseModelsLine(const std::string& bytes, InfReader reader, const CardHardware& card);
// Every id a models line lists for the vendor and device (any subsystem),
// in file order, as the target reads the file.
std::vector<std::pair<ModelsMatch, PciHardwareId>> ModelsIdsOf(const std::string& bytes, InfReader reader,
                                                               unsigned vendor, unsigned device);
// The ids of ModelsIdsOf for every vendor and device at once, from one
// reading of the file.
std::map<std::pair<unsigned, unsigned>, std::vector<PciHardwareId>> ModelsIdsByCard(const std::string& bytes,
                                                                                    InfReader reader);

// One target's reading alone, without what it misses.
InfReading ReadInfAs(const std::string& bytes, InfReader reader);
// The lenient reading alone.
std::vector<InfCard> ReadInfCards(const std::string& bytes);

} // namespace pkgcheck
