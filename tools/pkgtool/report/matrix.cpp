#include "tools/pkgtool/report/matrix.h"
#include "setup/cardentry.h"
#include "setup/commands.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/formats/inifile.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/report/json.h"
#include "tools/pkgtool/report/transcript.h"
#include <cstdio>

namespace {

// A version for each row of the version table, and one that no row names.
struct Version {
    const char* os;
    const char* windows;
};
const Version kVersions[] = {
    {"W95A", "Windows 95 (its first release)"},
    {"1.4.0: A", "Windows 95 with Service Pack 1 (\" A\")"},
    {"W95B", "Windows 95 OSR2"},
    {"W95C", "Windows 95 OSR 2.5"},
    {"W98", "Windows 98"},
    {"1.4.90", "Windows Me"},
    {"2.3.1", "Windows NT 3.1"},
    {"2.3.51", "Windows NT 3.51"},
    {"NT40", "Windows NT 4.0"},
    {"2.5.0", "Windows 2000"},
    {"3.2.0", "Windows CE (platform 3, in no row of the table)"},
};

struct Entry {
    unsigned vendor, device;
    bool agp;
    std::string where; // "[DetectCard] 2"
};

// What the key's list runs, up to its End.
struct List {
    bool detects = false, install = false, usb = false;
    std::vector<Entry> cards;
};

List ReadList(const pkgcheck::IniFile& ini, const std::string& key) {
    List l;
    if (key.empty()) return l;
    for (const std::string& cmd : pkgcheck::SplitAtChar(ini.Read("Application", key, 256), ',')) {
        const ScriptCommand c = MatchCommand(cmd.c_str());
        if (c == kCmdEnd) break;
        l.install = l.install || c == kCmdInstall;
        l.usb = l.usb || c == kCmdShowUsbMsg;
        if (c != kCmdDetectCard) continue;
        l.detects = true;
        for (int n = 1; n < 10000; ++n) {
            const std::string value = ini.Read(cmd, std::to_string(n), 256);
            unsigned short v = 0, d = 0;
            if (value.empty()) break;
            if (!ReadCardIds(value.c_str(), &v, &d)) continue;
            char bus[8];
            int flag = 0;
            ReadCardFields(value.c_str(), bus, sizeof bus, &flag);
            bool seen = false;
            for (const Entry& e : l.cards) seen = seen || (e.vendor == v && e.device == d);
            if (!seen) l.cards.push_back({v, d, IsAgpBusType(bus), "[" + cmd + "] " + std::to_string(n)});
        }
    }
    return l;
}

std::string Ids(unsigned v, unsigned d) {
    char b[16];
    snprintf(b, sizeof b, "%04X:%04X", v & 0xFFFF, d & 0xFFFF);
    return b;
}

// A PCI slot on the first bus, where no bridge stands in the simulated PC.
const unsigned kPciSlot = 14;

std::string OneLine(std::string s, size_t most) {
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return s.size() > most ? s.substr(0, most) + "..." : s;
}

} // namespace

std::vector<MatrixPath> RunAll(const PcSpec& base, const std::string& dir) {
    pkgcheck::IniFile ini;
    const std::string script = pkgcheck::FindNoCase(PackageDirOf(base, dir), "SETUP.INI");
    if (!script.empty()) ini.Load(script);
    std::vector<MatrixPath> paths;
    for (const Version& v : kVersions) {
        MatrixPath p;
        p.windows = v.windows;
        p.os = v.os;
        p.osKey = OsKeyOfSpec(v.os);
        const List list = ReadList(ini, p.osKey);
        // (card text, card or none, meant to be found)
        struct CardCase {
            std::string text;
            bool has;
            PciCard card;
            bool listed;
        };
        std::vector<CardCase> cards;
        if (list.detects) {
            for (const Entry& e : list.cards) {
                PciCard c;
                c.vendor = e.vendor, c.device = e.device;
                if (e.agp) {
                    // In the AGP slot, registered as the script's AGP entry assumes.
                    cards.push_back({Ids(e.vendor, e.device) + " (" + e.where + ", AGP) in the AGP slot", true, c, true});
                    c.bus = 0, c.slot = kPciSlot, c.placed = true;
                    cards.push_back({Ids(e.vendor, e.device) + " (" + e.where + ", AGP) in a PCI slot", true, c, false});
                } else {
                    c.bus = 0, c.slot = kPciSlot, c.placed = true;
                    cards.push_back({Ids(e.vendor, e.device) + " (" + e.where + ", PCI) in a PCI slot", true, c, true});
                }
            }
            cards.push_back({"no card", false, PciCard(), false});
        } else {
            cards.push_back({"", false, PciCard(), false});
        }
        for (const CardCase& cc : cards) {
            std::vector<std::pair<std::string, int>> usbCases = {{"", 0}};
            if (list.usb) usbCases = {{"installed", 0}, {"not installed, OK", IDOK}, {"not installed, Cancel", IDCANCEL}};
            std::vector<std::string> withBoxes; // the boxes of the path with the supplement installed
            for (const auto& u : usbCases) {
                MatrixPath q = p;
                q.card = cc.text;
                q.usb = u.first;
                q.spec = base;
                q.spec.os = v.os;
                q.spec.cards.clear();
                q.spec.enumPci.clear();
                q.spec.enumGiven = false;
                q.spec.cardsGiven = true;
                q.spec.cardTexts.clear();
                q.spec.given.clear();
                if (cc.has) q.spec.cards.push_back(cc.card);
                q.spec.usbDisplayName = u.first == "installed" ? "USB Supplement to OSR2" : "";
                q.spec.answers.clear();
                if (u.second == IDCANCEL) {
                    // Cancel where the supplement's box comes: the first box
                    // the path without it shows and the one with it does not.
                    const Transcript& ok = paths.back().t;
                    size_t k = 0, b = 0;
                    for (const TranscriptEvent& e : ok.events) {
                        if (e.kind != "box") continue;
                        if (b >= withBoxes.size() || withBoxes[b] != e.Field("text")) break;
                        ++k, ++b;
                    }
                    q.spec.answers.assign(k, IDOK);
                    q.spec.answers.push_back(IDCANCEL);
                }
                q.t = DryRun("setup", q.spec, dir);
                if (u.first == "installed")
                    for (const TranscriptEvent& e : q.t.events)
                        if (e.kind == "box") withBoxes.push_back(e.Field("text"));
                q.meant = list.install && (!list.detects || cc.listed) && u.second != IDCANCEL;
                // Where the supplement's box never comes, its variants are one path.
                if (u.second != 0 && !paths.empty()) {
                    const MatrixPath& prev = paths.back();
                    std::vector<std::string> mine;
                    for (const TranscriptEvent& e : q.t.events)
                        if (e.kind == "box") mine.push_back(e.Field("text"));
                    if (mine == withBoxes && prev.t.installed == q.t.installed && prev.t.outcome == q.t.outcome) {
                        if (u.second == IDOK) paths.back().usb = "any";
                        continue;
                    }
                }
                paths.push_back(std::move(q));
            }
        }
    }
    return paths;
}

