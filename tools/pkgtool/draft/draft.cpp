// The draft of a SETUP.INI: which keys each driver folder serves, by which
// INF files each Windows reads there (formats/inffile.h); the cards of the
// Windows 95/98 INFs; the files each install copies (formats/infinstall.h);
// the command lists and messages that the author's reference recommends.
#include "tools/pkgtool/draft/draft.h"
#include "setup/oskind.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/formats/cardnames.h"
#include "tools/pkgtool/formats/inffile.h"
#include "tools/pkgtool/formats/inftext.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "version.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

namespace fs = std::filesystem;
using namespace pkgcheck;

namespace pkgdraft {
namespace {

// As check reads an INF: at most this much of it.
const size_t kMaxInfBytes = 16 << 20;
// A package is a CD's folder: Windows reaches 8 levels of an ISO 9660 tree.
const int kDeepestFolder = 8;

struct Inf {
    std::string path, shown; // on this disk; as the draft names it (W9X\QUILL.INF)
    std::string bytes;
    InfFile reading;
    std::string cls;         // Class= of [Version], as written
    int classLine = 0;
    bool display = false;
};

struct Folder {
    std::string path, subDir; // on this disk; the [SubDir] value ("" for the root)
    std::string shown;        // "W9X", or "the package's root"
    std::vector<Inf> infs;
    bool win9x = false, nt4 = false; // the reader finds display cards in an INF that only it takes
};

std::string Hex(unsigned v) {
    char b[8];
    snprintf(b, sizeof b, "%04X", v & 0xFFFF);
    return b;
}

std::string Windows(const std::string& generic) {
    std::string s = generic;
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

bool ContainsWord(const std::string& text, const std::string& word) {
    const std::string l = InfLower(text), w = InfLower(word);
    for (size_t at = l.find(w); at != std::string::npos; at = l.find(w, at + 1)) {
        const bool before = at == 0 || !isalnum((unsigned char)l[at - 1]);
        const bool after = at + w.size() >= l.size() || !isalnum((unsigned char)l[at + w.size()]);
        if (before && after) return true;
    }
    return false;
}

// The description a models line gives a card: its key, [Strings] substituted.
std::string DescriptionAt(const std::string& bytes, const InfCard& card) {
    const InfText inf(InfNarrow(bytes, false), &RulesOf(InfReader::kWin9x));
    const InfSection* s = inf.Find(card.section);
    for (size_t i = 0; s && i < s->lines.size(); ++i) {
        if (s->lines[i].number != card.line) continue;
        std::string k, v;
        bool eq = false;
        InfSplit(s->lines[i].text, k, v, eq);
        std::string d = InfFields(inf.Substitute(k))[0];
        if (d.size() > 120) d = d.substr(0, 120) + "...";
        for (char& c : d)
            if (c == '\r' || c == '\n' || c == '\t') c = ' ';
        return d;
    }
    return "";
}

std::vector<Folder> ScanFolders(const std::string& dir, std::vector<Finding>& findings) {
    std::map<std::string, Folder> byPath;
    std::error_code ec;
    std::vector<fs::path> files;
    size_t seen = 0;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end && seen < 100000; it.increment(ec), ++seen) {
        if (it.depth() >= kDeepestFolder) it.disable_recursion_pending();
        std::error_code fec;
        if (it->is_regular_file(fec) && SameName(it->path().extension().string(), ".inf")) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& p : files) {
        const std::string folderPath = p.parent_path().string();
        Folder& f = byPath[folderPath];
        if (f.path.empty()) {
            f.path = folderPath;
            const std::string rel = fs::relative(p.parent_path(), dir, ec).generic_string();
            f.subDir = ec || rel == "." || rel.empty() ? "" : "\\" + Windows(rel);
            f.shown = f.subDir.empty() ? "the package's root" : f.subDir.substr(1);
        }
        Inf inf;
        inf.path = p.string();
        inf.shown = Windows(fs::relative(p, dir, ec).generic_string());
        inf.bytes = ReadFileStart(inf.path, kMaxInfBytes);
        inf.reading = ReadInf(inf.bytes);
        // Class= as the Windows that takes the file reads it; Windows 95/98
        // first, NT 4.0 for a file that only NT 4.0 takes.
        for (InfReader r : {InfReader::kWin9x, InfReader::kNt4}) {
            if (!inf.reading.As(r).takesFile) continue;
            const InfText text(InfNarrow(inf.bytes, false), &RulesOf(r));
            if (text.Value("version", "class", inf.cls, inf.classLine)) break;
        }
        inf.display = SameName(InfTrim(inf.cls), "Display");
        f.infs.push_back(inf);
    }
    std::vector<Folder> folders;
    for (auto& kv : byPath) folders.push_back(kv.second);
    for (Folder& f : folders) {
        bool anyDisplay = false, anyRead = false;
        for (const Inf& inf : f.infs) {
            Sink sink(findings, inf.path);
            const InfReading &w = inf.reading.win9x, &n = inf.reading.nt4;
            if (!inf.display) {
                if (w.takesFile || n.takesFile)
                    sink.Warning(inf.classLine, "draft-inf-class",
                                 inf.cls.empty() ? "the INF has no Class= in [Version]; the draft lists no card of it. "
                                                   "A display driver's INF says Class=Display"
                                                 : "an INF of the class " + inf.cls + ", not Display: the draft lists "
                                                   "no card of it and installs nothing from it");
                continue;
            }
            anyDisplay = true;
            // A file that both take is a Windows 95/98 INF ($Chicago$):
            // NT 4.0 reads it too, but its driver is no NT 4.0 miniport.
            if (w.takesFile && !w.cards.empty()) f.win9x = true, anyRead = true;
            if (!w.takesFile && n.takesFile && !n.cards.empty()) f.nt4 = true, anyRead = true;
        }
        if (anyDisplay && !anyRead) {
            const Inf& first = *std::find_if(f.infs.begin(), f.infs.end(), [](const Inf& i) { return i.display; });
            const InfReading& w = first.reading.win9x;
            const std::string why = !w.takesFile ? w.whyNot
                                    : !w.missed.empty() ? w.missed.front().second
                                                        : "it lists no PCI card in a models section";
            Sink(findings, first.path)
                .Warning(0, "draft-folder-unread",
                         "no Windows reads a display card in " + f.shown + ": Windows 95 and 98 take no card of " +
                             first.shown + " (" + why + "), and NT 4.0 finds none in an NT 4.0 INF there; the draft "
                             "gives the folder no key");
        }
    }
    return folders;
}

// Files the install copies that the package lacks, once each.
void MissingFiles(const Inf& inf, InfReader reader, std::vector<Finding>& findings) {
    std::vector<PciIds> cards;
    for (const InfCard& c : inf.reading.As(reader).cards) cards.push_back({c.vendor, c.device});
    const InfInstall install = ReadInfInstallFile(inf.path, reader, cards, reader == InfReader::kNt4);
    std::set<std::string> said;
    Sink sink(findings, inf.path);
    for (const InstallFile& f : install.files) {
        if (!f.found.empty() || f.from != InstallSource::kPackage || !said.insert(InfLower(f.lookedFor)).second)
            continue;
        sink.Warning(f.line, "draft-file-missing",
                     std::string("the install on ") + RulesOf(reader).systems + " copies \"" + f.target +
                         "\" and looks for " + f.lookedFor + " beside the INF, which the package lacks: put the "
                         "driver maker's file there before the CD is made");
    }
}

std::string Commas(const std::vector<std::string>& words, const char* last = " and ") {
    std::string s;
    for (size_t i = 0; i < words.size(); ++i) s += (i == 0 ? "" : i + 1 == words.size() ? last : ", ") + words[i];
    return s;
}

} // namespace

Draft MakeDraft(const std::string& dir, const DraftOptions& options) {
    Draft d;
    std::vector<Folder> folders = ScanFolders(dir, d.findings);
    const Folder *w9x = nullptr, *nt4 = nullptr;
    for (const Folder& f : folders) {
        for (const Inf& inf : f.infs) {
            std::string what = !inf.display ? "not drafted (class " + (inf.cls.empty() ? "none" : inf.cls) + ")"
                               : inf.reading.win9x.takesFile && !inf.reading.win9x.cards.empty()
                                   ? "Windows 95 and 98, " + std::to_string(inf.reading.win9x.cards.size()) + " card" +
                                         (inf.reading.win9x.cards.size() == 1 ? "" : "s")
                               : f.nt4 && !inf.reading.win9x.takesFile && inf.reading.nt4.takesFile ? "Windows NT 4.0"
                                                                                                     : "read by no Windows";
            d.infs.push_back(inf.shown + ": " + what);
        }
        for (auto [flag, chosen, systems] :
             {std::make_tuple(f.win9x, &w9x, "Windows 95 and 98"), std::make_tuple(f.nt4, &nt4, "Windows NT 4.0")}) {
            if (!flag) continue;
            if (!*chosen) {
                *chosen = &f;
                continue;
            }
            Sink(d.findings, f.infs.front().path)
                .Warning(0, "draft-folder-choice",
                         std::string("both ") + (*chosen)->shown + " and " + f.shown + " hold display INFs that " +
                             systems + " read; the draft installs from " + (*chosen)->shown + " on every key of " +
                             systems + ". Give a key this folder in [SubDir] where one Windows needs it (a language "
                             "or a version of its own)");
        }
    }

    // [DetectCard]: every card of the Windows 95/98 INFs, once.
    std::map<PciIds, std::string> firstInf;
    std::set<PciIds> agpGiven(options.agp.begin(), options.agp.end());
    if (w9x) {
        for (const Inf& inf : w9x->infs) {
            if (!inf.display || !inf.reading.win9x.takesFile) continue;
            MissingFiles(inf, InfReader::kWin9x, d.findings);
            Sink sink(d.findings, inf.path);
            for (const InfCard& c : inf.reading.win9x.cards) {
                const PciIds ids(c.vendor, c.device);
                const std::string here = inf.shown + ":" + std::to_string(c.line);
                auto at = firstInf.find(ids);
                if (at != firstInf.end()) {
                    sink.Warning(c.line, "draft-card-two-infs",
                                 "the card " + PciCardLabel(c.vendor, c.device) + " is listed here and in " + at->second +
                                     ": which INF Windows 95 and 98 install it from follows their ranking of the "
                                     "models lines (pkgtool run --card " + Hex(c.vendor) + ":" + Hex(c.device) +
                                     " shows it); the draft lists the card once");
                    continue;
                }
                firstInf[ids] = here;
                DraftCard card;
                card.vendor = c.vendor, card.device = c.device;
                card.agp = agpGiven.count(ids) > 0;
                card.inf = inf.shown, card.line = c.line;
                card.description = DescriptionAt(inf.bytes, c);
                card.dbName = PciCardName(c.vendor, c.device);
                bool plain = false;
                std::vector<std::string> subsystems;
                for (const auto& m : ModelsIdsOf(inf.bytes, InfReader::kWin9x, c.vendor, c.device)) {
                    plain = plain || (!m.second.hasSubsys && !m.second.hasRev);
                    char b[24];
                    snprintf(b, sizeof b, "SUBSYS_%08lX", m.second.subsys);
                    if (m.second.hasSubsys && std::find(subsystems.begin(), subsystems.end(), b) == subsystems.end())
                        subsystems.push_back(b);
                }
                if (!plain) {
                    if (subsystems.size() > 4) subsystems.resize(4), subsystems.push_back("...");
                    card.warning = "the INF lists this chip only with subsystem ids (" + Commas(subsystems, ", ") +
                                   "): DetectCard accepts it with any subsystem, but a card with another gets no driver";
                    sink.Warning(c.line, "draft-card-subsys-only",
                                 "the card " + PciCardLabel(c.vendor, c.device) + " is listed only with subsystem ids "
                                 "(" + Commas(subsystems, ", ") + "); the draft lists the chip, which DetectCard accepts "
                                 "with any subsystem. Decide whether the driver serves every card of the chip");
                }
                const bool looksAgp = ContainsWord(card.description, "AGP") || ContainsWord(card.dbName, "AGP");
                if (looksAgp && !card.agp) {
                    const std::string hint = "pkgtool new --agp " + Hex(c.vendor) + ":" + Hex(c.device);
                    card.warning += std::string(card.warning.empty() ? "" : "; ") + "the " +
                                    (ContainsWord(card.description, "AGP") ? "INF" : "PCI id database") +
                                    " calls it an AGP card, but it was not marked: bus type PCI written; for AGP "
                                    "write AGP here (" + hint + ")";
                    sink.Warning(c.line, "draft-agp-unmarked",
                                 "the " + std::string(ContainsWord(card.description, "AGP") ? "INF" : "PCI id database") +
                                     " calls " + PciCardLabel(c.vendor, c.device) + " an AGP card, but --agp does not "
                                     "mark it: the draft writes the bus type PCI. Give " + hint + " if it is sold "
                                     "as an AGP card");
                }
                d.cards.push_back(card);
            }
        }
    }
    if (nt4)
        for (const Inf& inf : nt4->infs)
            if (inf.display && !inf.reading.win9x.takesFile && inf.reading.nt4.takesFile)
                MissingFiles(inf, InfReader::kNt4, d.findings);

    bool anyAgp = false;
    for (const DraftCard& c : d.cards) anyAgp = anyAgp || c.agp;

    // The README the root holds, for an Exec after the install.
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fec;
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(fec) && InfLower(name).compare(0, 6, "readme") == 0 && name.find(' ') == std::string::npos &&
            name.find(',') == std::string::npos)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    if (!names.empty()) d.readme = names.front();
    const std::string exec = d.readme.empty() ? "" : ",ExecReadme";

