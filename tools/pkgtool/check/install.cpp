// The driver's install as each OS key's Windows performs it: the folder
// Install hands over, the INF files there that the version reads, and every
// file their install copies, against what the package holds
// (formats/infinstall.h holds the model; this file turns it into findings).
#include "setup/cardentry.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/formats/cardnames.h"
#include "tools/pkgtool/formats/inffile.h"
#include "tools/pkgtool/formats/infinstall.h"
#include "tools/pkgtool/formats/pkgfiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace pkgcheck {
namespace {

// A package's files are found by name when one is missing; a walk stops
// here on a tree no package has.
const size_t kMaxIndexed = 100000;
const int kMaxDepth = 16;

std::string Joined(const std::vector<std::string>& words) {
    std::string s;
    for (const std::string& w : words) s += (s.empty() ? "" : ", ") + w;
    return s;
}

std::string WindowsPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string Relative(const std::string& path, const std::string& root) {
    std::error_code ec;
    std::string r = fs::relative(path, root, ec).generic_string();
    return ec || r.empty() ? path : r;
}

// An INF file is a few kilobytes; only this much of a larger file is read.
std::string ReadBytes(const std::string& path) { return ReadFileStart(path, 16 << 20); }

bool IsInf(const fs::directory_entry& e) {
    std::error_code ec;
    return e.is_regular_file(ec) && SameName(e.path().extension().string(), ".inf");
}

// Every file of the package by its name in lower case, paths relative to
// the package, made on first use.
class PackageIndex {
public:
    explicit PackageIndex(const std::string& root) : root_(root) {}
    const std::vector<std::string>& Named(const std::string& name) {
        Build();
        static const std::vector<std::string> none;
        auto it = byName_.find(FoldedName(name));
        return it == byName_.end() ? none : it->second;
    }
    const std::vector<std::string>& Infs() {
        Build();
        return infs_;
    }

private:
    void Build() {
        if (built_) return;
        built_ = true;
        std::error_code ec;
        size_t count = 0;
        for (fs::recursive_directory_iterator it(root_, ec), end; !ec && it != end && count < kMaxIndexed;
             it.increment(ec), ++count) {
            if (it.depth() >= kMaxDepth) it.disable_recursion_pending();
            std::error_code fec;
            if (!it->is_regular_file(fec)) continue;
            const std::string rel = Relative(it->path().string(), root_);
            byName_[FoldedName(it->path().filename().string())].push_back(rel);
            if (IsInf(*it)) infs_.push_back(it->path().string());
        }
        for (auto& kv : byName_) std::sort(kv.second.begin(), kv.second.end());
        std::sort(infs_.begin(), infs_.end());
    }

    std::string root_;
    bool built_ = false;
    std::map<std::string, std::vector<std::string>> byName_;
    std::vector<std::string> infs_;
};

// The cards the DetectCard entries of a list accept.
std::vector<PciIds> CardsOf(const IniFile& ini, const ListUse& list) {
    std::vector<PciIds> cards;
    for (const std::string& section : list.detectCard)
        for (int n = 1;; ++n) {
            const std::string entry = ini.Read(section, std::to_string(n), 256);
            if (entry.empty()) break;
            unsigned short v = 0, d = 0;
            if (ReadCardIds(entry.c_str(), &v, &d) && std::find(cards.begin(), cards.end(), PciIds(v, d)) == cards.end())
                cards.push_back({v, d});
        }
    return cards;
}

} // namespace

void CheckDriverInstalls(const IniFile& ini, Sink& sink, const SetupReferences& refs, const std::string& packageDir,
                         std::vector<Finding>& out, std::vector<DiskLabelUse>& labels) {
    std::vector<DriverGroup> groups;
    for (const ListUse& list : refs.lists) {
        if (!list.installs) continue;
        std::string shown;
        const std::string folder = DriverFolder(ini, list.kind, packageDir, shown);
        if (folder.empty()) continue; // [SubDir]'s own findings say why
        const InfReader reader = IsNtKind(list.kind) ? InfReader::kNt4 : InfReader::kWin9x;
        auto g = std::find_if(groups.begin(), groups.end(),
                              [&](const DriverGroup& x) { return x.folder == folder && x.reader == reader; });
        if (g == groups.end()) {
            groups.push_back({folder, shown, reader, {}, {}, false, ini.KeyLine("Application", list.key)});
            g = groups.end() - 1;
        }
        g->keys.push_back(list.key);
        const std::vector<PciIds> cards = CardsOf(ini, list);
        // NT 4.0's Display applet offers every model of the file; a list
        // without DetectCard hands the helper no card of its own.
        g->everyModel = g->everyModel || reader == InfReader::kNt4 || cards.empty();
        for (const PciIds& c : cards)
            if (std::find(g->cards.begin(), g->cards.end(), c) == g->cards.end()) g->cards.push_back(c);
    }

    std::set<std::tuple<std::string, int, std::string, std::string>> said;
    auto add = [&](const std::string& file, int line, const std::string& severity, const std::string& code,
                   const std::string& message) {
        if (said.insert({file, line, code, message}).second) Sink(out, file, sink.Options()).Add(line, severity.c_str(), code, message);
    };
    for (const DriverGroup& g : groups) InstallFromFolder(g, sink.File(), packageDir, add, &labels);
}

