#include "tools/pkgtool/dryrun/dryrun.h"
#include "setup/cardentry.h"
#include "setup/oskind.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/formats/inffile.h"
#include "tools/pkgtool/formats/inftext.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include <algorithm>
#include <filesystem>
#include <set>
#include "setup/commands.h"
#include "framework/chars.h"
#include "framework/cmdline.h"
#include "framework/fields.h"
#include "sequor/exitrule.h"
#include "sequor/shutdown.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/formats/inifile.h"
#include "tests/support/run.h"
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

const char* kButtonSets[] = {"OK", "OK/Cancel", "Abort/Retry/Ignore", "Yes/No/Cancel", "Yes/No", "Retry/Cancel"};

std::string Buttons(UINT style) {
    UINT set = style & 0xF;
    return set < sizeof kButtonSets / sizeof kButtonSets[0] ? kButtonSets[set] : "?";
}

std::string Icon(UINT style) {
    switch (style & 0xF0) {
    case 0x10: return "stop";
    case 0x20: return "question";
    case 0x30: return "exclamation";
    case 0x40: return "information";
    default: return "none";
    }
}

std::string AnswerName(int answer) {
    static const char* names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    if (answer == 0) return "none, the program's quit message closed it";
    return answer > 0 && answer < 8 ? names[answer] : std::to_string(answer);
}

bool TakePrefix(const std::string& line, const std::string& prefix, std::string& rest) {
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    rest = line.substr(prefix.size());
    return true;
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    for (size_t at = 0;;) {
        size_t next = s.find(sep, at);
        parts.push_back(s.substr(at, next - at));
        if (next == std::string::npos) return parts;
        at = next + 1;
    }
}

