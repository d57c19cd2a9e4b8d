#include "tools/pkgtool/dryrun/pc.h"
#include "tools/pkgtool/formats/cardnames.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/check/suggest.h"
#include "tools/pkgtool/formats/inifile.h"
#include "framework/fields.h"
#include "setup/cardentry.h"
#include "setup/commands.h"
#include "setup/oskind.h"
#include "simwin/programs.h"
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace fs = std::filesystem;

namespace {

struct Version {
    const char* key;
    DWORD platform, major, minor;
    const char* csd;
};

// One version of each OS key, as those systems report themselves.
const Version kVersions[] = {
    {"WIN95", 1, 4, 0, " A"},         {"W95A", 1, 4, 0, ""},
    {"W95B", 1, 4, 0, " B"},          {"W95C", 1, 4, 0, " C"},
    {"W98", 1, 4, 10, " A "},         {"WINNT", 2, 5, 0, "Service Pack 4"},
    {"NT31", 2, 3, 1, ""},            {"NT35X", 2, 3, 51, "Service Pack 5"},
    {"NT40", 2, 4, 0, "Service Pack 6a"},
};

bool SameText(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

bool ParseNumber(const std::string& text, unsigned long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = strtoul(text.c_str(), &end, 0);
    return end && *end == '\0';
}

// VENDOR:DEVICE[:SUBSYS][@BUS:DEVICE:FUNCTION], identifiers in hexadecimal
// as the registry writes them (0x prefix optional; SUBSYS the eight digits
// of SUBSYS_ in the hardware id), or VENDOR,DEVICE in decimal as a
// DetectCard entry writes them; the location in decimal.
std::string ParseCard(const std::string& value, PciCard& card, bool& decimal) {
    std::string ids = value, at;
    size_t a = value.find('@');
    if (a != std::string::npos) ids = value.substr(0, a), at = value.substr(a + 1);
    unsigned v = 0, d = 0;
    char end = 0;
    decimal = ids.find(',') != std::string::npos;
    const size_t second = decimal ? std::string::npos : ids.find(':', ids.find(':') + 1);
    if (ids.find(':') != std::string::npos && second != std::string::npos) {
        const std::string sub = ids.substr(second + 1);
        if (sub.size() != 8 || sub.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return "card: SUBSYS is the eight hexadecimal digits of SUBSYS_ in the hardware id, e.g. "
                   "121a:0005:0030121a";
        card.subsysKnown = true;
        card.subsys = strtoul(sub.c_str(), nullptr, 16);
        ids = ids.substr(0, second);
    }
    const bool read = decimal ? sscanf(ids.c_str(), "%u,%u%c", &v, &d, &end) == 2
                              : sscanf(ids.c_str(), "%x:%x%c", &v, &d, &end) == 2;
    unsigned dv = 0, dd = 0;
    if (!read || v > 0xFFFF || d > 0xFFFF)
        return "card: expected VENDOR:DEVICE in hexadecimal (121a:0005) or VENDOR,DEVICE in decimal as the script "
               "writes it (4634,5), e.g. 1234:5678@1:0:0" +
               (!decimal && sscanf(ids.c_str(), "%u:%u%c", &dv, &dd, &end) == 2 && dv <= 0xFFFF && dd <= 0xFFFF
                    ? "; did you mean --card " + std::to_string(dv) + "," + std::to_string(dd) + "?"
                    : std::string());
    card.vendor = v;
    card.device = d;
    if (!at.empty()) {
        unsigned b = 0, s = 0, f = 0;
        if (sscanf(at.c_str(), "%u:%u:%u", &b, &s, &f) != 3 || b > 255 || s > 31 || f > 7)
            return "card: the location is BUS:DEVICE:FUNCTION (0-255, 0-31, 0-7)";
        card.bus = b, card.slot = s, card.function = f;
        card.placed = true;
    }
    return "";
}

int AnswerId(const std::string& word) {
    static const struct {
        const char* name;
        int id;
    } table[] = {{"ok", IDOK},       {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
                 {"ignore", IDIGNORE}, {"yes", IDYES},     {"no", IDNO},       {"default", 0}};
    for (const auto& t : table)
        if (SameText(word, t.name)) return t.id;
    return -1;
}

// OS keys are written in capitals, exactly: "win95" is Wine's name of a
// Windows 95 that classifies as W95A, not the key WIN95.
const Version* VersionOfKey(const std::string& key) {
    for (const Version& v : kVersions)
        if (key == v.key) return &v;
    return nullptr;
}

// Platform, major, minor and service pack of the spec's version.
bool SetVersion(const std::string& os, sim::Machine& m) {
    if (const Version* v = VersionOfKey(os)) {
        m.platformId = v->platform, m.majorVersion = v->major, m.minorVersion = v->minor, m.csdVersion = v->csd;
        return true;
    }
    unsigned p = 0, ma = 0, mi = 0;
    int used = 0;
    if (sscanf(os.c_str(), "%u.%u.%u%n", &p, &ma, &mi, &used) == 3) {
        m.platformId = p, m.majorVersion = ma, m.minorVersion = mi;
        m.csdVersion = os[used] == ':' ? os.substr(used + 1) : "";
        return true;
    }
    return m.SetVersion(os); // the names Wine uses: win95, win98, nt40, ...
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path FindInPackage(const std::string& dir, const std::string& name) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && SameText(e.path().filename().string(), name)) return e.path();
    return fs::path();
}

enum class Mark { kNone, kUtf8, kUtf16 };

Mark MarkOf(const std::string& bytes) {
    if (bytes.compare(0, 3, "\xef\xbb\xbf") == 0) return Mark::kUtf8;
    if (bytes.compare(0, 2, "\xff\xfe") == 0 || bytes.compare(0, 2, "\xfe\xff") == 0) return Mark::kUtf16;
    return Mark::kNone;
}

// Windows 95 and 98 read a profile byte for byte; NT up to 4.0 decodes a
// UTF-16 file but not a UTF-8 mark. Whether the machine's version reads the
// mark as text.
bool ReadsMarkAsText(Mark mark, const sim::Machine& m) {
    if (mark == Mark::kNone) return false;
    if (m.platformId == VER_PLATFORM_WIN32_WINDOWS) return true;
    return mark == Mark::kUtf8 && m.platformId == VER_PLATFORM_WIN32_NT && m.majorVersion <= 4;
}

// The simulated reader is Wine's, which decodes a mark only at the very
// start of the file: behind an empty line, which every reader skips, the
// mark is read as the bytes it is.
std::string AsTheSystemReads(const std::string& bytes, const sim::Machine& m) {
    return ReadsMarkAsText(MarkOf(bytes), m) ? "\n" + bytes : bytes;
}

// A path below the package as the PC names it: each name as Windows shows
// the author's file (TargetName), joined by backslashes.
std::string ToWindows(const std::string& relative) {
    std::string out;
    for (const fs::path& part : fs::path(relative)) {
        const std::string name = part.string();
        if (name.empty() || name == "/") continue;
        out += (out.empty() ? "" : "\\") + pkgcheck::TargetName(name);
    }
    return out;
}

void NoteTextMark(const std::string& packageDir, const char* script, const sim::Machine& m,
                  std::vector<std::string>& notes) {
    fs::path p = FindInPackage(packageDir, script);
    if (p.empty()) return;
    Mark mark = MarkOf(ReadFile(p));
    if (!ReadsMarkAsText(mark, m)) return;
    const std::string wine = " Wine reads the file differently: it decodes the mark, so a test under Wine does not "
                             "show this.";
    if (mark == Mark::kUtf8)
        notes.push_back(std::string(script) + " begins with a UTF-8 byte order mark. Windows 95, 98 and NT 4.0 read "
                        "it byte for byte, so its first section header is no header; this run shows what they do." +
                        wine);
    else
        notes.push_back(std::string(script) + " is UTF-16 text. Windows 95 and 98 read it byte for byte and find no "
                        "section in it; this run shows what they do." + wine);
}

std::string Hex4Lower(unsigned v) {
    char b[8];
    snprintf(b, sizeof b, "%04x", v & 0xFFFF);
    return b;
}

std::string Hex2(unsigned v) {
    char b[8];
    snprintf(b, sizeof b, "%02X", v & 0xFF);
    return b;
}

} // namespace

std::string OsKeyOfSpec(const std::string& os) {
    sim::Machine m;
    if (!SetVersion(os, m)) return "";
    const char* key = OsKeyOf(ClassifyVersion(m.platformId, m.majorVersion, m.minorVersion, m.csdVersion.c_str()));
    return key ? key : "";
}

std::string OsKeyReasonOfSpec(const std::string& os) {
    sim::Machine m;
    if (!SetVersion(os, m)) return "";
    return pkgcheck::OsKeyReason(m.platformId, m.majorVersion, m.minorVersion, m.csdVersion);
}

// Windows 95 and 98 name a PCI function's instance by its place,
// BUS_bb&DEV_dd&FUNC_ff, an AGP card's too (it sits behind the AGP bridge
// on a bus of its own). Which instance name they give an AGP card was not
// found in a source of the time; the launcher's fixed "000800" is the
// script's own assumption. A card placed in a slot is registered there;
// only a card without a place follows the script's AGP entry.
std::string InstanceOf(const PciCard& card, const std::string& packageDir) {
    if (!card.instance.empty()) return card.instance;
    char slot[40];
    snprintf(slot, sizeof slot, "BUS_%02X&DEV_%02X&FUNC_%02X", card.bus, card.slot, card.function);
    if (card.placed) return slot;
    fs::path script = packageDir.empty() ? fs::path() : FindInPackage(packageDir, "SETUP.INI");
    pkgcheck::IniFile ini;
    if (script.empty() || !ini.Load(script.string())) return slot;
    for (const pkgcheck::IniSection& section : ini.Sections()) {
        if (MatchCommand(section.name.c_str()) != kCmdDetectCard) continue;
        for (int n = 1; n < 10000; ++n) {
            const std::string entry = ini.Read(section.name, std::to_string(n), 256);
            if (entry.empty()) break;
            unsigned short vendor, device;
            if (!ReadCardIds(entry.c_str(), &vendor, &device) || vendor != card.vendor || device != card.device)
                continue;
            char busType[8];
            int flag = 0;
            ReadCardFields(entry.c_str(), busType, sizeof busType, &flag);
            if (IsAgpBusType(busType)) return "000800";
        }
    }
    return slot;
}

// A capture file, read whole; false when it cannot be read.
bool ReadCapture(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text = ReadFile(path);
    return true;
}

bool IsPcFlag(const std::string& name) {
    return name == "no-card" || name == "helper-never-shows" || name == "no-helper";
}

const std::vector<std::string>& OsOptionNames() {
    static const std::vector<std::string> names = {"W95A", "W95B", "W95C", "W98", "WIN95", "NT40", "NT35X", "NT31",
                                                   "WINNT", "win95", "win98", "nt40", "nt351", "win10"};
    return names;
}

std::string ApplyPcOption(PcSpec& spec, const std::string& name, const std::string& value) {
    unsigned long n = 0;
    spec.given.push_back(name);
    if (name == "os") {
        sim::Machine probe;
        if (!SetVersion(value, probe))
            return "os: an OS key (W95A, W95B, W95C, W98, WIN95, NT40, NT35X, NT31, WINNT), a Wine version name "
                   "(win98, nt40, ...) or PLATFORM.MAJOR.MINOR[:SERVICE PACK]" +
                   pkgcheck::DidYouMean(value, OsOptionNames());
        spec.os = value;
    } else if (name == "card") {
        PciCard card;
        bool decimal = false;
        std::string error = ParseCard(value, card, decimal);
        if (!error.empty()) return error;
        spec.cards.push_back(card);
        spec.cardsGiven = true;
        spec.cardTexts.push_back({value, decimal});
    } else if (name == "no-card") {
        spec.cards.clear();
        spec.cardsGiven = true;
    } else if (name == "enum") {
        spec.enumPci.push_back(value);
        spec.enumGiven = true;
    } else if (name == "usb") {
        spec.usbDisplayName = value;
    } else if (name == "answer") {
        std::stringstream words(value);
        std::string w;
        while (std::getline(words, w, ',')) {
            int id = AnswerId(Trim(w));
            if (id < 0) return "answer: OK, Cancel, Yes, No, Abort, Retry, Ignore or Default";
            spec.answers.push_back(id);
        }
    } else if (name == "dir") {
        if (value.size() < 2 || value[1] != ':') return "dir: a Windows path with a drive, e.g. D:\\CD";
        spec.launchDir = value;
    } else if (name == "args") {
        spec.arguments = value;
    } else if (name == "started-by") {
        if (value != "autorun" && value != "explorer") return "started-by: autorun or explorer";
        spec.startedByExplorer = value == "explorer";
    } else if (name == "helper-exit") {
        if (!ParseNumber(value, n)) return "helper-exit: a number";
        spec.helperExit = (unsigned)n;
    } else if (name == "helper-shows-after") {
        if (!ParseNumber(value, n)) return "helper-shows-after: milliseconds";
        spec.helperShowMs = (int64_t)n;
    } else if (name == "no-helper") {
        spec.helper = false;
    } else if (name == "helper-never-shows") {
        spec.helperShowMs = -1;
    } else if (name == "applet-closed-after") {
        if (!ParseNumber(value, n)) return "applet-closed-after: milliseconds";
        spec.appletClosesMs = (int64_t)n;
    } else if (name == "exit") {
        size_t eq = value.rfind('=');
        if (eq == std::string::npos || !ParseNumber(value.substr(eq + 1), n))
            return "exit: PROGRAM=CODE, e.g. postinst.exe=1";
        spec.programExits.push_back({value.substr(0, eq), (unsigned)n});
    } else if (name == "missing") {
        spec.missing.push_back(value);
    } else if (name == "codepage") {
        char* end = nullptr;
        const long page = strtol(value.c_str(), &end, 10);
        if (value.empty() || *end || page <= 0 || page > 65535 || !pkgcheck::IsKnownCodePage(int(page)))
            return "codepage takes the number of a code page this machine can convert, e.g. 1252 or 932";
        spec.codePage = int(page);
    } else if (name == "lspci") {
        std::string text;
        if (!ReadCapture(value, text)) return "lspci: cannot read " + value;
        std::vector<PciCard> cards;
        std::string error = ReadLspci(text, cards, spec.notes);
        if (!error.empty()) return "lspci: " + value + ": " + error;
        spec.cards.insert(spec.cards.end(), cards.begin(), cards.end());
        spec.cardsGiven = true;
        spec.notes.push_back("The PCI bus holds the " + std::to_string(cards.size()) + " functions of the capture " +
                             value + ".");
    } else if (name == "registry") {
        std::string text;
        if (!ReadCapture(value, text)) return "registry: cannot read " + value;
        std::string error = ReadRegistryExport(text, spec.registry, &spec.notes);
        if (!error.empty()) return "registry: " + value + ": " + error;
        spec.registryGiven = true;
        spec.notes.push_back("The registry holds the keys and values under HKEY_LOCAL_MACHINE of the export " + value +
                             ".");
    } else {
        spec.given.pop_back();
        return "unknown option --" + name +
               pkgcheck::DidYouMean(name, {"os", "card", "no-card", "enum", "usb", "answer", "dir", "args",
                                           "started-by", "helper-exit", "helper-shows-after", "no-helper",
                                           "helper-never-shows", "applet-closed-after", "exit", "missing", "lspci",
                                           "registry", "program", "machine", "codepage", "pci-ids", "json"});
    }
    return "";
}

std::string ReadMachineFile(PcSpec& spec, const std::string& path) {
    std::ifstream in(path);
    // The captures it names lie beside it, wherever the tool is started.
    const fs::path folder = fs::path(path).parent_path();
    if (!in) return "cannot read the machine file " + path;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::string t = Trim(line.substr(0, line.find('#')));
        if (t.empty()) continue;
        size_t eq = t.find('=');
        std::string name = Trim(t.substr(0, eq)), value = eq == std::string::npos ? "" : Trim(t.substr(eq + 1));
        if (eq == std::string::npos && !IsPcFlag(name))
            return path + ":" + std::to_string(number) + ": expected name = value";
        if ((name == "lspci" || name == "registry") && !value.empty() && fs::path(value).is_relative())
            value = (folder / value).string();
        std::string error = ApplyPcOption(spec, name, value);
        if (!error.empty()) return path + ":" + std::to_string(number) + ": " + error;
    }
    return "";
}

void AddCardFromPackage(PcSpec& spec, const std::string& dir) {
    const std::string packageDir = PackageDirOf(spec, dir);
    fs::path script = packageDir.empty() ? fs::path() : FindInPackage(packageDir, "SETUP.INI");
    if (script.empty()) return;
    sim::Machine pc;
    SetVersion(spec.os, pc);
    std::string text = AsTheSystemReads(ReadFile(script), pc), key = OsKeyOfSpec(spec.os);
    char list[256], entry[256], value[256];
    sim::ReadProfileString(&text, "Application", key.c_str(), "", list, sizeof list);
    const char* pos = list;
    while (NextField(&pos, entry, sizeof entry)) {
        if (MatchCommand(entry) != kCmdDetectCard) continue;
        sim::ReadProfileString(&text, entry, "1", "", value, sizeof value);
        unsigned short vendor, device;
        if (!ReadCardIds(value, &vendor, &device)) {
            spec.noCardWhy = "the first entry of [" + std::string(entry) + "] names no card";
            return;
        }
        PciCard card;
        card.vendor = vendor, card.device = device;
        spec.cards.push_back(card);
        return;
    }
    spec.noCardWhy = key.empty() ? "this version has no OS key, so no command list"
                     : list[0] ? "the " + key + " command list has no DetectCard entry"
                               : "the script has no " + key + " command list";
}

std::string FilesAt(const PcSpec& spec, const std::string& dir) {
    return FindInPackage(dir, "AUTORUN.INF").empty() ? spec.launchDir : spec.launchDir.substr(0, 2);
}

namespace {

bool IsProgramFile(const fs::path& p) {
    const std::string ext = p.extension().string();
    return SameText(ext, ".exe") || SameText(ext, ".com") || SameText(ext, ".bat");
}

} // namespace

std::vector<std::string> ProgramsNamed(const PcSpec& spec, const std::string& dir, const std::string& name) {
    std::vector<std::string> found;
    std::string asPath = ToWindows(name);
    if (!asPath.empty() && asPath[0] == '\\') asPath.erase(0, 1);
    const std::string filesAt = FilesAt(spec, dir);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file() || !IsProgramFile(it->path())) continue;
        const std::string rel = ToWindows(fs::relative(it->path(), dir, ec).string()), win = filesAt + "\\" + rel;
        if (SameText(name, it->path().filename().string()) || SameText(name, it->path().stem().string()) ||
            SameText(asPath, rel) || SameText(name, win))
            found.push_back(win);
    }
    return found;
}