    // The keys, in the order of the version table. Windows 95/98 keys: the
    // card check, then the helper. CheckPCIKey only where no entry says
    // AGP: it then looks for the instance 000800, which no document of the
    // time confirms. NT 4.0: no card check (no port access, no Enum\PCI),
    // and a ShowMsg after Install, which the applet's clicks need.
    std::vector<std::string> used;
    auto use = [&](const std::string& key) {
        if (std::find(used.begin(), used.end(), key) == used.end()) used.push_back(key);
    };
    use("NotSupport");
    std::vector<std::string> served;
    if (w9x) {
        const std::string list = std::string("DetectCard") + (anyAgp ? "" : ",CheckPCIKey") + ",Install" + exec + ",End";
        for (OsKind kind : {kOsWin95A, kOsWin95B, kOsWin95C, kOsWin98}) d.keys.push_back({OsKeyOf(kind), w9x->subDir, list});
        use("DetectCard");
        if (!anyAgp) use("CheckPCIKey");
        use("HelperNotRun");
        served.push_back("Windows 95 (its first release, OSR2 and OSR 2.5)");
        served.push_back("Windows 98");
    }
    if (nt4) {
        d.keys.push_back({"NT40", nt4->subDir, "Install,ShowMsgNT"});
        use("ShowMsgNT");
        served.push_back("Windows NT 4.0");
    }
    for (const std::string& key : used) {
        std::string text;
        if (key == "NotSupport")
            text = served.empty() ? "This setup cannot install the driver on this version of Windows."
                                  : "This setup cannot install the driver on this version of Windows. It installs it on " +
                                        Commas(served) + ".";
        else if (key == "DetectCard")
            text = "Setup found no display card in this computer that this driver supports.";
        else if (key == "CheckPCIKey")
            text = "Windows has not yet detected the display card.\\nRestart the computer so that Windows finds it, or "
                   "run Add New Hardware in the Control Panel, then start setup again.";
        else if (key == "HelperNotRun")
            text = "Setup could not start the driver installer. The disc may be incomplete: fitter16.exe must lie "
                   "beside setup.exe.";
        else if (key == "ShowMsgNT")
            text = "Windows NT 4.0 now installs the driver through the Display properties. Follow its instructions, "
                   "then restart the computer.";
        d.messages.push_back({key, text});
    }
    std::stable_sort(d.findings.begin(), d.findings.end(), [](const Finding& a, const Finding& b) {
        return a.file != b.file ? a.file < b.file : a.line < b.line;
    });
    return d;
}