bool IsNumber(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

std::string Hex4(unsigned v) {
    char b[8];
    snprintf(b, sizeof b, "%04X", v & 0xFFFF);
    return b;
}

std::string Slot(uint32_t at) {
    return "bus " + std::to_string(at >> 8) + " device " + std::to_string((at >> 3) & 31) + " function " +
           std::to_string(at & 7);
}

// What the launcher's steps looked for and found, told beside what the
// machine saw. Reads of the script and the registry mark where each runs.
class Explainer {
public:
    Explainer(const sim::Machine& m, const ProgramStart& start, const PcSpec& spec)
        : m_(m), start_(start), spec_(spec) {}

    // The explanation a recorded read or open gives, if any.
    bool Explain(const std::string& line, TranscriptEvent& e) {
        const std::vector<std::string> f = Split(line, '\t');
        if (f[0] == "registry open" && f.size() == 2 && strcasecmp(f[1].c_str(), "Enum\\PCI") == 0)
            return PciKey(e);
        if (f[0] != "read" || f.size() != 4) return false;
        const std::string &section = f[1], &key = f[2], &value = f[3];
        if (strcasecmp(section.c_str(), "Application") == 0) {
            osKey_ = key;
            e.kind = "commands";
            e.fields = {{"os key", key.empty() ? "(none)" : key},
                        {"list", value.empty() ? "(none: setup shows NotSupport)" : value}};
            if (value.empty()) failure_ = "the script has no command list for the OS key " + OsKeyText();
            listSeen_ = true;
            entries_.clear();
            const char* next = value.c_str();
            char entry[256];
            while (NextField(&next, entry, sizeof entry)) entries_.push_back(entry);
            return true;
        }
        if (strcasecmp(section.c_str(), "SubDir") == 0) {
            subDir_ = value;
            return false;
        }
        if (MatchCommand(section.c_str()) == kCmdDetectCard && IsNumber(key)) return Detect(section, key, value, e);
        return false;
    }

    // The list's entries that setup passes without a trace (ShowUSBMsg with
    // the supplement installed, words that are no command) get a step of
    // their own, told before the entry whose trace `line` is.
    void Before(const std::string& line, std::vector<TranscriptEvent>& out) {
        if (entries_.empty() || !stop_.empty()) return;
        const std::vector<std::string> f = Split(line, '\t');
        const bool read = f[0] == "read" && f.size() == 4;
        if (read && MatchCommand(f[1].c_str()) == kCmdDetectCard && IsNumber(f[2]))
            Reach(kCmdDetectCard, f[1], out);
        else if (f[0] == "registry open" && f.size() == 2 && strcasecmp(f[1].c_str(), "Enum\\PCI") == 0)
            Reach(kCmdCheckPciKey, "", out);
        else if (read && strcasecmp(f[1].c_str(), "Message") == 0 && !IsCurrent(f[2]) &&
                 (MatchCommand(f[2].c_str()) == kCmdShowMsg || MatchCommand(f[2].c_str()) == kCmdShowUsbMsg))
            Reach(MatchCommand(f[2].c_str()), f[2], out);
        else if (read && strcasecmp(f[2].c_str(), "program") == 0 && MatchCommand(f[1].c_str()) == kCmdExec &&
                 !IsCurrent(f[1]))
            Reach(kCmdExec, f[1], out);
        else if (line.compare(0, 22, "process started: fitte") == 0 || line.compare(0, 18, "start failed (") == 0 ||
                 line.find("Control_RunDLL desk.cpl") != std::string::npos)
            if (current_ < 0 || MatchCommand(entries_[current_].c_str()) != kCmdInstall) Reach(kCmdInstall, "", out);
    }

    // A box of the current entry: Cancel on ShowUSBMsg stops the list, and
    // ShowMsg always does.
    void AfterBox(const TranscriptEvent& box) {
        if (current_ < 0 || !stop_.empty()) return;
        const std::string& entry = entries_[current_];
        const ScriptCommand c = MatchCommand(entry.c_str());
        if (c == kCmdShowUsbMsg && box.Field("answer") == "Cancel") stop_ = "the user answered Cancel on " + entry;
        if (c == kCmdShowMsg) stop_ = entry + " shows its message and ends the list";
    }

    void Hung() {
        if (stop_.empty()) stop_ = "setup waits for ever";
    }

    // The entries after the last one that left a trace.
    void Finish(std::vector<TranscriptEvent>& out) {
        if (entries_.empty()) return;
        if (stop_.empty() && !failure_.empty()) stop_ = failure_;
        Reach(kCmdNone, "\x01", out);
    }

    // Why the list ran no Install, where it did not.
    std::string NoInstall() const {
        bool listed = false;
        for (const std::string& e : entries_) listed = listed || MatchCommand(e.c_str()) == kCmdInstall;
        if (!listed) return "the " + OsKeyText() + " command list has no Install,";
        return (stop_.empty() ? std::string("the list ended") : stop_) + ", so the " + OsKeyText() +
               " command list stopped before its Install";
    }

    // The Install step, told before the program it starts.
    bool Install(const std::string& commandLine, TranscriptEvent& e) {
        const bool helper = commandLine.compare(0, 13, "fitter16.exe ") == 0;
        const bool applet = commandLine.find("Control_RunDLL desk.cpl") != std::string::npos;
        if (!helper && !applet) return false;
        e.kind = "install";
        e.fields = {{"route", helper ? "Windows 95/98: the install helper" : "Windows NT 4.0: the Display applet"},
                    {"command line", commandLine},
                    {"folder", OsDirectory()}};
        Model(helper ? pkgcheck::InfReader::kWin9x : pkgcheck::InfReader::kNt4, e);
        return true;
    }

    // Where the driver's own install stops, told after the helper's start
    // click or the applet's path: "install-stops" with check's finding.
    bool Stops(const std::string& line, TranscriptEvent& e) {
        if (stops_.empty() || stopTold_) return false;
        if (line != "helper: start clicked" && line.compare(0, 17, "applet: path OK w") != 0) return false;
        stopTold_ = true;
        e.kind = "install-stops";
        e.fields = {{"code", stops_[0].code}, {"file", pkgcheck::TargetPath(stops_[0].file)},
                    {"line", stops_[0].line > 0 ? std::to_string(stops_[0].line) : ""},
                    {"why", stops_[0].message}};
        return true;
    }
    const std::vector<Finding>& InstallFindings() const { return installFindings_; }
    const std::vector<Finding>& Stopped() const { return stops_; }

    std::string OsDirectory() const { return start_.launchDir + subDir_; }
    std::string OsKeyText() const { return osKey_.empty() ? "(none)" : osKey_; }
    const std::string& failure() const { return failure_; }
    bool listSeen() const { return listSeen_; }

private:
    bool IsCurrent(const std::string& name) const {
        return current_ >= 0 && strcasecmp(entries_[current_].c_str(), name.c_str()) == 0;
    }

    // Moves to the next entry of command `c` (and name, where given), telling
    // each entry passed on the way; kCmdNone passes every entry left.
    void Reach(ScriptCommand c, const std::string& name, std::vector<TranscriptEvent>& out) {
        size_t to = size_t(current_ + 1);
        while (to < entries_.size() && (c == kCmdNone || MatchCommand(entries_[to].c_str()) != c ||
                                        (!name.empty() && strcasecmp(entries_[to].c_str(), name.c_str()) != 0)))
            ++to;
        if (c != kCmdNone && to == entries_.size()) return; // not an entry of the list: leave the walk alone
        std::string notReached;
        for (size_t k = size_t(current_ + 1); k < to; ++k) {
            const std::string& entry = entries_[k];
            if (!stop_.empty()) {
                notReached += (notReached.empty() ? "" : ",") + entry;
                continue;
            }
            TranscriptEvent e;
            e.kind = "step";
            e.fields = {{"entry", entry}, {"what", PassedWithoutTrace(entry)}};
            out.push_back(e);
            if (MatchCommand(entry.c_str()) == kCmdEnd) stop_ = entry + " ends the list";
        }
        if (!notReached.empty()) {
            TranscriptEvent e;
            e.kind = "step";
            e.fields = {{"entry", notReached}, {"what", "not reached, since " + stop_}};
            out.push_back(e);
        }
        current_ = int(to);
    }

    std::string PassedWithoutTrace(const std::string& entry) const {
        switch (MatchCommand(entry.c_str())) {
        case kCmdShowUsbMsg:
            return "no box: setup finds the USB supplement installed (the DisplayName of Uninstall\\OSR21" +
                   (spec_.usbDisplayName.empty() ? std::string() : ", \"" + spec_.usbDisplayName + "\",") +
                   " begins with USB), so the list goes on";
        case kCmdEnd: return "ends the list";
        case kCmdNone: return "no command (none of DetectCard, CheckPCIKey, ShowMsg, ShowUSBMsg, Install, Exec, End "
                              "begins it): setup passes over it";
        case kCmdInstall: return "started no install program";
        case kCmdExec: return "opened nothing";
        default: return "ran without a trace";
        }
    }

    // The install as the target performs it, through the model check uses:
    // the folder's INF files that this Windows reads, the card's models
    // line, every file copied. Check's own findings about the [SubDir]
    // value and the DetectCard entry that found the card say the rest.
    void Model(pkgcheck::InfReader reader, TranscriptEvent& e) {
        using namespace pkgcheck;
        const std::string packageDir = start_.packageDir;
        const std::string scriptPath = packageDir.empty() ? "" : FindNoCase(packageDir, "SETUP.INI");
        IniFile ini;
        if (scriptPath.empty() || !ini.Load(scriptPath)) return;
        const OsKind kind = KindOfKey(osKey_);
        std::set<std::tuple<std::string, int, std::string>> said;
        auto add = [&](const std::string& file, int line, const std::string& severity, const std::string& code,
                       const std::string& message, const std::string& fix) {
            if (!said.insert({file, line, code}).second) return;
            installFindings_.push_back({file, line, severity, code, message, "", fix});
            if (severity == "error") stops_.push_back(installFindings_.back());
        };
        // What check says at the lines this run went through.
        const std::set<int> lines = {ini.KeyLine("SubDir", osKey_),
                                     detected_ ? ini.KeyLine(matchedSection_, matchedEntry_) : -1};
        CheckOptions options;
        options.codePage = int(m_.codePage);
        // Check's texts are decoded already; the run's are the PC's bytes until shown.
        for (const Finding& f : CheckPackage(packageDir, options).findings)
            if (f.file == scriptPath && lines.count(f.line) && f.line > 0 &&
                (f.code.compare(0, 7, "subdir-") == 0 || f.code == "card-not-in-inf"))
                add(f.file, f.line, f.severity, f.code, EncodeInCodePage(f.message, options.codePage),
                    EncodeInCodePage(f.fix, options.codePage));
        DriverGroup g;
        g.folder = DriverFolder(ini, kind, packageDir, g.shown);
        if (g.folder.empty()) {
            e.fields.push_back({"inf", "none: the package has no such folder"});
            return;
        }
        g.reader = reader;
        g.keys = {osKey_};
        g.line = ini.KeyLine("Application", osKey_);
        g.everyModel = reader == InfReader::kNt4 || !detected_;
        if (detected_) g.cards = {{vendor_, device_}};
        // Windows 95/98 install for the card's own ids: one models line.
        if (detected_ && reader == InfReader::kWin9x) {
            g.hasExact = true;
            g.exact = Hardware(g.folder, e);
        }
        const std::vector<DriverInfInstall> infs = InstallFromFolder(g, scriptPath, packageDir, add, nullptr);
        std::vector<std::string> used, models;
        std::set<std::pair<std::string, std::string>> listed;
        for (const DriverInfInstall& i : infs) {
            const std::string shown = Relative(i.path, packageDir);
            if (i.install.installSections.empty()) continue;
            used.push_back(shown);
            if (g.hasExact) {
                const ModelsMatch m = ChooseModelsLine(ReadBytes(i.path), reader, g.exact);
                models.push_back(shown + ":" + std::to_string(m.line) + " (" + m.section + ", " + m.id + ")");
            }
            const InfFile inf = ReadInf(ReadBytes(i.path));
            for (const InfCard& c : inf.As(reader).cards)
                if (!g.hasExact && (g.everyModel || (c.vendor == vendor_ && c.device == device_)))
                    models.push_back(shown + ":" + std::to_string(c.line) + " (" + c.section + ", PCI\\VEN_" +
                                     Hex4(c.vendor) + "&DEV_" + Hex4(c.device) + ")");
            // A file that several install sections copy is one copy.
            const std::string folder = Relative(std::filesystem::path(i.path).parent_path().string(), packageDir);
            for (const InstallFile& f : i.install.files) {
                TranscriptEvent::Copied c;
                c.target = f.target;
                c.source = f.from == InstallSource::kWindowsLayout ? std::string("the Windows CD")
                           : f.from == InstallSource::kNone        ? "nowhere (" + f.source + ")"
                           : folder == "."                         ? f.lookedFor
                                                                   : folder + "\\" + f.lookedFor;
                c.found = f.found.empty() ? "" : Relative(f.found, packageDir);
                if (listed.insert({InfLower(c.target), InfLower(c.source)}).second) e.copied.push_back(c);
            }
        }
        std::string copies = e.copied.empty() ? "nothing" : std::to_string(e.copied.size()) +
                                                                (e.copied.size() == 1 ? " file: " : " files: ");
        size_t missing = 0;
        for (size_t k = 0; k < e.copied.size(); ++k) {
            missing += e.copied[k].found.empty() && e.copied[k].source != "the Windows CD";
            if (k < kFirstCopies)
                copies += (k ? ", " : "") + e.copied[k].target + (e.copied[k].found.empty() ? " (not in the package)" : "");
        }
        if (e.copied.size() > kFirstCopies) copies += " and " + std::to_string(e.copied.size() - kFirstCopies) + " more";
        if (missing) copies += "; " + std::to_string(missing) + " of them missing";
        if (used.empty() && detected_ && g.hasExact && !listed_.empty())
            add(scriptPath, ini.KeyLine(matchedSection_, matchedEntry_), "error", "card-not-in-inf",
                "the card's hardware id " + HardwareIdText(g.exact) + " matches no models line of " + g.shown +
                    ": its lines list the chip only with " + listed_ + ", so " + RulesOf(reader).systems +
                    " install no driver from them for this card: add a models line for " +
                    HardwareIdText(g.exact) + " (or for the chip alone) to the INF of " + g.shown,
                "add a models line for " + HardwareIdText(g.exact) + " (or for the chip alone) to the INF of " +
                    g.shown);
        else if (!infs.empty() && used.empty() && detected_)
            add(scriptPath, ini.KeyLine(matchedSection_, matchedEntry_), "error", "card-not-in-inf",
                "no INF file of " + g.shown + " that " + RulesOf(reader).systems + " read has a models line for " +
                    deviceKey_ + ", so the driver does not install for this card: add a models line for PCI\\" +
                    deviceKey_ + " to the INF of " + g.shown,
                "add a models line for PCI\\" + deviceKey_ + " to the INF of " + g.shown);
        e.fields.push_back({"inf", used.empty() ? "none" : Listed(used, 3)});
        e.fields.push_back({"models line", models.empty() ? "none for this card" : Listed(models, 3)});
        e.fields.push_back({"copies", copies});
    }

    // The install step names this many files; --verbose and the JSON form all.
    static const size_t kFirstCopies = 4;

    static std::string Listed(const std::vector<std::string>& items, size_t most) {
        std::string s;
        for (size_t k = 0; k < items.size() && k < most; ++k) s += (k ? ", " : "") + items[k];
        return items.size() > most ? s + " and " + std::to_string(items.size() - most) + " more" : s;
    }

    static std::string HardwareIdText(const pkgcheck::CardHardware& c) {
        char b[64];
        snprintf(b, sizeof b, "PCI\\VEN_%04X&DEV_%04X", c.vendor, c.device);
        std::string s = b;
        if (c.subsysKnown) snprintf(b, sizeof b, "&SUBSYS_%08lX", c.subsys), s += b;
        return s;
    }

    // The card's ids as the run's PC has them. Without a subsystem given,
    // the card is the one the first models line that lists the chip
    // describes; the transcript says so. Also notes, in listed_, the
    // subsystems the folder's lines list when none lists the chip alone.
    pkgcheck::CardHardware Hardware(const std::string& folder, TranscriptEvent& e) {
        using namespace pkgcheck;
        CardHardware hw;
        hw.vendor = vendor_, hw.device = device_;
        for (const PciCard& c : spec_.cards)
            if (c.vendor == vendor_ && c.device == device_ && c.subsysKnown &&
                (c.bus << 8 | c.slot << 3 | c.function) == slot_)
                hw.subsysKnown = true, hw.subsys = c.subsys;
        std::vector<std::string> infs;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            if (strcasecmp(it->path().extension().string().c_str(), ".inf") == 0) infs.push_back(it->path().string());
        std::sort(infs.begin(), infs.end());
        std::string first, firstAt;
        bool plain = false;
        std::set<unsigned long> subsystems;
        for (const std::string& path : infs)
            for (const auto& m : ModelsIdsOf(ReadBytes(path), InfReader::kWin9x, vendor_, device_)) {
                if (m.second.hasRev) continue;
                if (firstAt.empty()) {
                    firstAt = Relative(path, start_.packageDir) + ":" + std::to_string(m.first.line);
                    if (m.second.hasSubsys) {
                        char b[16];
                        snprintf(b, sizeof b, "%08lX", m.second.subsys);
                        first = b;
                        if (!hw.subsysKnown) hw.subsysKnown = true, hw.subsys = m.second.subsys;
                    }
                }
                plain = plain || !m.second.hasSubsys;
                if (m.second.hasSubsys) subsystems.insert(m.second.subsys);
            }
        if (!plain && !subsystems.empty()) {
            int shown = 0;
            for (unsigned long sub : subsystems) {
                char b[24];
                snprintf(b, sizeof b, "SUBSYS_%08lX", sub);
                if (shown++ < 6) listed_ += (listed_.empty() ? "" : ", ") + std::string(b);
            }
            if (subsystems.size() > 6) listed_ += ", ... (" + std::to_string(subsystems.size()) + " subsystems)";
        }
        bool given = false;
        for (const PciCard& c : spec_.cards) given = given || (c.vendor == vendor_ && c.device == device_ && c.subsysKnown);
        e.fields.push_back({"hardware id", HardwareIdText(hw) +
                                               (given ? " (--card)"
                                                : !first.empty()
                                                    ? " (assumed: the first models line that lists the chip, " +
                                                          firstAt + ", describes it; --card VEN:DEV:SUBSYS names "
                                                          "another)"
                                                    : " (no subsystem assumed: " +
                                                          (firstAt.empty() ? std::string("no models line lists the chip")
                                                                           : "the first models line that lists the "
                                                                             "chip, " + firstAt + ", has none") +
                                                          ")")});
        return hw;
    }

    static std::string Relative(const std::string& path, const std::string& root) {
        std::error_code ec;
        const std::filesystem::path rel = std::filesystem::relative(path, root, ec);
        if (ec || rel.empty()) return path;
        // Named as the PC names the author's files.
        std::string r;
        for (const std::filesystem::path& part : rel) r += (r.empty() ? "" : "\\") + pkgcheck::TargetName(part.string());
        return r;
    }

    static std::string ReadBytes(const std::string& path) {
        std::string text;
        FILE* f = fopen(path.c_str(), "rb");
        if (!f) return text;
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0 && text.size() < (16u << 20)) text.append(buf, n);
        fclose(f);
        return text;
    }

    bool Detect(const std::string& section, const std::string& n, const std::string& value, TranscriptEvent& e) {
        e.kind = "detect";
        e.fields = {{"entry", "[" + section + "] " + n}, {"value", value}};
        if (value.empty()) {
            e.fields.push_back({"result", n == "1" ? "no entries: no card can match" : "no more entries"});
            failure_ = "DetectCard found none of the cards of [" + section + "] on the bus";
            return true;
        }
        unsigned short vendor = 0, device = 0;
        if (!ReadCardIds(value.c_str(), &vendor, &device)) {
            e.fields.push_back({"result", "names no card (it lacks an identifier); the next entry is tried"});
            return true;
        }
        e.fields.push_back({"looks for", "VEN_" + Hex4(vendor) + "&DEV_" + Hex4(device)});
        if (m_.platformId == VER_PLATFORM_WIN32_NT) {
            e.fields.push_back({"bus", "is not read: setup leaves the PCI ports alone on Windows NT"});
            e.fields.push_back({"result", "not found"});
            return true;
        }
        const uint32_t want = uint32_t(device) << 16 | vendor;
        uint32_t last = 0;
        bool found = false;
        if (want == 0xFFFFFFFFu) {
            // An empty slot reads as all ones: the last one in scan order.
            for (uint32_t at = 0xFFFF; !found; at -= 8)
                if (!m_.pciFunctions.count(at & ~7u)) last = at & ~7u, found = true;
        } else {
            for (const auto& f : m_.pciFunctions)
                if (f.second == want && (!found || (f.first >> 3) != (last >> 3))) last = f.first, found = true;
        }
        e.fields.push_back({"bus", found ? "holds it at " + Slot(last) : BusHolds()});
        if (!found) {
            e.fields.push_back({"result", "not found; the next entry is tried"});
            return true;
        }
        char busType[8];
        int flag = 0;
        ReadCardFields(value.c_str(), busType, sizeof busType, &flag);
        char location[40];
        snprintf(location, sizeof location, "BUS_%02X&DEV_%02X&FUNC_%02X", last >> 8, (last >> 3) & 31, last & 7);
        deviceKey_ = "VEN_" + Hex4(vendor) + "&DEV_" + Hex4(device);
        vendor_ = vendor, device_ = device, matchedSection_ = section, matchedEntry_ = n, slot_ = last;
        location_ = IsAgpBusType(busType) ? "000800" : location;
        e.fields.push_back({"result", "found: card " + deviceKey_ + ", location " + location_ +
                                          (IsAgpBusType(busType) ? " (its bus type is AGP)" : "") + ", helper flag " +
                                          std::to_string(flag)});
        detected_ = true;
        return true;
    }

    std::string BusHolds() const {
        if (m_.pciFunctions.empty()) return "holds no card";
        std::string s = "holds";
        int shown = 0;
        for (const auto& f : m_.pciFunctions) {
            if (shown++ == 6) {
                s += ", ... (" + std::to_string(m_.pciFunctions.size()) + " functions)";
                break;
            }
            s += (shown > 1 ? ", " : " ") + Hex4(f.second) + ":" + Hex4(f.second >> 16) + " at " + Slot(f.first);
        }
        return s + ", not it";
    }

    bool PciKey(TranscriptEvent& e) {
        e.kind = "pcikey";
        e.fields = {{"looks for", "Enum\\PCI\\*" + deviceKey_ + "*\\*" + location_ + "*" +
                                       (detected_ ? "" : " (no DetectCard found a card before: empty texts match "
                                                         "any key)")}};
        const std::vector<std::string> keys = EnumPciKeys(m_);
        std::string holds;
        bool found = false;
        for (size_t i = 0; i < keys.size(); ++i) {
            if (i < 8) holds += (i ? ", " : "") + keys[i];
            const size_t slash = keys[i].find('\\');
            if (slash == std::string::npos) continue;
            if (keys[i].substr(0, slash).find(deviceKey_) != std::string::npos &&
                keys[i].substr(slash + 1).find(location_) != std::string::npos)
                found = true;
        }
        if (keys.size() > 8) holds += ", ... (" + std::to_string(keys.size()) + " keys)";
        e.fields.push_back({"registry", keys.empty() ? "no key under Enum\\PCI" : holds});
        e.fields.push_back({"result", found ? "found" : "not found"});
        if (!found && detected_) {
            const std::string elsewhere = RegisteredElsewhere(keys);
            if (!elsewhere.empty()) e.fields.push_back({"why", elsewhere});
        }
        if (!found)
            failure_ = "CheckPCIKey found no Enum\\PCI key of " + deviceKey_ + " at " + location_ +
                       " in the registry";
        return true;
    }

    // Where the registry holds the card that CheckPCIKey did not find, and
    // why the launcher looked elsewhere: its substring match with case.
    std::string RegisteredElsewhere(const std::vector<std::string>& keys) const {
        for (const std::string& k : keys) {
            const size_t slash = k.find('\\');
            if (slash == std::string::npos) continue;
            const std::string device = k.substr(0, slash), instance = k.substr(slash + 1);
            const bool sameDevice = device.find(deviceKey_) != std::string::npos;
            if (!sameDevice && strcasestr(device.c_str(), deviceKey_.c_str()) == nullptr) continue;
            std::string s = "the registry holds the card as Enum\\PCI\\" + k;
            if (!sameDevice)
                return s + ", in other letter case: the launcher compares " + deviceKey_ +
                       " with case, and Windows writes it in capitals";
            if (strcasestr(instance.c_str(), location_.c_str()))
                return s + ", its location in other letter case: the launcher compares " + location_ + " with case";
            if (location_ == "000800")
                return s + ": the DetectCard entry [" + matchedSection_ + "] " + matchedEntry_ +
                       " gives the bus type AGP, and for it the launcher looks for the instance 000800 whatever the "
                       "card's slot; Windows registered this card at its slot (no document of the time confirms "
                       "that Windows 95 or 98 names an AGP card's instance 000800)";
            return s + ": the launcher looks at " + location_ + ", the slot where DetectCard found the card on the "
                                                                "bus, and this PC's Windows registered it at another";
        }
        return "";
    }

    const sim::Machine& m_;
    const ProgramStart& start_;
    const PcSpec& spec_;
    std::string osKey_, subDir_, deviceKey_, location_, failure_, matchedSection_, matchedEntry_, listed_;
    unsigned vendor_ = 0, device_ = 0, slot_ = 0;
    bool detected_ = false, listSeen_ = false, stopTold_ = false;
    std::vector<std::string> entries_; // the command list, as setup splits it
    int current_ = -1;                 // the entry whose trace came last
    std::string stop_;                 // what ended the list before its last entry
    std::vector<Finding> installFindings_, stops_;
};

