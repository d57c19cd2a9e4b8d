// The driver's INF files against the DetectCard entries: a card that setup
// accepts should be one the driver installs for, and a card the driver
// supports one that setup lets through. Each OS key counts only the INF
// files and sections that its Windows version reads (formats/infrules.h).
#include "setup/cardentry.h"
#include "tools/pkgtool/formats/cardnames.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/formats/inffile.h"
#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/check/valuetext.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace pkgcheck {
namespace {

typedef std::pair<unsigned, unsigned> Ids;

// An INF file is a few kilobytes; only this much of a larger file is read.
const std::streamsize kMaxInfBytes = 16 << 20;

struct PackageInf {
    std::string path, shown;
    InfFile inf;
    std::set<Ids> ids[2]; // the cards each reader finds, by InfReader
    // The ids Windows 95/98 read in its models lines, by card: read once,
    // however many DetectCard entries and keys ask.
    std::map<Ids, std::vector<PciHardwareId>> win9xModelsIds;
};

const InfReader kReaders[] = {InfReader::kWin9x, InfReader::kNt4};

struct Folder {
    std::string shown; // as the script names it
    std::vector<PackageInf> infs;
    std::set<Ids> ids[2]; // the cards each reader finds in the folder's INF files, by InfReader
    const std::set<Ids>& IdsFor(InfReader r) const { return ids[int(r)]; }
};

// The Windows NT keys other than NT40 install nothing; their DetectCard
// entries are read against what NT 4.0 reads, the nearest rules known.
InfReader ReaderOf(OsKind kind) { return IsNtKind(kind) ? InfReader::kNt4 : InfReader::kWin9x; }

std::set<Ids> IdsOf(const std::vector<InfCard>& cards) {
    std::set<Ids> ids;
    for (const InfCard& c : cards) ids.insert({c.vendor, c.device});
    return ids;
}

std::string Relative(const std::string& path, const std::string& packageDir) {
    std::error_code ec;
    std::string r = fs::relative(path, packageDir, ec).generic_string();
    return ec || r.empty() ? path : r;
}

std::vector<PackageInf> InfsIn(const std::string& folder, const std::string& packageDir) {
    std::vector<PackageInf> infs;
    std::error_code ec;
    // Only folders are searched: a [SubDir] value may name a file.
    if (!fs::is_directory(folder, ec)) return infs;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string ext = it->path().extension().string();
        if (!it->is_regular_file(ec) || !SameName(ext, ".inf")) continue;
        const std::string bytes = ReadFileStart(it->path().string(), size_t(kMaxInfBytes));
        PackageInf inf{it->path().string(), Relative(it->path().string(), packageDir), ReadInf(bytes), {},
                       ModelsIdsByCard(bytes, InfReader::kWin9x)};
        for (InfReader r : kReaders) inf.ids[int(r)] = IdsOf(inf.inf.As(r).cards);
        infs.push_back(inf);
    }
    std::sort(infs.begin(), infs.end(), [](const PackageInf& a, const PackageInf& b) { return a.path < b.path; });
    return infs;
}

std::string Pair(const Ids& ids) { return std::to_string(ids.first) + "," + std::to_string(ids.second); }

long HexField(std::string f) {
    f = TrimBlanks(f);
    if (f.size() > 2 && f[0] == '0' && (f[1] == 'x' || f[1] == 'X')) f = f.substr(2);
    if (!f.empty() && (f.back() == 'h' || f.back() == 'H')) f.pop_back();
    if (f.empty() || f.size() > 4 || f.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return -1;
    return std::stol(f, nullptr, 16);
}

// Why an entry may name no card of the INF: the likely slips of an author.
std::string Suggestion(const std::vector<std::string>& fields, const Ids& read, const std::set<Ids>& listed) {
    const long hv = HexField(fields[0]), hd = HexField(fields[1]);
    std::vector<Ids> hexReadings;
    if (hv >= 0 && hd >= 0) hexReadings.push_back(Ids(hv, hd));
    if (hv >= 0) hexReadings.push_back(Ids(hv, read.second));
    if (hd >= 0) hexReadings.push_back(Ids(read.first, hd));
    for (const Ids& c : hexReadings)
        if (c != read && listed.count(c)) return "written in hexadecimal? use " + Pair(c);
    const Ids swapped(read.second, read.first);
    if (listed.count(swapped)) return "vendor and device are swapped: use " + Pair(swapped);
    for (int i = 0; i < 2; ++i) {
        std::string f = TrimBlanks(fields[i]);
        char* end = nullptr;
        long long n = f.size() > 18 ? 0 : std::strtoll(f.c_str(), &end, 10);
        if (f.empty() || f.size() > 18 || *end != '\0') continue;
        if (n >= 0 && n <= 0xFFFF) continue;
        const unsigned high = unsigned((unsigned long long)n >> 16) & 0xFFFF;
        Ids c = read;
        (i == 0 ? c.first : c.second) = high;
        if (listed.count(c))
            return "the " + std::string(i == 0 ? "vendor" : "device") + " id is off by its low 16 bits: only those of " +
                   f + " count, and the INF's id is its high 16 bits, so use " + Pair(c);
    }
    return "";
}

std::string Joined(const std::vector<std::string>& words) {
    std::string s;
    for (const std::string& w : words) s += (s.empty() ? "" : ", ") + w;
    return s;
}

} // namespace