std::vector<DriverInfInstall> InstallFromFolder(const DriverGroup& g, const std::string& script,
                                                const std::string& packageDir, const FindingAdder& add,
                                                std::vector<DiskLabelUse>* labels) {
    std::vector<DriverInfInstall> result;
    PackageIndex index(packageDir);
    const std::string systems = RulesOf(g.reader).systems;
    const std::string who = "Install on " + Joined(g.keys);
    std::vector<std::string> taken, refused;
    std::error_code ec;
    std::vector<fs::path> infs;
    for (fs::directory_iterator it(g.folder, ec), end; !ec && it != end; it.increment(ec))
        if (IsInf(*it)) infs.push_back(it->path());
    std::sort(infs.begin(), infs.end());
    for (const fs::path& p : infs) {
        const InfReading reading = ReadInfAs(ReadBytes(p.string()), g.reader);
        if (reading.takesFile)
            taken.push_back(p.string());
        else
            refused.push_back(p.filename().string() + ": " + reading.whyNot);
    }
    if (taken.empty()) {
        // An INF elsewhere in the package that lists a card of the key.
        std::vector<std::string> elsewhere;
        for (const std::string& path : index.Infs()) {
            if (fs::path(path).parent_path() == fs::path(g.folder)) continue;
            const InfFile inf = ReadInf(ReadBytes(path));
            for (const InfCard& c : inf.As(g.reader).cards)
                if (g.cards.empty() || std::find(g.cards.begin(), g.cards.end(), PciIds(c.vendor, c.device)) != g.cards.end()) {
                    elsewhere.push_back(WindowsPath(Relative(path, packageDir)) + " lists the card " +
                                        PciCardLabel(c.vendor, c.device) + " (line " + std::to_string(c.line) + ")");
                    break;
                }
        }
        std::string message = who + " hands over the driver folder " + g.shown + ", which holds no INF file that " +
                              systems + (g.reader == InfReader::kNt4 ? " reads" : " read") + (refused.empty() ? "" : " (" + Joined(refused) + ")") +
                              ", so the driver does not install";
        if (!elsewhere.empty())
            message += "; " + Joined(elsewhere) + ": move " + (elsewhere.size() > 1 ? "the one for this driver" : "it") +
                       " into " + g.shown;
        add(script, g.line, "error", "driver-no-inf", message);
        return result;
    }
    if (g.hasExact) {
        // The device installer compares the lines of every INF it reads.
        std::string best;
        int rank = -1;
        for (const std::string& path : taken) {
            const ModelsMatch m = ChooseModelsLine(ReadBytes(path), g.reader, g.exact);
            if (m.rank >= 0 && (rank < 0 || m.rank < rank)) rank = m.rank, best = path;
        }
        taken.assign(best.empty() ? 0 : 1, best);
    }
    for (const std::string& path : taken) {
        const InfInstall install = ReadInfInstallFile(path, g.reader, g.cards, g.everyModel, g.hasExact ? &g.exact : nullptr);
        result.push_back({path, install});
        for (const InstallNotice& n : install.notices) add(path, n.line, n.severity, n.code, n.message);
        const std::string folderShown = WindowsPath(Relative(g.folder, packageDir));
        for (const InstallFile& f : install.files) {
            if (f.from != InstallSource::kPackage || !f.found.empty()) continue;
            const std::string looked = (folderShown == "." ? "" : folderShown + "\\") + f.lookedFor;
            std::string message = who + " copies \"" + f.target + "\"" +
                                  (f.section.empty() ? "" : " (a line of [" + f.section + "])") + " for [" +
                                  f.installSection + "]: the install on " + systems + " looks for " + looked +
                                  ", which the package lacks, so Windows asks for a disk that does not exist";
            const size_t slash = FindLastChar(f.lookedFor, '\\');
            const std::string name = f.lookedFor.substr(slash == std::string::npos ? 0 : slash + 1);
            std::vector<std::string> others;
            for (const std::string& o : index.Named(name)) others.push_back(WindowsPath(o));
            if (!others.empty())
                message += "; a file of that name lies at " + Joined(others) + ": move it to " + looked;
            else
                message += ": add it there";
            add(path, f.line, "error", "driver-file-missing", message);
        }
        if (!labels) continue;
        for (const InstallDiskLabel& l : install.labels) {
            labels->push_back({path, l.line, l.label});
            add(path, l.line, "note", "inf-disk-label",
                "[SourceDisksNames] gives disk " + l.disk + " the volume label \"" + l.label + "\": Windows 95 "
                "and 98 take it as the volume label of the disk that holds the files (Windows 98 DDK, "
                "\"SourceDisksNames Section\"); no document of the time says whether they refuse a disc whose label "
                "differs. pkgtool cd compares it with the disc's label");
        }
    }
    return result;
}

} // namespace pkgcheck
