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
#include "tools/pkgtool/formats/inftext.h"
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
    // Named in messages as the PC names the author's files.
    return ec || r.empty() ? path : TargetPath(r);
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

// Why an INF that NT 4.0 reads is no NT 4.0 display INF: "" when a models
// line's install section has the .Services section with AddService that
// starts the display miniport (KB Q179154). NT 4.0 takes $Chicago$ too, so a
// Windows 95/98 INF reads without error there and installs nothing that runs.
std::string WhyNoNtDisplayInf(const std::string& bytes) {
    const InfText inf(InfNarrow(bytes, false), &RulesOf(InfReader::kNt4));
    const InfSection* manufacturer = inf.Find("manufacturer");
    std::vector<std::string> installs;
    for (size_t i = 0; manufacturer && i < manufacturer->lines.size() && installs.size() < 50; ++i)
        for (const std::string& name : inf.ModelsSections(manufacturer->lines[i], false)) {
            const InfSection* s = inf.Find(name);
            for (size_t j = 0; s && j < s->lines.size(); ++j) {
                std::string k, v;
                bool e = false;
                InfSplit(s->lines[j].text, k, v, e);
                const std::string install = e ? InfTrim(InfFields(inf.Substitute(v))[0]) : "";
                if (install.empty() || std::find(installs.begin(), installs.end(), install) != installs.end()) continue;
                bool service = false;
                inf.ForEachDirective(install, ".services", "addservice",
                                     [&](const InfLine&, const std::string&) { service = true; });
                if (service) return "";
                installs.push_back(install);
            }
        }
    if (installs.empty()) return "no models line names an install section";
    return "its install section [" + installs[0] + "]" + (installs.size() > 1 ? " and the others have" : " has") +
           " no [" + installs[0] + ".Services] with AddService, which NT 4.0 needs to start a display "
           "driver's miniport (KB Q179154): a Windows 95/98 INF";
}

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
            DriverGroup added;
            added.folder = folder, added.shown = shown, added.reader = reader;
            added.line = ini.KeyLine("Application", list.key);
            groups.push_back(added);
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
                   const std::string& message, const std::string& fix) {
        if (said.insert({file, line, code, message}).second)
            Sink(out, file, sink.Options()).Add(line, severity.c_str(), code, message, fix);
    };
    MissingFiles missing;
    for (const DriverGroup& g : groups) InstallFromFolder(g, sink.File(), packageDir, add, &labels, &missing);
    missing.Report(packageDir, add);
}

void MissingFiles::Add(const DriverGroup& g, const std::string& infPath, const InstallFile& f,
                       const std::string& packageDir) {
    const std::string folderShown = WindowsPath(Relative(fs::path(infPath).parent_path().string(), packageDir));
    const std::string looked = (folderShown == "." ? "" : folderShown + "\\") + f.lookedFor;
    auto it = std::find_if(files_.begin(), files_.end(), [&](const File& x) { return SameName(x.shown, looked); });
    if (it == files_.end()) {
        File file;
        file.shown = looked;
        const size_t slash = FindLastChar(looked, '\\');
        file.name = looked.substr(slash == std::string::npos ? 0 : slash + 1);
        file.folder = slash == std::string::npos ? "" : looked.substr(0, slash);
        files_.push_back(file);
        it = files_.end() - 1;
    }
    const Copy c{infPath, f.line, f.section, f.target};
    if (std::none_of(it->copies.begin(), it->copies.end(),
                     [&](const Copy& x) { return x.inf == c.inf && x.line == c.line && SameName(x.target, c.target); }))
        it->copies.push_back(c);
    if (std::find(it->installs.begin(), it->installs.end(), f.installSection) == it->installs.end())
        it->installs.push_back(f.installSection);
    for (const std::string& k : g.keys)
        if (std::find(it->keys.begin(), it->keys.end(), k) == it->keys.end()) it->keys.push_back(k);
    const std::string systems = RulesOf(g.reader).systems;
    if (std::find(it->systems.begin(), it->systems.end(), systems) == it->systems.end()) it->systems.push_back(systems);
}

namespace {

// A list told in full up to `most` items, else its first ones and the count.
std::string Listed(const std::vector<std::string>& items, size_t most) {
    if (items.size() <= most) return Joined(items);
    return Joined(std::vector<std::string>(items.begin(), items.begin() + most)) + " and " +
           std::to_string(items.size() - most) + " more";
}

// A folder that lacks this many of the files copied from it gets a line of its own.
const size_t kManyMissing = 5;

} // namespace