ProgramStart BuildMachine(const PcSpec& spec, const std::string& dir, bool forSetup, sim::Machine& m,
                          std::vector<std::string>& notes, const ProgramStart* started) {
    SetVersion(spec.os, m);
    m.codePage = UINT(spec.codePage);
    m.currentDirectory = spec.launchDir;
    m.moduleFileName = spec.launchDir + "\\setup.exe";
    const bool cd = !FindInPackage(dir, "AUTORUN.INF").empty();
    const std::string drive = spec.launchDir.substr(0, 2), filesAt = cd ? drive : spec.launchDir;

    // The package, under the launch directory. Only scripts need their bytes.
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string rel = ToWindows(fs::relative(it->path(), dir, ec).string());
        std::string win = filesAt + "\\" + rel;
        if (it->is_directory()) {
            m.directories.push_back(win);
        } else if (it->is_regular_file()) {
            std::string ext = it->path().extension().string();
            const bool script = SameText(ext, ".ini") || (cd && SameText(rel, "AUTORUN.INF"));
            m.files[win] = script ? AsTheSystemReads(ReadFile(it->path()), m) : std::string();
        }
    }
    const ProgramStart start = started ? *started
                               : cd    ? CdStart(spec, dir, drive, forSetup, m, notes)
                                       : PlainStart(spec, dir);
    if (started) m.currentDirectory = started->currentDirectory, m.moduleFileName = started->moduleFile;
    if (!start.failure.empty()) return start;
    const std::string packageDir = start.packageDir;
    if (cd && !started) NoteTextMark(dir, "AUTORUN.INF", m, notes);
    if (!packageDir.empty()) NoteTextMark(packageDir, forSetup ? "SETUP.INI" : "sequor95.ini", m, notes);

    for (const PciCard& c : spec.cards) m.AddPciFunction(c.bus, c.slot, c.function, c.vendor, c.device);
    std::vector<std::string> enumPci = spec.enumPci;
    if (!spec.enumGiven && !spec.registryGiven) {
        // Windows has detected every card that is plugged in.
        for (const PciCard& c : spec.cards) {
            char key[60];
            if (c.subsysKnown)
                snprintf(key, sizeof key, "VEN_%04X&DEV_%04X&SUBSYS_%08lX\\", c.vendor, c.device, c.subsys);
            else
                snprintf(key, sizeof key, "VEN_%04X&DEV_%04X\\", c.vendor, c.device);
            const std::string instance = InstanceOf(c, packageDir);
            enumPci.push_back(key + instance);
            if (instance == "000800" && c.instance.empty())
                notes.push_back(std::string("The card ") + key + "000800 is registered where the script's AGP "
                                "DetectCard entry assumes; no document of the time confirms that Windows 95 or 98 "
                                "names an AGP card's instance 000800. In its slot (--card " +
                                Hex4Lower(c.vendor) + ":" + Hex4Lower(c.device) + "@" + std::to_string(c.bus) + ":" +
                                std::to_string(c.slot) + ":" + std::to_string(c.function) +
                                ") Windows registers it as BUS_" + Hex2(c.bus) + "&DEV_" + Hex2(c.slot) + "&FUNC_" +
                                Hex2(c.function) + ", and CheckPCIKey, looking for 000800, does not find it.");
        }
    }
    for (const std::string& e : enumPci) m.Key("Enum\\PCI\\" + e);
    for (const RegistryEntry& e : spec.registry) {
        sim::RegKey& key = m.Key(e.key);
        if (e.hasValue) key.values[e.valueName] = e.value;
    }
    notes.insert(notes.end(), spec.notes.begin(), spec.notes.end());
    if (!spec.usbDisplayName.empty()) {
        sim::RegValue v;
        v.data = spec.usbDisplayName + '\0';
        m.Key("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OSR21").values["DisplayName"] = v;
    }

    m.answers.assign(spec.answers.begin(), spec.answers.end());

    // Programs of the package end at once with code 0 unless told otherwise;
    // the install helper and the Display applet have models of their own.
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string ext = it->path().extension().string();
        if (it->is_regular_file() && (SameText(ext, ".exe") || SameText(ext, ".com") || SameText(ext, ".bat")))
            sim::AddPlainProgram(m, pkgcheck::TargetName(it->path().filename().string()), 0);
    }
    // As the list names it: a bare name stands for the file wherever the
    // system finds it, a path for that file alone.
    for (const auto& p : spec.programExits) {
        const std::vector<std::string> named = ProgramsNamed(spec, dir, p.first);
        const bool bare = p.first.find_first_of("\\/") == std::string::npos;
        if (named.empty() || bare)
            sim::AddPlainProgram(m, named.empty() ? p.first : pkgcheck::FileNameOf(named[0]), p.second);
        for (const std::string& w : named) sim::AddPlainProgram(m, w, p.second);
    }
    bool shipped = !packageDir.empty() && !FindInPackage(packageDir, "fitter16.exe").empty();
    if (forSetup && spec.helper && !shipped && m.platformId == VER_PLATFORM_WIN32_WINDOWS)
        notes.push_back("The package holds no fitter16.exe; the simulated PC provides one (--no-helper leaves it "
                        "out).");
    if (!spec.helper) m.programs.erase("fitter16.exe");
    if (spec.helper) {
        sim::HelperBehaviour helper;
        helper.exitCode = spec.helperExit;
        helper.showAfterMs = spec.helperShowMs;
        sim::AddHelperProgram(m, helper);
    }
    sim::AppletBehaviour applet;
    applet.userClosesAtMs = spec.appletClosesMs;
    sim::AddAppletProgram(m, applet);
    for (const std::string& name : spec.missing) m.programs.erase(name);

    if (forSetup && m.platformId == VER_PLATFORM_WIN32_WINDOWS && !spec.cards.empty())
        notes.push_back("The PCI bus is the one described here; under Wine every configuration read gives all "
                        "ones (no card), so there DetectCard finds only 65535,65535.");
    if (forSetup && m.platformId == VER_PLATFORM_WIN32_NT)
        notes.push_back("On Windows NT the launcher does not touch the PCI ports (they fault there): DetectCard "
                        "finds nothing, whatever cards are described.");
    if (!forSetup)
        notes.push_back("Programs of the package other than setup.exe are modelled as ending at once with exit "
                        "code 0, or with the code given by --exit; their own work is not simulated. A setup.exe "
                        "of the package runs the launcher's own code, with a transcript of its own.");
    return start;
}