// The machine records everything it sees; a transcript keeps what a user or
// a package author cares about, in the order it happened.
std::vector<TranscriptEvent> ReadEvents(const sim::Machine& m, Explainer& explainer) {
    std::vector<TranscriptEvent> out;
    size_t box = 0, open = 0;
    std::vector<bool> startedSeen(m.processes.size(), false);
    std::string entry; // Sequor: the [ProcessList] key whose value was read last
    for (const std::string& line : m.events) {
        std::string rest;
        TranscriptEvent e;
        explainer.Before(line, out);
        if (TakePrefix(line, "read\tProcessList\t", rest)) entry = "[ProcessList] " + rest.substr(0, rest.find('\t'));
        if (TakePrefix(line, "setup run: ", rest)) {
            e.kind = "setup";
            e.run = std::stoi(rest);
            e.fields = {{"entry", entry}};
            out.push_back(e);
            continue;
        }
        // The applet model ends its chain as a clean install does; where the
        // driver's install stopped before, that line would mislead.
        if (line == "applet: driver installed" && !explainer.Stopped().empty()) continue;
        if (explainer.Explain(line, e)) {
            out.push_back(e);
            continue;
        }
        if (TakePrefix(line, "message box: ", rest) && box < m.messageBoxes.size()) {
            const sim::MessageBoxRecord& b = m.messageBoxes[box++];
            e.kind = "box";
            e.fields = {{"caption", b.caption},
                        {"text", b.text},
                        {"buttons", Buttons(b.style)},
                        {"icon", Icon(b.style)},
                        {"answer", AnswerName(b.answer)}};
        } else if (TakePrefix(line, "process started: ", rest)) {
            std::string directory;
            for (size_t i = 0; i < m.processes.size(); ++i) {
                if (startedSeen[i] || m.processes[i].commandLine != rest) continue;
                startedSeen[i] = true;
                directory = m.processes[i].currentDirectory;
                break;
            }
            TranscriptEvent install;
            if (explainer.Install(rest, install)) out.push_back(install);
            e.kind = "started";
            e.fields = {{"command line", rest}, {"directory", directory}, {"entry", entry}};
        } else if (TakePrefix(line, "start failed ", rest)) {
            size_t colon = rest.find("): ");
            e.kind = "start-failed";
            e.fields = {{"command line", colon == std::string::npos ? rest : rest.substr(colon + 3)},
                        {"reason", colon == std::string::npos ? "" : rest.substr(1, colon - 1)},
                        {"entry", entry}};
            TranscriptEvent install;
            if (explainer.Install(e.fields[0].second, install)) out.push_back(install);
        } else if (TakePrefix(line, "process ended: ", rest)) {
            size_t with = rest.rfind(" with ");
            e.kind = "ended";
            e.fields = {{"command line", rest.substr(0, with)},
                        {"exit code", with == std::string::npos ? "" : rest.substr(with + 6)}, {"entry", entry}};
        } else if (TakePrefix(line, "helper: ", rest)) {
            e.kind = "helper";
            e.fields = {{"what", rest}};
        } else if (TakePrefix(line, "applet: ", rest)) {
            e.kind = "applet";
            e.fields = {{"what", rest}};
        } else if (TakePrefix(line, "shell ", rest) && open < m.shellOpens.size()) {
            const sim::ShellOpen& o = m.shellOpens[open++];
            e.kind = "opened";
            e.fields = {{"verb", o.verb}, {"file", o.file}, {"directory", o.directory}};
        } else if (TakePrefix(line, "exit windows: ", rest)) {
            unsigned flags = (unsigned)std::stoul(rest);
            e.kind = "shutdown";
            e.fields = {{"request", flags == 0x42 ? "restart Windows" : flags == 0x43 ? "reboot" : rest}};
        } else if (TakePrefix(line, "closed: ", rest)) {
            e.kind = "closed";
            e.fields = {{"what", rest}};
        } else if (TakePrefix(line, "hang: ", rest)) {
            e.kind = "hang";
            e.fields = {{"why", rest}};
            explainer.Hung();
        } else {
            continue;
        }
        out.push_back(e);
        if (e.kind == "box") explainer.AfterBox(e);
        TranscriptEvent stop;
        if (explainer.Stops(line, stop)) out.push_back(stop);
    }
    explainer.Finish(out);
    return out;
}

} // namespace