std::string MatrixPath::Outcome() const {
    if (t.installed) {
        for (const TranscriptEvent& e : t.events)
            if (e.kind == "install") return "installed from " + e.Field("folder");
        return "installed";
    }
    for (const TranscriptEvent& e : t.events)
        if (e.kind == "install-stops") return "the install stops [" + e.Field("code") + "]";
    std::string last;
    for (const TranscriptEvent& e : t.events)
        if (e.kind == "box") last = e.Field("text");
    for (const TranscriptEvent& e : t.events)
        if (e.kind == "install") return "not installed: " + t.outcome;
    if (!last.empty()) return "stopped by the box \"" + OneLine(pkgcheck::ShownText(last, t.codePage), 50) + "\"";
    return "nothing at all";
}

std::string MatrixPath::Kind() const {
    if (t.installed) return "installed";
    if (meant) return "failed";
    for (const TranscriptEvent& e : t.events)
        if (e.kind == "box") return "stopped";
    return "nothing";
}

std::string FormatMatrixText(const std::vector<MatrixPath>& paths) {
    std::string out;
    size_t failed = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        const MatrixPath& p = paths[i];
        std::string line = std::to_string(i + 1) + ". " + p.windows + " (" + (p.osKey.empty() ? "no OS key" : p.osKey) + ")";
        if (!p.card.empty()) line += "; card " + p.card;
        if (!p.usb.empty()) line += "; USB supplement " + p.usb;
        line += ": " + p.Outcome();
        if (p.Kind() == "failed") line += " (FAILS: the script means to install here)", ++failed;
        std::string boxes;
        for (const TranscriptEvent& e : p.t.events)
            if (e.kind == "box")
                boxes += std::string(boxes.empty() ? "" : ", ") + "\"" +
                         OneLine(pkgcheck::ShownText(e.Field("text"), p.t.codePage), 60) + "\" " +
                         (e.Field("answer").compare(0, 4, "none") == 0 ? "closed by setup" : e.Field("answer"));
        line += "; boxes: " + (boxes.empty() ? std::string("none") : boxes);
        out += line + "\n";
    }
    out += std::to_string(paths.size()) + " paths; " +
           (failed ? std::to_string(failed) + " that the script means to install end without the driver\n"
                   : "every path that the script means to install installs the driver\n");
    return out;
}

std::string FormatMatrixJson(const std::vector<MatrixPath>& paths) {
    std::string out = "[\n";
    const std::string status = "\"exitStatus\": " + std::to_string(MatrixExitStatus(paths));
    for (size_t i = 0; i < paths.size(); ++i) {
        const MatrixPath& p = paths[i];
        std::string run = FormatTranscriptJson(p.t);
        // Each object carries the tool's exit status, as every JSON output does.
        const size_t at = run.find("\"exitStatus\": ");
        if (at != std::string::npos) run.replace(at, status.size(), status);
        while (!run.empty() && run.back() == '\n') run.pop_back();
        const std::string path = "\"path\": {\"number\": " + std::to_string(i + 1) + ", \"windows\": " +
                                 JsonString(p.windows) + ", \"os\": " + JsonString(p.os) + ", \"card\": " +
                                 JsonString(p.card) + ", \"usbSupplement\": " + JsonString(p.usb) +
                                 ", \"meantToInstall\": " + (p.meant ? "true" : "false") + ", \"outcome\": " +
                                 JsonString(p.Outcome()) + ", \"kind\": " + JsonString(p.Kind()) + "}, ";
        out += "{" + path + run.substr(1) + (i + 1 < paths.size() ? ",\n" : "\n");
    }
    return out + "]\n";
}

int MatrixExitStatus(const std::vector<MatrixPath>& paths) {
    for (const MatrixPath& p : paths)
        if (p.Kind() == "failed") return 1;
    return 0;
}