namespace {

std::string RelativeFinding(const Finding& f, const std::string& dir) {
    std::error_code ec;
    std::string rel = fs::relative(f.file, dir, ec).generic_string();
    if (ec || rel.empty()) rel = f.file;
    return Windows(rel) + (f.line > 0 ? ":" + std::to_string(f.line) : "") + ": " + f.severity + ": " + f.message +
           " [" + f.code + "]";
}

std::string Entry(const DraftCard& c) {
    return std::to_string(c.vendor) + "," + std::to_string(c.device) + "," + (c.agp ? "AGP" : "PCI") + ",1,0";
}

} // namespace

// The comment lines and the entry of one card.
std::string CardLines(const DraftCard& c, int number) {
    std::string out = "; " + Hex(c.vendor) + ":" + Hex(c.device);
    if (!c.description.empty()) out += " \"" + c.description + "\"";
    if (!c.dbName.empty()) out += " (PCI id database: " + c.dbName + ")";
    out += ", " + c.inf + ":" + std::to_string(c.line) + "\n";
    if (!c.warning.empty()) out += "; WARNING: " + c.warning + "\n";
    return out + std::to_string(number) + "=" + Entry(c) + "\n";
}

std::string DraftHeader(const Draft& d, const std::string& dir) {
    std::string out = "; SETUP.INI drafted by pkgtool " CARDSETUP_VERSION_TEXT " (pkgtool new) from the driver's INF files:\n";
    for (const std::string& i : d.infs) out += ";   " + i + "\n";
    if (d.infs.empty()) out += ";   (none found)\n";
    out += "; Read every line before the package goes out: the draft writes what the INFs say,\n"
           "; and what the author's reference recommends for each Windows.\n";
    if (d.findings.empty()) {
        out += "; The draft found nothing it could not decide.\n";
    } else {
        out += "; What the draft could not decide (pkgtool new prints the same; pkgtool explain CODE):\n";
        for (const Finding& f : d.findings) out += ";   " + RelativeFinding(f, dir) + "\n";
    }
    return out;
}

