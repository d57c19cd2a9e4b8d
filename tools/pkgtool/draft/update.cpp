// new --update: what the INFs call for and the script lacks, added at the
// end of the sections the launcher reads, every other byte kept; and the
// command itself.
#include "tools/pkgtool/draft/draft.h"
#include "setup/cardentry.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/formats/cardnames.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/formats/inifile.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/report/report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace fs = std::filesystem;
using namespace pkgcheck;

namespace pkgdraft {

std::string CardLines(const DraftCard& c, int number);

namespace {

// A script is a few kilobytes; this bounds what --update reads.
const size_t kMaxScriptBytes = 1 << 20;

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(path, ec);
    return ec ? path : p.string();
}

bool AllDigits(const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

// The lines of the script, each with its own line end.
struct Lines {
    std::vector<std::string> lines;
    std::string eol = "\n";
    explicit Lines(const std::string& text) {
        if (text.find("\r\n") != std::string::npos) eol = "\r\n";
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            end = end == std::string::npos ? text.size() : end + 1;
            lines.push_back(text.substr(at, end - at));
            at = end;
        }
    }
    bool Blank(size_t i) const { return lines[i].find_first_not_of(" \t\r\n") == std::string::npos; }
};

// The entries of a list, as the launcher cuts it.
std::vector<std::string> Entries(const std::string& list) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        if (comma > at) out.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    return out;
}

bool StartsNoCase(const std::string& s, const char* prefix) {
    return s.size() >= strlen(prefix) && SameName(s.substr(0, strlen(prefix)), prefix);
}

// The [Message] keys a list of the draft shows.
std::vector<std::string> MessagesOf(const DraftKey& k) {
    std::vector<std::string> out{"NotSupport"};
    for (const std::string& e : Entries(k.list)) {
        if (StartsNoCase(e, "DetectCard") || StartsNoCase(e, "ShowMsg")) out.push_back(e);
        if (StartsNoCase(e, "CheckPCIKey")) out.push_back("CheckPCIKey");
        if (StartsNoCase(e, "Install") && k.key != "NT40") out.push_back("HelperNotRun");
    }
    return out;
}

} // namespace

