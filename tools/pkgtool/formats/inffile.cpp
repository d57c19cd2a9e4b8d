#include "tools/pkgtool/formats/inffile.h"
#include "tools/pkgtool/formats/inftext.h"

#include <algorithm>
#include <map>
#include <set>

namespace pkgcheck {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Four hexadecimal digits at s[at]; -1 when there are not.
long Hex4(const std::string& s, size_t at) {
    if (at + 4 > s.size()) return -1;
    long v = 0;
    for (size_t i = at; i < at + 4; ++i) {
        int d = HexValue(s[i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

bool ParsePciId(const std::string& id, unsigned& vendor, unsigned& device) {
    std::string l = InfLower(id);
    if (l.size() < 21 || l.compare(0, 8, "pci\\ven_") != 0 || l.compare(12, 5, "&dev_") != 0) return false;
    long v = Hex4(l, 8), d = Hex4(l, 17);
    if (v < 0 || d < 0 || (l.size() > 21 && l[21] != '&')) return false;
    vendor = unsigned(v), device = unsigned(d);
    return true;
}

typedef std::pair<unsigned, unsigned> Ids;

// One reading of the file, leniently (rules null) or as a target reads it.
struct Reading {
    InfReading result;
    std::set<std::string> absentModels; // undecorated models sections [Manufacturer] names that the file lacks
};

Reading Read(const std::string& bytes, const InfRules* rules) {
    Reading r;
    InfReading& out = r.result;
    const InfMark mark = InfMarkOf(bytes);
    const std::string systems = rules ? rules->systems : "";
    if (rules && mark == InfMark::kUtf16 && !rules->readsUtf16) {
        out.takesFile = false;
        out.whyNot = "the file is UTF-16 (Unicode) text, and " + systems + " read only ANSI INF files";
        return r;
    }
    // No document of the time has an INF reader decode UTF-8: for the
    // targets a mark is three bytes of text.
    const InfText inf(InfNarrow(bytes, !rules), rules);
    if (rules) {
        std::string signature, note;
        int line = 0;
        if (!inf.Value("version", "signature", signature, line)) {
            out.takesFile = false;
            const InfSection* first = inf.Find("");
            const bool markHidesVersion = mark == InfMark::kUtf8 && first && !first->lines.empty() &&
                                          InfLower(first->lines[0].text).find("[version]") != std::string::npos;
            out.whyNot = markHidesVersion
                             ? "the file begins with a UTF-8 byte order mark, which " + systems +
                                   " read as three characters of text, so [Version] is no section header there and "
                                   "the file has no Signature"
                             : "it has no Signature in [Version], and " + systems + " take a file without one for no INF";
            return r;
        }
        const SignatureVerdict verdict = rules->signature(signature, note);
        if (verdict == SignatureVerdict::kRefused) {
            out.takesFile = false;
            out.whyNot = "its Signature \"" + signature + "\" (line " + std::to_string(line) + ") is none that " +
                         systems + " accept (" + rules->signatures + ")";
            return r;
        }
        if (verdict == SignatureVerdict::kUndecided)
            out.notices.push_back({line, "inf-signature",
                                   "the Signature \"" + signature + "\": " + note +
                                       "; every system of the time takes $Chicago$: write Signature=\"$Chicago$\"",
                                   "write Signature=\"$Chicago$\""});
        if (rules->largestFile && bytes.size() > rules->largestFile)
            out.notices.push_back({0, "inf-size", "the file has " + std::to_string(bytes.size()) + " bytes; forum "
                                                  "reports (no documentation) say " + systems + " fail on INF files "
                                                  "over 64 KB: keep it below 64 KB, e.g. one INF a language",
                                   "keep it below 64 KB, e.g. one INF a language"});
    }
    const InfSection* manufacturer = inf.Find("manufacturer");
    if (!manufacturer) return r;
    std::set<Ids> seen;
    std::set<std::string> modelsSeen;
    for (const InfLine& m : manufacturer->lines) {
        const std::vector<std::string> models = inf.ModelsSections(m, !rules || rules->readsDecoratedModels);
        if (!inf.Find(models[0])) r.absentModels.insert(InfLower(InfTrim(models[0])));
        for (const std::string& name : models) {
            const InfSection* s = inf.Find(name);
            if (!s || !modelsSeen.insert(InfLower(InfTrim(name))).second) continue;
            if (rules && rules->longestSectionName && s->name.size() > rules->longestSectionName)
                out.notices.push_back({s->line, "inf-section-name",
                                       "the models section [" + s->name + "] has a name of " +
                                           std::to_string(s->name.size()) + " characters; the Windows 2000 DDK says "
                                           "that on Windows 98 section names should be no longer than " +
                                           std::to_string(rules->longestSectionName) + ": rename it, here and in "
                                           "[Manufacturer], to " + std::to_string(rules->longestSectionName) +
                                           " characters or fewer",
                                       "rename it, here and in [Manufacturer], to " +
                                           std::to_string(rules->longestSectionName) + " characters or fewer"});
            for (const InfLine& l : s->lines) {
                std::string k, v;
                bool e = false;
                InfSplit(l.text, k, v, e);
                if (!e) continue;
                std::vector<std::string> ids = InfFields(inf.Substitute(v));
                for (size_t i = 1; i < ids.size(); ++i) {
                    InfCard c;
                    if (!ParsePciId(ids[i], c.vendor, c.device)) continue;
                    c.line = l.number;
                    c.section = s->name;
                    if (seen.insert({c.vendor, c.device}).second) out.cards.push_back(c);
                }
            }
        }
    }
    return r;
}

std::set<Ids> IdsOf(const InfReading& r) {
    std::set<Ids> ids;
    for (const InfCard& c : r.cards) ids.insert({c.vendor, c.device});
    return ids;
}

// Why a target does not find a card that the lenient reading does: the rule
// that, relaxed alone, lets it through.
class WhyMissed {
public:
    WhyMissed(const std::string& bytes, const InfRules& rules, const Reading& target) : rules_(rules), target_(target) {
        if (!target.result.takesFile) return;
        InfRules decorated = rules, localized = rules;
        decorated.readsDecoratedModels = true;
        localized.readsLocalizedStrings = true;
        decorated_ = IdsOf(Read(bytes, &decorated).result);
        localized_ = IdsOf(Read(bytes, &localized).result);
    }

    std::string operator()(const InfCard& card) const {
        if (!target_.result.takesFile) return target_.result.whyNot;
        const std::string systems = rules_.systems;
        const Ids ids(card.vendor, card.device);
        if (decorated_.count(ids)) {
            const std::string base = card.section.substr(0, card.section.find('.'));
            return "[" + card.section + "] has a target decoration, which only Windows XP and later read; " + systems +
                   " read the undecorated [" + base + "] that [Manufacturer] names" +
                   (target_.absentModels.count(InfLower(base)) ? ", and the file lacks it" : ", which does not list it");
        }
        if (localized_.count(ids))
            return "the id comes from a %token% that only a [Strings.LanguageID] section defines, and " + systems +
                   " ignore those sections";
        return "it is in no models section that " + systems + " read";
    }

private:
    const InfRules& rules_;
    const Reading& target_;
    std::set<Ids> decorated_, localized_;
};

} // namespace

bool ParsePciHardwareId(const std::string& id, unsigned& vendor, unsigned& device) {
    return ParsePciId(id, vendor, device);
}

bool ParsePciHardwareIdParts(const std::string& id, PciHardwareId& out) {
    if (!ParsePciId(id, out.vendor, out.device)) return false;
    const std::string l = InfLower(InfTrim(id));
    size_t at = 21;
    if (l.compare(at, 8, "&subsys_") == 0) {
        const long hi = Hex4(l, at + 8), lo = Hex4(l, at + 12);
        if (hi < 0 || lo < 0) return false;
        out.hasSubsys = true, out.subsys = (unsigned long)hi << 16 | (unsigned long)lo;
        at += 16;
    }
    if (l.compare(at, 5, "&rev_") == 0) {
        if (at + 7 > l.size() || HexValue(l[at + 5]) < 0 || HexValue(l[at + 6]) < 0) return false;
        out.hasRev = true, out.rev = unsigned(HexValue(l[at + 5]) * 16 + HexValue(l[at + 6]));
        at += 7;
    }
    return at == l.size();
}

namespace {

// Calls fn(match, id, field) for every PCI id of every models line the
// reader takes; field 1 is the line's hardware id, later ones compatible ids.
template <class Fn>
void ForEachModelsId(const std::string& bytes, InfReader reader, Fn fn) {
    const InfRules& rules = RulesOf(reader);
    if (InfMarkOf(bytes) == InfMark::kUtf16 && !rules.readsUtf16) return;
    const InfText inf(InfNarrow(bytes, false), &rules);
    inf.ForEachModelsLine(rules.readsDecoratedModels, [&](const InfSection& s, const InfLine& l, const std::string&,
                                                          const std::string& v) {
        const std::vector<std::string> ids = InfFields(inf.Substitute(v));
        for (size_t i = 1; i < ids.size(); ++i) {
            PciHardwareId id;
            if (!ParsePciHardwareIdParts(ids[i], id)) continue;
            ModelsMatch match;
            match.line = l.number, match.section = s.name, match.installSection = ids[0], match.id = ids[i];
            fn(match, id, i);
        }
    });
}

// The PCI bus enumerator reports a card's hardware ids most specific first:
// VEN&DEV&SUBSYS&REV, VEN&DEV&SUBSYS, VEN&DEV&REV, VEN&DEV; the device
// installer ranks a models line by the position of the card's id that its
// hardware id (field 1) matches, and a match of a compatible id (later
// fields) below every hardware-id match (Windows 2000 DDK, "Identifiers for
// PCI Devices" and "How Setup Selects Drivers"; KB Q279112). No Windows
// 95/98 DDK page found states the order for 9x: the same order is taken.
// NT 4.0 has no such choice: its Display applet lists every models line.
int RankOf(const PciHardwareId& id, size_t field, const CardHardware& card) {
    if (id.vendor != card.vendor || id.device != card.device || id.hasRev) return -1;
    int position;
    if (id.hasSubsys) {
        if (!card.subsysKnown || id.subsys != card.subsys) return -1;
        position = 1;
    } else {
        position = 3;
    }
    return (field == 1 ? 0 : 0x1000) + position;
}

} // namespace

ModelsMatch ChooseModelsLine(const std::string& bytes, InfReader reader, const CardHardware& card) {
    ModelsMatch best;
    ForEachModelsId(bytes, reader, [&](const ModelsMatch& m, const PciHardwareId& id, size_t field) {
        const int rank = RankOf(id, field, card);
        if (rank >= 0 && (best.rank < 0 || rank < best.rank)) {
            best = m;
            best.rank = rank;
        }
    });
    return best;
}

std::vector<std::pair<ModelsMatch, PciHardwareId>> ModelsIdsOf(const std::string& bytes, InfReader reader,
                                                               unsigned vendor, unsigned device) {
    std::vector<std::pair<ModelsMatch, PciHardwareId>> out;
    ForEachModelsId(bytes, reader, [&](const ModelsMatch& m, const PciHardwareId& id, size_t) {
        if (id.vendor == vendor && id.device == device && out.size() < 4096) out.push_back({m, id});
    });
    return out;
}

std::map<std::pair<unsigned, unsigned>, std::vector<PciHardwareId>> ModelsIdsByCard(const std::string& bytes,
                                                                                    InfReader reader) {
    std::map<std::pair<unsigned, unsigned>, std::vector<PciHardwareId>> out;
    ForEachModelsId(bytes, reader, [&](const ModelsMatch&, const PciHardwareId& id, size_t) {
        std::vector<PciHardwareId>& ids = out[{id.vendor, id.device}];
        if (ids.size() < 4096) ids.push_back(id);
    });
    return out;
}

InfReading ReadInfAs(const std::string& bytes, InfReader reader) { return Read(bytes, &RulesOf(reader)).result; }

std::vector<InfCard> ReadInfCards(const std::string& bytes) { return Read(bytes, nullptr).result.cards; }

InfFile ReadInf(const std::string& bytes) {
    InfFile file;
    file.cards = ReadInfCards(bytes);
    for (InfReader reader : {InfReader::kWin9x, InfReader::kNt4}) {
        const InfRules& rules = RulesOf(reader);
        const Reading target = Read(bytes, &rules);
        InfReading& out = reader == InfReader::kWin9x ? file.win9x : file.nt4;
        out = target.result;
        const std::set<Ids> found = IdsOf(out);
        const WhyMissed why(bytes, rules, target);
        for (const InfCard& c : file.cards)
            if (!found.count({c.vendor, c.device})) out.missed.push_back({c, why(c)});
    }
    return file;
}

} // namespace pkgcheck