std::string DraftText(const Draft& d, const std::string& dir) {
    std::string out = DraftHeader(d, dir) + "\n[Application]\n";
    bool w9x = false, nt4 = false;
    for (const DraftKey& k : d.keys) (k.key == "NT40" ? nt4 : w9x) = true;
    if (w9x)
        out += "; Windows 95 and 98: find the card, then start the helper fitter16.exe from the driver folder.\n";
    for (const DraftKey& k : d.keys) {
        if (k.key == "W95B" && w9x)
            out += "; The USB supplement to OSR2 installs on W95B alone (W95C has it, W95A cannot take it); ask for it\n"
                   "; only if your driver needs it (no document says a display driver does):\n"
                   ";W95B=DetectCard,ShowUSBMsg,...  with  [Message] ShowUSBMsg=...\n";
        if (k.key == "NT40")
            out += "; Windows NT 4.0: no card check (no port access, no Enum\\PCI); the Display applet installs,\n"
                   "; and its clicks go on while the ShowMsg box after Install is open.\n";
        out += k.key + "=" + k.list + "\n";
    }
    std::vector<std::string> without;
    for (OsKind kind : kKindsWithKeys) {
        const std::string key = OsKeyOf(kind);
        if (std::none_of(d.keys.begin(), d.keys.end(), [&](const DraftKey& k) { return k.key == key; }))
            without.push_back(key);
    }
    out += "; No list for " + Commas(without) + ": setup shows NotSupport there.\n";
    if (w9x)
        out += "; WIN95 is Windows 95 with a service pack text such as \" A\", and Windows Me: setup has no\n"
               "; install route there.\n";
    if (w9x && std::none_of(d.keys.begin(), d.keys.end(),
                            [](const DraftKey& k) { return k.list.find("CheckPCIKey") != std::string::npos; }))
        out += "; No CheckPCIKey: an AGP entry makes it look for the instance 000800, which no document of the\n"
               "; time confirms that Windows gives a card.\n";

    bool subDirs = false;
    for (const DraftKey& k : d.keys) subDirs = subDirs || !k.folder.empty();
    if (subDirs) {
        out += "\n[SubDir]\n";
        for (const DraftKey& k : d.keys)
            if (!k.folder.empty()) out += k.key + "=" + k.folder + "\n";
    }
    if (w9x) {
        out += "\n[DetectCard]\n"
               "; vendor,device (decimal),bus type,helper flag,0\n"
               "; Bus type: AGP for a card in an AGP slot (pkgtool new --agp VEN:DEV), else PCI. A chip sold as\n"
               "; both: PCI (the first matching entry wins, and only PCI names the slot CheckPCIKey looks for).\n"
               "; Helper flag: setup hands it to fitter16.exe as its fourth argument; its meaning is the helper's,\n"
               "; so take it from the driver maker. The draft writes 1.\n";
        int n = 0;
        for (const DraftCard& c : d.cards) out += CardLines(c, ++n);
    }
    if (!d.readme.empty()) out += "\n[ExecReadme]\nprogram=[CWD]\\" + d.readme + ",x,[CWD]\n";
    out += "\n[Message]\n";
    for (const auto& m : d.messages) out += m.first + "=" + m.second + "\n";
    return out;
}

} // namespace pkgdraft