std::string TranscriptEvent::Field(const std::string& name) const {
    for (const auto& f : fields)
        if (f.first == name) return f.second;
    return "";
}

namespace {

// Sequor's exit-code rule as its own code applies it (sequor/exitrule.h):
// which program's code is the highest, and what the prompt it gives does.
// The step goes where the prompt appears, or last where there is none.
void ExplainSequorPrompt(Transcript& t) {
    uint32_t highest = 0;
    std::string from;
    for (const TranscriptEvent& e : t.events) {
        if (e.kind != "ended" || e.Field("exit code").empty()) continue;
        const uint32_t code = uint32_t(std::stoll(e.Field("exit code")));
        if (code > highest) highest = code, from = e.Field("entry") + ": " + e.Field("command line");
    }
    const SequorPrompt prompt = PromptForExitCode(highest);
    TranscriptEvent p;
    p.kind = "prompt";
    const std::string code = std::to_string(highest) + (int32_t(highest) < 0 ? " (" + std::to_string(int32_t(highest)) +
                                                                              " as a signed number)" : "");
    p.fields = {{"highest exit code", from.empty() ? code + " (no program ended with another)" : code + ", from " + from}};
    if (prompt.text) {
        const bool restart = prompt.shutdown == kRestartWindows;
        p.fields.push_back({"prompt", std::string(restart ? "the restart prompt" : "the reboot prompt") +
                                          ", Sequor's own text built into Sequor.exe (English whatever the package's "
                                          "language; the package cannot change it)"});
        p.fields.push_back({"yes", restart ? "Sequor asks Windows to restart Windows (ExitWindowsEx "
                                             "EW_RESTARTWINDOWS); the computer itself does not restart"
                                           : "Sequor asks Windows to reboot the computer (ExitWindowsEx "
                                             "EW_REBOOTSYSTEM)"});
        p.fields.push_back({"no", std::string("Sequor ends; nothing restarts, and what the program asked the ") +
                                      (restart ? "restart" : "reboot") + " for waits for the next one"});
    } else {
        p.fields.push_back({"prompt", highest == 0 ? "none: no program asked for a restart or reboot (1 asks for a "
                                                     "restart of Windows, 2 for a reboot)"
                                                   : "none: only a highest code of 1 (restart) or 2 (reboot) gives "
                                                     "one, and a higher code anywhere in the list hides both"});
    }
    auto at = std::find_if(t.events.begin(), t.events.end(), [](const TranscriptEvent& e) { return e.kind == "box"; });
    t.events.insert(at, p);
}

void JudgeSequor(Transcript& t) {
    ExplainSequorPrompt(t);
    std::string failed, setupFailed, asked, answer;
    for (const TranscriptEvent& e : t.events) {
        if (e.kind == "start-failed" && failed.empty()) failed = e.Field("command line");
        if (e.kind == "setup" && e.run >= 0 && size_t(e.run) < t.runs.size() && !t.runs[e.run].installed &&
            setupFailed.empty())
            setupFailed = e.Field("entry") + ": " + t.runs[e.run].outcome;
        if (e.kind == "prompt" && !e.Field("yes").empty())
            asked = e.Field("prompt").compare(0, 15, "the restart pro") == 0 ? "restart" : "reboot";
        if (e.kind == "box") answer = e.Field("answer");
    }
    t.declined = !asked.empty() && answer != "Yes";
    t.installed = !t.hung && failed.empty() && setupFailed.empty() && !t.declined;
    std::string ran = failed.empty() ? "every program of the list ran" : "a program of the list could not start: " + failed;
    if (!setupFailed.empty()) ran += "; the setup of " + setupFailed;
    if (t.hung)
        t.outcome = "Sequor would wait for ever";
    else if (asked.empty())
        t.outcome = ran + "; no restart or reboot was asked for";
    else if (!t.declined)
        t.outcome = ran + "; the user answered Yes to the " + asked + " prompt, so " +
                    (asked == "restart" ? "Windows restarts" : "the computer reboots");
    else
        t.outcome = ran + "; the " + asked + " was asked for, but the user answered " + answer + ", so " +
                    (asked == "restart" ? "Windows does not restart" : "the computer does not reboot") +
                    " and what was installed is not in use until it does";
}

// What became of the driver, from what the machine saw.
void Judge(Transcript& t, const Explainer& x) {
    if (!t.ran) {
        t.outcome = "setup.exe does not run: " + (t.events.empty() ? std::string() : t.events[0].Field("reason"));
        return;
    }
    if (t.program == "Sequor") {
        JudgeSequor(t);
        return;
    }
    std::string route, folder;
    bool clicked = false;
    for (const TranscriptEvent& e : t.events) {
        if (e.kind == "install") route = e.Field("route"), folder = e.Field("folder"), clicked = false;
        if (e.kind == "helper" && e.Field("what") == "start clicked") clicked = true;
        if (e.kind == "ended" && clicked && e.Field("command line").compare(0, 13, "fitter16.exe ") == 0) {
            t.installed = true;
            t.outcome = "the install helper installed the driver from " + folder + " (its exit code " +
                        e.Field("exit code") + ")";
        }
        if (e.kind == "applet" && e.Field("what") == "driver installed") {
            t.installed = true;
            t.outcome = "the Display applet installed the driver from " + folder;
        }
    }
    if (!x.Stopped().empty() && !route.empty()) {
        const Finding& f = x.Stopped()[0];
        t.installed = false;
        t.outcome = route + " stops where the real install would [" + f.code + "]: " + f.message;
        return;
    }
    if (t.installed) return;
    if (t.hung)
        t.outcome = "setup would wait for ever, and the driver is not installed";
    else if (!x.failure().empty())
        t.outcome = x.failure() + ", so the driver is not installed";
    else if (!route.empty())
        t.outcome = route + " did not finish, so the driver is not installed";
    else if (x.listSeen())
        t.outcome = x.NoInstall() + " and the driver is not installed";
    else
        t.outcome = "the driver is not installed";
}

} // namespace