std::string UpdateText(const std::string& script, const Draft& draft, const std::string& dir,
                       std::vector<std::string>& added) {
    IniFile ini;
    ini.SetText(script);
    const Lines text(script);
    const std::string& eol = text.eol;
    // Text to insert after a line (1-based; the file's last line for the end).
    std::map<size_t, std::string> after;

    // The last line of a section as the reader takes it, trailing blanks left out.
    auto sectionEnd = [&](const IniSection* s) {
        size_t end = text.lines.size();
        for (const IniSection& other : ini.Sections())
            if (other.line > s->line && size_t(other.line) - 1 < end) end = size_t(other.line) - 1;
        while (end > size_t(s->line) && text.Blank(end - 1)) --end;
        return end;
    };
    std::vector<std::pair<std::string, std::string>> newSections; // sections the script lacks, in order
    auto addTo = [&](const std::string& section, const std::string& lines) {
        const IniSection* s = ini.FindSection(section);
        if (s && s->line > 0) {
            after[sectionEnd(s)] += lines;
            return;
        }
        for (auto& ns : newSections)
            if (ns.first == section) {
                ns.second += lines;
                return;
            }
        newSections.push_back({section, lines});
    };
    auto line = [&](const std::string& s) {
        std::string l = s;
        for (size_t at = l.find('\n'); at != std::string::npos; at = l.find('\n', at + eol.size()))
            l.replace(at, 1, eol);
        return l;
    };

    // Folders that a key of the script installs from.
    std::set<std::string> served;
    std::vector<std::string> detectSections;
    if (const IniSection* app = ini.FindSection("Application")) {
        for (const IniKey& k : app->keys) {
            const OsKind kind = KindOfKey(k.name);
            if (kind == kOsOther) continue;
            for (const std::string& e : Entries(ini.Read("Application", k.name, 256)))
                if (StartsNoCase(e, "DetectCard") &&
                    std::find(detectSections.begin(), detectSections.end(), e) == detectSections.end())
                    detectSections.push_back(e);
            if (RouteOf(kind) == InstallRoute::kNone) continue;
            std::string shown;
            const std::string folder = DriverFolder(ini, kind, dir, shown);
            if (!folder.empty()) served.insert(Canonical(folder));
        }
    }

    // Keys of the draft's folders that no key of the script installs from.
    std::set<std::string> messagesWanted;
    bool wantsDetect = false, wantsExec = false;
    for (const DraftKey& k : draft.keys) {
        const std::string folder = k.folder.empty() ? dir : FindWindowsPath(dir, k.folder);
        if (served.count(Canonical(folder)) || ini.KeyLine("Application", k.key)) continue;
        addTo("Application", line(k.key + "=" + k.list + "\n"));
        added.push_back("[Application] " + k.key + "=" + k.list);
        if (!k.folder.empty() && !ini.KeyLine("SubDir", k.key)) {
            addTo("SubDir", line(k.key + "=" + k.folder + "\n"));
            added.push_back("[SubDir] " + k.key + "=" + k.folder);
        }
        for (const std::string& m : MessagesOf(k)) messagesWanted.insert(m);
        wantsDetect = wantsDetect || k.list.find("DetectCard") != std::string::npos;
        wantsExec = wantsExec || k.list.find("ExecReadme") != std::string::npos;
    }
    for (const auto& m : draft.messages)
        if (messagesWanted.count(m.first) && ini.ReadWhole("Message", m.first).empty() && !ini.KeyLine("Message", m.first)) {
            addTo("Message", line(m.first + "=" + m.second + "\n"));
            added.push_back("[Message] " + m.first);
        }
    if (wantsExec && !ini.FindSection("ExecReadme") && !draft.readme.empty()) {
        addTo("ExecReadme", line("program=[CWD]\\" + draft.readme + ",x,[CWD]\n"));
        added.push_back("[ExecReadme] program=[CWD]\\" + draft.readme + ",x,[CWD]");
    }
    if (wantsDetect && std::find(detectSections.begin(), detectSections.end(), "DetectCard") == detectSections.end())
        detectSections.push_back("DetectCard");

    // Cards that none of the script's DetectCard sections lists.
    std::set<PciIds> listed;
    std::string target;
    int highest = 0;
    for (const std::string& name : detectSections) {
        const IniSection* s = ini.FindSection(name);
        if (!s) continue;
        if (target.empty()) target = name;
        for (const IniKey& k : s->keys) {
            if (!AllDigits(k.name)) continue;
            unsigned short v = 0, d = 0;
            if (ReadCardIds(ini.ReadWhole(name, k.name).c_str(), &v, &d)) listed.insert({v, d});
            if (name == target && k.name.size() < 9) highest = std::max(highest, atoi(k.name.c_str()));
        }
    }
    if (target.empty() && !detectSections.empty()) target = detectSections.front();
    if (!target.empty())
        for (const DraftCard& c : draft.cards) {
            if (listed.count({c.vendor, c.device})) continue;
            addTo(target, line(CardLines(c, ++highest)));
            added.push_back("[" + target + "] " + std::to_string(highest) + "=" + std::to_string(c.vendor) + "," +
                            std::to_string(c.device) + "," + (c.agp ? "AGP" : "PCI") + ",1,0 (" +
                            PciCardLabel(c.vendor, c.device) + ", " + c.inf + ":" + std::to_string(c.line) + ")");
        }

    if (after.empty() && newSections.empty()) return script;
    std::string out;
    if (after.count(0)) out += after[0];
    for (size_t i = 0; i < text.lines.size(); ++i) {
        out += text.lines[i];
        if (after.count(i + 1)) {
            if (out.empty() || out.back() != '\n') out += eol;
            out += after[i + 1];
        }
    }
    if (!newSections.empty() && !out.empty() && out.back() != '\n') out += eol;
    for (const auto& ns : newSections) out += eol + "[" + ns.first + "]" + eol + ns.second;
    return out;
}