void MissingFiles::Report(const std::string& packageDir, const FindingAdder& add) const {
    PackageIndex index(packageDir);
    std::map<std::string, std::vector<const File*>> byFolder;
    for (const File& f : files_) {
        byFolder[FoldedName(f.folder)].push_back(&f);
        std::vector<Copy> copies = f.copies;
        std::stable_sort(copies.begin(), copies.end(),
                         [](const Copy& a, const Copy& b) { return a.inf != b.inf ? a.inf < b.inf : a.line < b.line; });
        std::vector<std::string> lines, installs, targets;
        for (const std::string& s : f.installs) installs.push_back("[" + s + "]");
        std::string lastInf;
        for (const Copy& c : copies) {
            const std::string inf = WindowsPath(Relative(c.inf, packageDir));
            lines.push_back((inf == lastInf ? "" : inf + " ") + "line " + std::to_string(c.line) +
                            (c.section.empty() ? " (CopyFiles=@)" : " ([" + c.section + "])"));
            lastInf = inf;
            if (!SameName(c.target, f.name) &&
                std::find(targets.begin(), targets.end(), c.target) == targets.end())
                targets.push_back(c.target);
        }
        std::string systems;
        for (const std::string& s : f.systems) systems += (systems.empty() ? "" : " and on ") + s;
        std::string message =
            "the package lacks " + f.shown + ", where the install on " + systems + " (Install on " + Joined(f.keys) +
            ") looks for " + f.name + (targets.empty() ? "" : " (copied as " + Joined(targets) + ")") + ": " +
            (copies.size() == 1 ? "the copy line is " : std::to_string(copies.size()) + " copy lines name it, ") +
            Listed(lines, 4) + ", for " +
            (installs.size() == 1 ? "the install section " : std::to_string(installs.size()) + " install sections, ") +
            Listed(installs, 4) + "; Windows asks for a disk that does not exist, and the driver does not install";
        std::vector<std::string> others;
        for (const std::string& o : index.Named(f.name))
            if (!SameName(WindowsPath(o), f.shown)) others.push_back(WindowsPath(o));
        const std::string fix = others.empty() ? "add " + f.name + " to the package as " + f.shown
                                               : "move " + others[0] + " to " + f.shown;
        if (!others.empty()) message += "; a file of that name lies at " + Listed(others, 3);
        add(copies[0].inf, copies[0].line, "error", "driver-file-missing", message + ": " + fix, fix);
    }
    for (const auto& kv : byFolder) {
        const std::vector<const File*>& files = kv.second;
        if (files.size() < kManyMissing) continue;
        std::vector<std::string> names;
        for (const File* f : files) names.push_back(f->name);
        const std::string where = files[0]->folder.empty() ? "the package's top folder" : files[0]->folder;
        const std::string fix = "copy the driver's files into " + where + " (" + Listed(names, 5) + ")";
        add(files[0]->copies[0].inf, 0, "note", "driver-folder-incomplete",
            std::to_string(files.size()) + " files that the install looks for in " + where +
                " are missing there, each a driver-file-missing error below: " + fix,
            fix);
    }
}

std::vector<DriverInfInstall> InstallFromFolder(const DriverGroup& g, const std::string& script,
                                                const std::string& packageDir, const FindingAdder& add,
                                                std::vector<DiskLabelUse>* labels, MissingFiles* missing) {
    std::vector<DriverInfInstall> result;
    PackageIndex index(packageDir);
    MissingFiles own;
    MissingFiles& lacking = missing ? *missing : own;
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
        // An INF elsewhere in the package that lists a card of the key; for
        // NT 4.0, one that is an NT 4.0 display INF too.
        std::vector<std::string> elsewhere, unfit;
        std::string movable;
        const bool nt = g.reader == InfReader::kNt4;
        for (const std::string& path : index.Infs()) {
            if (fs::path(path).parent_path() == fs::path(g.folder)) continue;
            const std::string bytes = ReadBytes(path);
            const InfFile inf = ReadInf(bytes);
            const std::string shown = WindowsPath(Relative(path, packageDir));
            for (const InfCard& c : inf.As(g.reader).cards)
                if (g.cards.empty() || std::find(g.cards.begin(), g.cards.end(), PciIds(c.vendor, c.device)) != g.cards.end()) {
                    const std::string why = nt ? WhyNoNtDisplayInf(bytes) : "";
                    if (!why.empty()) {
                        unfit.push_back(shown + " (" + why + ")");
                        break;
                    }
                    elsewhere.push_back(shown + " lists the card " + PciCardLabel(c.vendor, c.device) + " (line " +
                                        std::to_string(c.line) + ")");
                    if (movable.empty()) movable = shown;
                    break;
                }
        }
        const std::string folderShown = WindowsPath(Relative(g.folder, packageDir));
        const std::string into = folderShown == "." ? "the package's top folder" : folderShown;
        std::string message = who + " hands over the driver folder " + g.shown + ", which holds no INF file that " +
                              systems + (nt ? " reads" : " read") + (refused.empty() ? "" : " (" + Joined(refused) + ")") +
                              ", so the driver does not install";
        if (!unfit.empty())
            message += "; of the package's other INF files, NT 4.0 would read " + Joined(unfit) +
                       ", and none of them serves it";
        if (!elsewhere.empty()) message += "; " + Joined(elsewhere);
        const std::string fix =
            !movable.empty() ? "move " + movable + (elsewhere.size() > 1 ? " (or the other INF for this driver)" : "") +
                                   " into " + into
            : nt ? "put an NT 4.0 display INF into " + into + ": Signature=\"$Windows NT$\", a models line for the "
                   "card, and an install section with a .Services section whose AddService names the miniport "
                   "(ServiceBinary) and a .SoftwareSettings section with InstalledDisplayDrivers (KB Q179154)"
                 : "put the driver's Windows 95/98 INF (Signature=\"$Chicago$\", Class=Display) into " + into;
        message += ": " + fix;
        add(script, g.line, "error", "driver-no-inf", message, fix);
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
        for (const InstallNotice& n : install.notices) add(path, n.line, n.severity, n.code, n.message, n.fix);
        for (const InstallFile& f : install.files)
            if (f.from == InstallSource::kPackage && f.found.empty()) lacking.Add(g, path, f, packageDir);
        if (!labels) continue;
        for (const InstallDiskLabel& l : install.labels) {
            labels->push_back({path, l.line, l.label});
            add(path, l.line, "note", "inf-disk-label",
                "[SourceDisksNames] gives disk " + l.disk + " the volume label \"" + l.label + "\": Windows 95 "
                "and 98 take it as the volume label of the disk that holds the files (Windows 98 DDK, "
                "\"SourceDisksNames Section\"); no document of the time says whether they refuse a disc whose label "
                "differs. pkgtool cd compares it with the disc's label", "");
        }
    }
    if (!missing) own.Report(packageDir, add);
    return result;
}

} // namespace pkgcheck