int RunExitStatus(const Transcript& t) { return t.installed ? 0 : 1; }

namespace {

bool Given(const PcSpec& spec, const char* name) {
    return std::find(spec.given.begin(), spec.given.end(), name) != spec.given.end();
}

// Whether a program of that file name started, or was tried.
bool Tried(const Transcript& t, const std::string& name) {
    for (const Transcript& r : t.runs)
        if (Tried(r, name)) return true;
    for (const TranscriptEvent& e : t.events) {
        if (e.kind != "started" && e.kind != "start-failed") continue;
        std::string line = e.Field("command line");
        std::transform(line.begin(), line.end(), line.begin(), ::tolower);
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        if (line.find(lower) != std::string::npos) return true;
    }
    return false;
}

// Options that the run had no use for, and card identifiers that look like
// the script's decimal numbers read as hexadecimal.
void Warn(const PcSpec& spec, const std::string& root, const std::string& packageDir, Transcript& t) {
    int boxes = 0;
    for (const TranscriptEvent& e : t.events) boxes += e.kind == "box";
    for (const Transcript& r : t.runs)
        for (const TranscriptEvent& e : r.events) boxes += e.kind == "box";
    if (int(spec.answers.size()) > boxes)
        t.warnings.push_back("--answer: the run showed " + std::to_string(boxes) + " box" + (boxes == 1 ? "" : "es") +
                             ", so " + std::to_string(spec.answers.size() - size_t(boxes)) +
                             " of the answers are left over");
    for (const auto& p : spec.programExits) {
        const std::vector<std::string> named = ProgramsNamed(spec, root, p.first);
        bool tried = false;
        for (const std::string& w : named) tried = tried || Tried(t, pkgcheck::FileNameOf(w));
        if (named.empty())
            t.warnings.push_back("--exit " + p.first + "=" + std::to_string(p.second) +
                                 ": no program of the package has that name (its file name with or without "
                                 "extension, or its path below the package, e.g. TOOLS\\UTIL.EXE)");
        else if (!tried)
            t.warnings.push_back("--exit " + p.first + "=" + std::to_string(p.second) + ": " + named[0] +
                                 " never starts in this run");
    }
    for (const std::string& m : spec.missing)
        if (!Tried(t, m)) t.warnings.push_back("--missing " + m + ": nothing in this run starts " + m);
    const bool helper = Tried(t, "fitter16.exe"), applet = Tried(t, "Control_RunDLL desk.cpl");
    for (const char* o : {"helper-exit", "helper-shows-after", "helper-never-shows", "no-helper"})
        if (Given(spec, o) && !helper)
            t.warnings.push_back(std::string("--") + o + " concerns the install helper, which this run never starts");
    if (Given(spec, "applet-closed-after") && !applet)
        t.warnings.push_back("--applet-closed-after concerns the Display applet, which this run never starts");
    if (t.program == "Sequor")
        for (const char* o : {"usb", "card", "no-card", "enum", "lspci", "registry", "args"})
            if (Given(spec, o))
                t.warnings.push_back(std::string("--") + o + " concerns setup; Sequor does not look at it");
    if (Given(spec, "started-by") && pkgcheck::FindNoCase(root, "AUTORUN.INF").empty())
        t.warnings.push_back("--started-by concerns a CD's root, which holds AUTORUN.INF; this folder holds none");
    if (t.pc.platform == 1 && t.pc.major == 4 && t.pc.minor == 0 && t.pc.servicePack.size() == 1 &&
        strchr("BbCc", t.pc.servicePack[0]))
        t.warnings.push_back("--os " + spec.os + ": the service-pack text \"" + t.pc.servicePack +
                             "\" has no second character, so this is WIN95; Windows 95 OSR2 reports \" B\" and "
                             "OSR 2.5 \" C\", with the blank (--os \"1.4.0: " + t.pc.servicePack + "\")");
    // A --card in hexadecimal whose digits are a DetectCard entry's decimal numbers.
    const std::string script = packageDir.empty() ? "" : pkgcheck::FindNoCase(packageDir, "SETUP.INI");
    pkgcheck::IniFile ini;
    if (script.empty() || !ini.Load(script)) return;
    for (const auto& given : spec.cardTexts) {
        if (given.second) {
            t.notes.push_back("--card " + given.first + " is the script's decimal form.");
            continue;
        }
        const std::string ids = given.first.substr(0, given.first.find('@'));
        const size_t colon = ids.find(':');
        if (colon == std::string::npos || ids.find_first_not_of("0123456789:") != std::string::npos) continue;
        const unsigned long v = strtoul(ids.c_str(), nullptr, 10), d = strtoul(ids.c_str() + colon + 1, nullptr, 10);
        for (const pkgcheck::IniSection& s : ini.Sections()) {
            if (MatchCommand(s.name.c_str()) != kCmdDetectCard) continue;
            for (int n = 1; n < 10000; ++n) {
                const std::string entry = ini.Read(s.name, std::to_string(n), 256);
                unsigned short ev = 0, ed = 0;
                if (entry.empty()) break;
                if (!ReadCardIds(entry.c_str(), &ev, &ed) || ev != v || ed != d) continue;
                t.warnings.push_back("--card " + given.first + " is read in hexadecimal; the card of [" + s.name +
                                     "] " + std::to_string(n) + " = " + entry + " is " + Hex4(ev) + ":" + Hex4(ed) +
                                     " (the script's numbers are decimal): did you mean --card " +
                                     std::to_string(v) + "," + std::to_string(d) + "?");
                n = 10000;
            }
        }
    }
}

void RunStarted(bool sequor, const PcSpec& spec, const std::string& dir, sim::Machine& m, const ProgramStart& start,
                Transcript& t);

// Where Windows finds the program of a command line that a process starts:
// a path as it stands, else the starter's own folder, then its current
// directory (CreateProcess's search order). "" when the PC has no such file.
std::string ProgramFile(const sim::Machine& m, const std::string& commandLine) {
    const char* args = SkipProgramName(commandLine.c_str());
    std::string image(commandLine.c_str(), size_t(args - commandLine.c_str()));
    while (!image.empty() && static_cast<unsigned char>(image.back()) <= ' ') image.pop_back();
    if (image.size() >= 2 && image[0] == '"') image = image.substr(1, image.find('"', 1) - 1);
    std::vector<std::string> tries;
    if ((image.size() > 1 && image[1] == ':') || image.compare(0, 1, "\\") == 0) {
        tries.push_back(image);
    } else {
        const std::string own = m.moduleFileName.substr(0, m.moduleFileName.size() - pkgcheck::FileNameOf(m.moduleFileName).size());
        tries.push_back(own + image);
        tries.push_back(m.currentDirectory + (pkgcheck::FindLastChar(m.currentDirectory, '\\') + 1 ==
                                                      m.currentDirectory.size() ? "" : "\\") + image);
    }
    for (std::string& p : tries) {
        if (pkgcheck::FileNameOf(p).find('.') == std::string::npos) p += ".exe";
        if (const_cast<sim::Machine&>(m).FindFile(p)) return p;
    }
    return "";
}

// A setup.exe that Sequor's list starts runs the launcher's own code on a
// PC of its own with the same options: its exit code (the helper's) reaches
// Sequor as on the PC, and the user's answers go on where it left them.
void AddNestedSetup(sim::Machine& m, const PcSpec& spec, const std::string& dir, std::vector<Transcript>& runs) {
    const std::string filesAt = FilesAt(spec, dir);
    sim::ProgramModel model;
    model.start = [&spec, dir, filesAt, &runs](sim::Machine& outer, sim::Process& p) {
        const std::string file = ProgramFile(outer, p.commandLine);
        if (file.empty()) return false;
        ProgramStart s;
        s.currentDirectory = p.currentDirectory;
        s.moduleFile = file;
        s.arguments = SkipProgramName(p.commandLine.c_str());
        std::string launch = p.currentDirectory;
        if (EndsWithBackslash(launch.c_str(), launch.size())) launch.pop_back();
        s.launchDir = launch + s.arguments;
        if (s.launchDir.size() >= filesAt.size() && pkgcheck::SameName(s.launchDir.substr(0, filesAt.size()), filesAt))
            s.packageDir = pkgcheck::FindWindowsPath(dir, s.launchDir.substr(filesAt.size()));
        s.description = "started by Sequor: " + p.commandLine + " in " + p.currentDirectory + "; launch directory " +
                        s.launchDir;
        Transcript t;
        sim::Machine inner;
        BuildMachine(spec, dir, true, inner, t.notes, &s);
        inner.answers = outer.answers;
        inner.nowMs = outer.nowMs;
        t.pc = DescribePc(spec, inner, s);
        t.codePage = int(outer.codePage);
        RunStarted(false, spec, dir, inner, s, t);
        outer.answers = inner.answers;
        const DWORD pid = p.id, code = DWORD(t.exitCode);
        const bool hung = t.hung;
        runs.push_back(std::move(t));
        outer.Record("setup run: " + std::to_string(runs.size() - 1));
        if (!hung) outer.At(std::max(inner.nowMs, outer.nowMs + 10), [pid, code](sim::Machine& m) { m.EndProcess(pid, code); });
        return true;
    };
    m.programs["setup.exe"] = model;
}

void RunStarted(bool sequor, const PcSpec& spec, const std::string& dir, sim::Machine& m, const ProgramStart& start,
                Transcript& t) {
    t.program = sequor ? "Sequor" : "setup";
    Explainer explainer(m, start, spec);
    if (!start.failure.empty()) {
        t.ran = false;
        TranscriptEvent failed;
        failed.kind = "start-failed";
        failed.fields = {{"command line", start.autoRun}, {"reason", start.failure}};
        t.events.push_back(failed);
        Judge(t, explainer);
        return;
    }
    m.recordReads = true;
    if (sequor) AddNestedSetup(m, spec, dir, t.runs);
    int code = sequor ? sim::RunSequor(m) : sim::RunSetup(m, start.arguments);
    t.hung = code == sim::kHung;
    t.exitCode = t.hung ? 0 : code;
    t.events = ReadEvents(m, explainer);
    for (const sim::Process& p : m.processes)
        if (p.running && p.commandLine.find("(left over)") == std::string::npos)
            t.notes.push_back("Still running when the program ended: " + p.commandLine);
    // Findings are text for the reader, as the PC shows it.
    t.findings = explainer.InstallFindings();
    for (Finding& f : t.findings)
        f.message = pkgcheck::ShownText(f.message, t.codePage), f.fix = pkgcheck::ShownText(f.fix, t.codePage);
    Judge(t, explainer);
}

} // namespace

Transcript DryRun(const std::string& program, const PcSpec& given, const std::string& dir) {
    // A launch directory and argument text typed on this machine are UTF-8;
    // the PC holds them in its code page's bytes.
    PcSpec spec = given;
    for (std::string* s : {&spec.launchDir, &spec.arguments})
        if (pkgcheck::LooksLikeUtf8(*s)) *s = pkgcheck::EncodeInCodePage(*s, spec.codePage);
    Transcript t;
    sim::Machine m;
    bool sequor = strcasecmp(program.c_str(), "sequor") == 0;
    const ProgramStart start = BuildMachine(spec, dir, !sequor, m, t.notes);
    t.pc = DescribePc(spec, m, start);
    t.codePage = spec.codePage;
    RunStarted(sequor, spec, dir, m, start, t);
    Warn(spec, dir, start.packageDir, t);
    return t;
}