std::vector<std::string> EnumPciKeys(const sim::Machine& m) {
    std::vector<std::string> keys;
    auto e = m.localMachine.subkeys.find("Enum");
    if (e == m.localMachine.subkeys.end()) return keys;
    auto pci = e->second.subkeys.find("PCI");
    if (pci == e->second.subkeys.end()) return keys;
    for (const auto& device : pci->second.subkeys) {
        if (device.second.subkeys.empty()) keys.push_back(device.first);
        for (const auto& instance : device.second.subkeys) keys.push_back(device.first + "\\" + instance.first);
    }
    return keys;
}

PcDescription DescribePc(const PcSpec& spec, const sim::Machine& m, const ProgramStart& start) {
    PcDescription d;
    d.platform = m.platformId, d.major = m.majorVersion, d.minor = m.minorVersion, d.servicePack = m.csdVersion;
    const char* key = OsKeyOf(ClassifyVersion(m.platformId, m.majorVersion, m.minorVersion, m.csdVersion.c_str()));
    d.osKey = key ? key : "";
    d.osWhy = pkgcheck::OsKeyReason(m.platformId, m.majorVersion, m.minorVersion, m.csdVersion);
    d.start = start.description;
    d.cards = spec.cards;
    d.noCardWhy = spec.noCardWhy;
    d.registry = EnumPciKeys(m);
    d.usb = spec.usbDisplayName;
    return d;
}

std::string PcDescription::Line() const {
    std::string s = "OS key " + (osKey.empty() ? std::string("none") : osKey) + " (" + osWhy + "); " + start;
    s += "; PCI:";
    if (cards.empty()) s += " no card" + (noCardWhy.empty() ? std::string() : " (" + noCardWhy + ")");
    for (const PciCard& c : cards) {
        char at[80];
        snprintf(at, sizeof at, " at bus %u device %u function %u", c.bus, c.slot, c.function);
        s += (&c == &cards.front() ? " " : ", ") + PciCardLabel(c.vendor, c.device) + at;
    }
    s += "; registry Enum\\PCI:";
    if (registry.empty()) s += " empty";
    for (size_t i = 0; i < registry.size() && i < 8; ++i) s += (i ? ", " : " ") + registry[i];
    if (registry.size() > 8) s += ", ... (" + std::to_string(registry.size()) + " keys)";
    s += "; USB supplement: " + (usb.empty() ? std::string("not installed") : usb);
    return s;
}