std::string DriverFolder(const IniFile& ini, OsKind kind, const std::string& packageDir, std::string& shown) {
    std::string value = ReadsSubDir(kind) ? ini.Read("SubDir", OsKeyOf(kind), 256) : std::string();
    shown = value.empty() ? "the launch directory" : value;
    if (value.empty()) return packageDir;
    if (value[0] != '\\' || value.find('[') != std::string::npos) return "";
    return FindWindowsPath(packageDir, value);
}

void CheckDriverInfs(const IniFile& ini, Sink& sink, const SetupReferences& refs, const std::string& packageDir,
                     std::vector<Finding>& out, std::vector<PackageCard>& cards) {
    std::map<Ids, PackageCard> named;
    auto addCard = [&](const Ids& ids, const std::string& where) {
        PackageCard& c = named[ids];
        c.vendor = ids.first, c.device = ids.second;
        if (std::find(c.where.begin(), c.where.end(), where) == c.where.end()) c.where.push_back(where);
    };
    const std::string script = Relative(sink.File(), packageDir);

    // Folders by their path, with the keys that install from each.
    std::map<std::string, Folder> folders;
    std::map<std::string, std::string> folderOfKey;
    std::map<std::string, OsKind> kindOfKey;
    // Folders without an INF, and the keys with DetectCard entries that use them.
    std::map<std::string, std::vector<std::string>> unchecked;
    for (const ListUse& list : refs.lists) {
        kindOfKey[list.key] = list.kind;
        std::string shown, path = DriverFolder(ini, list.kind, packageDir, shown);
        if (!path.empty()) {
            folderOfKey[list.key] = path;
            if (!folders.count(path)) folders[path] = {shown, InfsIn(path, packageDir), {}};
        }
        // An installing key's empty folder is an error of the install check.
        if (!list.installs && !list.detectCard.empty() && (path.empty() || folders[path].infs.empty()))
            unchecked[shown].push_back(list.key);
    }
    for (auto& f : folders) {
        for (const PackageInf& inf : f.second.infs) {
            for (const InfCard& c : inf.inf.cards) addCard({c.vendor, c.device}, inf.shown + ":" + std::to_string(c.line));
            for (InfReader r : kReaders) f.second.ids[int(r)].insert(inf.ids[int(r)].begin(), inf.ids[int(r)].end());
        }
    }

    // DetectCard entries: each pair should be a card of the driver of every
    // key that tries it, as that key's Windows version reads the driver.
    std::map<std::string, std::set<Ids>> acceptedByKey;
    // The package's other INF files, read when an entry needs them.
    bool elsewhereRead = false;
    std::vector<std::pair<std::string, std::vector<InfCard>>> elsewhere;
    for (const NamedSection& section : refs.detectCard) {
        std::vector<std::string> keys;
        for (const ListUse& list : refs.lists)
            for (const std::string& name : list.detectCard)
                if (FoldedName(name) == FoldedName(section.name) &&
                    std::find(keys.begin(), keys.end(), list.key) == keys.end())
                    keys.push_back(list.key);
        for (int n = 1;; ++n) {
            const std::string key = std::to_string(n);
            const std::string entry = ini.Read(section.name, key, 256);
            if (entry.empty()) break;
            unsigned short v = 0, d = 0;
            if (!ReadCardIds(entry.c_str(), &v, &d)) continue;
            const Ids ids(v, d);
            const int line = ini.KeyLine(section.name, key);
            addCard(ids, script + ":" + std::to_string(line));
            for (const std::string& k : keys) acceptedByKey[k].insert(ids);
            std::vector<std::string> missingIn, missingKeys, ignored, subsysOnly, subsysWhere;
            bool anyPlain = false;
            std::set<Ids> listed;
            auto addOnce = [](std::vector<std::string>& list, const std::string& s) {
                if (std::find(list.begin(), list.end(), s) == list.end()) list.push_back(s);
            };
            for (const std::string& k : keys) {
                auto at = folderOfKey.find(k);
                if (at == folderOfKey.end()) continue;
                const Folder& f = folders[at->second];
                const InfReader r = ReaderOf(kindOfKey[k]);
                if (!f.infs.empty() && f.IdsFor(r).count(ids) && r == InfReader::kWin9x)
                    for (const PackageInf& inf : f.infs) {
                        const auto at = inf.win9xModelsIds.find(ids);
                        if (at == inf.win9xModelsIds.end()) continue;
                        const std::vector<PciHardwareId>& listedIds = at->second;
                        bool plain = false;
                        for (const PciHardwareId& m : listedIds) plain = plain || (!m.hasSubsys && !m.hasRev);
                        if (plain) subsysOnly.clear(), anyPlain = true;
                        for (const PciHardwareId& m : listedIds)
                            if (m.hasSubsys && !anyPlain) {
                                char b[24];
                                snprintf(b, sizeof b, "SUBSYS_%08lX", m.subsys);
                                addOnce(subsysOnly, b);
                                addOnce(subsysWhere, TargetPath(inf.shown));
                            }
                    }
                if (f.infs.empty() || f.IdsFor(r).count(ids)) continue;
                missingKeys.push_back(k);
                addOnce(missingIn, f.shown);
                listed.insert(f.IdsFor(r).begin(), f.IdsFor(r).end());
                // An INF that lists the card in a form this version does not read.
                for (const PackageInf& inf : f.infs)
                    for (const auto& m : inf.inf.As(r).missed)
                        if (m.first.vendor == v && m.first.device == d)
                            addOnce(ignored, TargetPath(inf.shown) + " lists it, but not as " + RulesOf(r).systems +
                                                 " read it: " + m.second);
            }
            // DetectCard takes the chip with any subsystem; the device
            // installer of Windows 95/98 matches a SUBSYS_ id only for a
            // card that reports that subsystem (inffile.h, ChooseModelsLine).
            if (!subsysOnly.empty() && !anyPlain) {
                std::vector<std::string> shown(subsysOnly.begin(), subsysOnly.begin() + std::min<size_t>(8, subsysOnly.size()));
                if (subsysOnly.size() > 8) shown.push_back("... (" + std::to_string(subsysOnly.size()) + " in all)");
                char hw[40];
                snprintf(hw, sizeof hw, "PCI\\VEN_%04X&DEV_%04X", v, d);
                char card[40];
                snprintf(card, sizeof card, "%04x:%04x:%s", v, d, subsysOnly.front().c_str() + 7);
                const std::string fix = "add a models line with " + std::string(hw) + " alone to " +
                                        Joined(subsysWhere) + " if the driver serves every such card, or check a "
                                        "card with pkgtool run --card " + card;
                sink.Warning(line, "card-subsys-only",
                             Joined(subsysWhere) + " lists the card " + PciCardLabel(v, d) + " of this entry only "
                             "with subsystem ids (" + Joined(shown) + "): DetectCard accepts the chip with any "
                             "subsystem, but Windows 95 and 98 install the driver only for a card that reports one of "
                             "these, and a card with another gets no driver: " + fix,
                             fix);
            }
            if (missingKeys.empty()) continue;
            std::string why = Suggestion(SplitFields(entry), ids, listed);
            for (const std::string& i : ignored) why = i + (why.empty() ? "" : "; " + why);
            // An INF of the package outside those folders that lists the card.
            if (!elsewhereRead) {
                elsewhereRead = true;
                std::error_code ec;
                size_t seen = 0;
                for (fs::recursive_directory_iterator it(packageDir, ec), end; !ec && it != end && seen < 100000;
                     it.increment(ec), ++seen) {
                    if (it.depth() >= 16) it.disable_recursion_pending();
                    std::error_code fec;
                    if (!it->is_regular_file(fec) || !SameName(it->path().extension().string(), ".inf") ||
                        folders.count(it->path().parent_path().string()))
                        continue;
                    elsewhere.push_back({TargetPath(Relative(it->path().string(), packageDir)),
                                         ReadInfCards(ReadFileStart(it->path().string(), size_t(kMaxInfBytes)))});
                }
                std::sort(elsewhere.begin(), elsewhere.end(),
                          [](const auto& a, const auto& b) { return a.first < b.first; });
            }
            for (const auto& other : elsewhere)
                for (const InfCard& c : other.second)
                    if (c.vendor == v && c.device == d) {
                        std::string shown = other.first;
                        std::replace(shown.begin(), shown.end(), '/', '\\');
                        why += (why.empty() ? "" : "; ") + shown + " (line " + std::to_string(c.line) +
                               ") lists it, outside the folder: move it into " + Joined(missingIn);
                    }
            char hw[40];
            snprintf(hw, sizeof hw, "PCI\\VEN_%04X&DEV_%04X", v, d);
            const std::string fix = "[" + section.name + "] " + key + "=" + entry + ": " +
                                    (why.empty() ? "add a models line for " + std::string(hw) + " to the INF in " +
                                                       Joined(missingIn) + ", or drop the entry"
                                                 : why);
            sink.Error(line, "card-not-in-inf",
                       "no driver INF in " + Joined(missingIn) + " (" + Joined(missingKeys) + ") lists the card " +
                           PciCardLabel(v, d) + " of this entry: setup accepts it, but the driver does not install "
                           "for it; " + fix,
                       fix);
        }
    }

    for (const auto& f : folders) {
        // The keys that install from the folder, by the reader of their version.
        std::map<InfReader, std::vector<std::string>> installers;
        for (const ListUse& list : refs.lists) {
            auto at = folderOfKey.find(list.key);
            if (at != folderOfKey.end() && at->second == f.first && (list.installs || !list.detectCard.empty()))
                installers[ReaderOf(list.kind)].push_back(list.key);
        }
        for (const PackageInf& inf : f.second.infs) {
            Sink infSink(out, inf.path, sink.Options());
            // INF cards that the DetectCard entries of a key that installs them turn away.
            for (const InfCard& c : inf.inf.cards) {
                std::vector<std::string> refusing, sections;
                for (const ListUse& list : refs.lists) {
                    auto at = folderOfKey.find(list.key);
                    if (list.detectCard.empty() || at == folderOfKey.end() || at->second != f.first) continue;
                    if (!inf.ids[int(ReaderOf(list.kind))].count({c.vendor, c.device})) continue;
                    if (acceptedByKey[list.key].count({c.vendor, c.device})) continue;
                    refusing.push_back(list.key);
                    if (std::find(sections.begin(), sections.end(), "[" + list.detectCard[0] + "]") == sections.end())
                        sections.push_back("[" + list.detectCard[0] + "]");
                }
                if (!refusing.empty()) {
                    const std::string fix = "add the entry " + std::to_string(c.vendor) + "," +
                                            std::to_string(c.device) + ",PCI,1,0 (or AGP) to " + Joined(sections) +
                                            " of " + script;
                    infSink.Warning(c.line, "card-turned-away",
                                    "the driver supports " + PciCardLabel(c.vendor, c.device) +
                                        ", but no DetectCard entry of " + Joined(refusing) +
                                        " lists it, so setup turns that card away there: " + fix,
                                    fix);
                }
            }
            std::set<std::pair<int, std::string>> noticed;
            for (const auto& used : installers) {
                const InfReading& reading = inf.inf.As(used.first);
                // A file this version cannot use, in a folder where no other INF serves it.
                if (!inf.inf.cards.empty() && reading.cards.empty() && f.second.IdsFor(used.first).empty()) {
                    const std::string fix = "correct this file as said, or put an INF that " +
                                            std::string(RulesOf(used.first).systems) + " read into " +
                                            f.second.shown;
                    infSink.Error(reading.takesFile ? reading.missed.front().first.line : 0, "inf-not-read",
                                  std::string(RulesOf(used.first).systems) + " (" + Joined(used.second) +
                                      ") find no card in this file: " +
                                      (reading.takesFile ? reading.missed.front().second : reading.whyNot) +
                                      ". The driver installs for no card there: " + fix,
                                  fix);
                }
                for (const InfNotice& n : reading.notices)
                    if (noticed.insert({n.line, n.code}).second) infSink.Warning(n.line, n.code, n.message, n.fix);
            }
        }
    }

    for (const auto& u : unchecked)
        sink.Note(0, "no-inf",
                  "the package holds no driver INF file in " + u.first + ", which " + Joined(u.second) +
                      " install from, so their DetectCard entries were not compared with the cards the driver "
                      "supports");
    for (auto& kv : named) {
        kv.second.name = PciCardName(kv.first.first, kv.first.second);
        std::stable_partition(kv.second.where.begin(), kv.second.where.end(),
                              [&](const std::string& w) { return w.compare(0, script.size() + 1, script + ":") == 0; });
        cards.push_back(kv.second);
    }
}

} // namespace pkgcheck