namespace {

int Wrong(const std::string& why) {
    fprintf(stderr, "pkgtool: %s (pkgtool --help shows the usage)\n", why.c_str());
    return 2;
}

bool ParseCard(const std::string& text, PciIds& ids) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string v = text.substr(0, colon), d = text.substr(colon + 1);
    for (const std::string& part : {v, d})
        if (part.empty() || part.size() > 4 || part.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
    ids = {unsigned(strtoul(v.c_str(), nullptr, 16)), unsigned(strtoul(d.c_str(), nullptr, 16))};
    return true;
}

std::string Relative(const std::string& path, const std::string& dir) {
    std::error_code ec;
    std::string r = fs::relative(path, dir, ec).generic_string();
    return ec || r.empty() ? path : r;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(f.flush());
}

} // namespace

int NewCommand(const std::vector<std::string>& args) {
    bool update = false, print = false;
    std::string dir;
    DraftOptions options;
    CheckOptions checkOptions;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") return -1;
        if (a == "--update") {
            update = true;
        } else if (a == "--print") {
            print = true;
        } else if (a == "--agp" || a == "--codepage" || a == "--pci-ids") {
            if (i + 1 >= args.size()) return Wrong(a + " needs a value");
            const std::string value = args[++i];
            if (a == "--agp") {
                PciIds ids;
                if (!ParseCard(value, ids))
                    return Wrong("--agp takes a card's vendor and device in hexadecimal, VEN:DEV (121a:0005)");
                options.agp.push_back(ids);
            } else if (a == "--codepage") {
                char* end = nullptr;
                const long page = strtol(value.c_str(), &end, 10);
                if (value.empty() || *end || page <= 0 || page > 65535 || !IsKnownCodePage(int(page)))
                    return Wrong("--codepage takes the number of a code page this machine can convert, e.g. 1252 or 932");
                checkOptions.codePage = int(page);
            } else {
                UsePciIdsFile(value);
            }
        } else if (a.compare(0, 1, "-") == 0) {
            return Wrong("unknown option " + a + " of new");
        } else if (dir.empty()) {
            dir = a;
        } else {
            return Wrong("unexpected argument " + a);
        }
    }
    if (dir.empty()) return Wrong("new needs the package's folder");
    if (update && print) return Wrong("new takes --update or --print, not both");
    if (!fs::is_directory(dir)) {
        fprintf(stderr, "pkgtool: %s is not a directory\n", dir.c_str());
        return 2;
    }

    const std::string existing = FindNoCase(dir, "SETUP.INI");
    // A card that the script already gives the bus type AGP is marked.
    const std::vector<PciIds> agpGiven = options.agp;
    if (update && !existing.empty()) {
        IniFile script;
        if (script.Load(existing))
            for (const IniSection& s : script.Sections()) {
                if (!StartsNoCase(s.name, "DetectCard")) continue;
                for (const IniKey& k : s.keys) {
                    const CardEntryReading r = ReadCardEntry(script.Read(s.name, k.name, 256));
                    if (AllDigits(k.name) && r.namesCard && r.agp) options.agp.push_back({r.vendor, r.device});
                }
            }
    }
    const Draft draft = MakeDraft(dir, options);
    for (const PciIds& ids : agpGiven)
        if (std::none_of(draft.cards.begin(), draft.cards.end(),
                         [&](const DraftCard& c) { return c.vendor == ids.first && c.device == ids.second; }))
            return Wrong("--agp " + PciCardLabel(ids.first, ids.second) +
                         " names no card of the package's Windows 95/98 INF files");
    // A script without a key would show NotSupport on every Windows: no
    // draft is better than one that looks finished.
    if (draft.keys.empty() && !update) {
        fprintf(stderr, "pkgtool: %s holds no display driver INF that Windows 95, 98 or NT 4.0 reads, so there is "
                        "nothing to draft and no SETUP.INI was written\n", dir.c_str());
        for (const Finding& f : draft.findings)
            fprintf(stderr, "%s%s: %s: %s [%s]\n", Relative(f.file, dir).c_str(),
                    f.line ? (":" + std::to_string(f.line)).c_str() : "", f.severity.c_str(), f.message.c_str(),
                    f.code.c_str());
        return 1;
    }
    const std::string text = DraftText(draft, dir);
    std::string findingsText;
    for (const Finding& f : draft.findings)
        findingsText += Relative(f.file, dir) + (f.line ? ":" + std::to_string(f.line) : "") + ": " + f.severity + ": " +
                        f.message + " [" + f.code + "]\n";
    if (print) {
        fwrite(text.data(), 1, text.size(), stdout);
        fputs(findingsText.c_str(), stderr);
        return 0;
    }

    if (!update && !existing.empty()) {
        fprintf(stderr,
                "pkgtool: %s exists, and new never overwrites it: pkgtool new --update %s adds what the INF files "
                "call for, pkgtool new --print %s shows the draft\n",
                existing.c_str(), dir.c_str(), dir.c_str());
        return 1;
    }
    if (update && existing.empty()) {
        fprintf(stderr, "pkgtool: %s holds no SETUP.INI to update: pkgtool new %s drafts one\n", dir.c_str(), dir.c_str());
        return 1;
    }
    if (update) {
        // Never write back a part of a file.
        std::error_code ec;
        const auto size = fs::file_size(existing, ec);
        if (ec || size > kMaxScriptBytes) {
            fprintf(stderr, "pkgtool: %s %s, so --update leaves it alone\n", existing.c_str(),
                    ec ? "cannot be read" : "is larger than 1 MB, which no script of setup is");
            return 1;
        }
        const std::string script = ReadFileStart(existing, kMaxScriptBytes);
        IniFile marked;
        marked.SetText(script);
        if (marked.Mark() == TextMark::kUtf16) {
            fprintf(stderr, "pkgtool: %s is UTF-16 text, so --update adds no ANSI lines to it; save it as ANSI text "
                            "(pkgtool explain byte-order-mark)\n", existing.c_str());
            return 1;
        }
        std::vector<std::string> added;
        const std::string updated = UpdateText(script, draft, dir, added);
        if (updated == script) {
            printf("%s: nothing to add, unchanged\n", Relative(existing, dir).c_str());
        } else {
            if (!WriteFile(existing, updated)) {
                fprintf(stderr, "pkgtool: %s cannot be written\n", existing.c_str());
                return 1;
            }
            printf("%s: added\n", Relative(existing, dir).c_str());
            for (const std::string& a : added) printf("  %s\n", a.c_str());
        }
    } else {
        const std::string path = (fs::path(dir) / "SETUP.INI").string();
        if (!WriteFile(path, text)) {
            fprintf(stderr, "pkgtool: %s cannot be written\n", path.c_str());
            return 1;
        }
        std::string keys;
        for (const DraftKey& k : draft.keys) keys += (keys.empty() ? "" : ", ") + k.key;
        printf("SETUP.INI drafted: %s; %zu card%s\n", keys.empty() ? "no key" : keys.c_str(), draft.cards.size(),
               draft.cards.size() == 1 ? "" : "s");
    }
    if (!draft.findings.empty()) printf("What the draft could not decide (also in its header):\n%s", findingsText.c_str());
    // What the disc needs beside the script, which no INF names.
    const bool helperRoute = std::any_of(draft.keys.begin(), draft.keys.end(), [](const DraftKey& k) { return k.key != "NT40"; });
    if (FindNoCase(dir, "setup.exe").empty())
        printf("Before pkgtool cd: put setup.exe from the release ZIP (cardsetup-VERSION.zip) beside SETUP.INI\n");
    if (helperRoute && FindNoCase(dir, "fitter16.exe").empty())
        printf("Before pkgtool cd: put fitter16.exe, the driver maker's install helper for Windows 95 and 98, beside "
               "SETUP.INI\n");
    printf("pkgtool check %s:\n", dir.c_str());
    const CheckResult result = CheckPackage(dir, checkOptions);
    const std::string report = FormatFindingsText(result.findings);
    fwrite(report.data(), 1, report.size(), stdout);
    return FindingsExitStatus(result.findings);
}

} // namespace pkgdraft
