#include "tools/pkgtool/formats/infinstall.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/formats/inffile.h"
#include "tools/pkgtool/formats/inftext.h"
#include "tools/pkgtool/formats/inifile.h"
#include "tools/pkgtool/formats/pkgfiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace pkgcheck {
namespace {

// Far more copies than any driver makes; a hostile file stops here.
const size_t kMaxFiles = 20000;

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string s;
    for (const std::string& p : parts) s += (s.empty() ? "" : separator) + p;
    return s;
}

// Control bytes and the characters Windows refuses in a file name (Win32
// SDK, "Filename Conventions"); a source may carry a path.
bool BadNameChar(unsigned char c, bool pathAllowed) {
    return c < 0x20 || std::string("*?\"<>|:/").find(char(c)) != std::string::npos || (!pathAllowed && c == '\\');
}

std::string Printable(const std::string& s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s.substr(0, 80)) {
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += char(c);
        }
    }
    return s.size() > 80 ? out + "..." : out;
}

// name.ext with its extension's last character replaced by '_' (a shorter
// extension gets the '_' added), the form the system's compression tools
// write.
std::string CompressedName(const std::string& path) {
    const size_t slash = FindLastChar(path, '\\');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + "._";
    const std::string ext = path.substr(dot + 1);
    return ext.size() >= 3 ? path.substr(0, path.size() - 1) + "_" : path + "_";
}

// A source path: the parts of the disk's path, the file's subdirectory and
// its name, joined by single backslashes.
std::string SourcePath(const std::vector<std::string>& pieces) {
    std::vector<std::string> parts;
    for (const std::string& piece : pieces) {
        size_t at = 0;
        while (at <= piece.size()) {
            size_t end = std::min(FindChar(piece, '\\', at), FindChar(piece, '/', at));
            if (end == std::string::npos) end = piece.size();
            const std::string part = piece.substr(at, end - at);
            if (!part.empty() && part != ".") parts.push_back(part);
            at = end + 1;
        }
    }
    return Joined(parts, "\\");
}

class Installer {
public:
    Installer(const std::string& bytes, InfReader reader, const InfLookup& lookup)
        : rules_(RulesOf(reader)), reader_(reader), inf_(InfNarrow(bytes, false), &rules_), lookup_(lookup),
          bytes_(bytes) {}

    void Run(const std::vector<PciIds>& cards, bool everyModel, InfInstall& out, const CardHardware* exact) {
        exact_ = exact;
        out_ = &out;
        std::string layout;
        int layoutLine = 0;
        hasLayout_ = inf_.Value("version", "layoutfile", layout, layoutLine);
        std::string infClass;
        int classLine = 0;
        display_ = inf_.Value("version", "class", infClass, classLine) && InfLower(infClass) == "display";
        ReadDisks();
        for (const auto& install : InstallSections(cards, everyModel)) {
            if (out.files.size() >= kMaxFiles) break;
            Install(install.first, install.second);
        }
        if (reader_ == InfReader::kNt4) CheckTagFiles();
    }

private:
    // NT 4.0 DDK, "SourceDisksNames Section": the second field names a tag
    // file, whose presence tells that the disk is in the drive. Windows 95
    // and 98 take the same field as a volume label, so an INF that both read
    // often names no file there. What NT 4.0 does when the tag file is
    // missing (ask for the disk, or copy anyway) no document of the time
    // says: a warning.
    void CheckTagFiles() {
        for (const auto& kv : disks_) {
            const Disk& d = kv.second;
            if (!d.used || d.second.empty()) continue;
            if (!lookup_(SourcePath({d.path, d.second})).empty() || !lookup_(d.second).empty()) continue;
            Notice(d.line, "warning", "inf-tag-file",
                   "Windows NT 4.0 takes \"" + Printable(d.second) + "\" as the tag file that shows disk " + kv.first +
                       " is in the drive (Windows 95 and 98 take it as a volume label), and the package has no such "
                       "file; no document of the time says whether NT 4.0 then asks for the disk: ship an empty "
                       "file \"" + Printable(d.second) + "\" beside the INF, or leave the field empty",
                   "ship an empty file \"" + Printable(d.second) + "\" beside the INF, or leave the field empty");
        }
    }

    // fix: the advice that ends the message.
    void Notice(int line, const char* severity, const std::string& code, const std::string& message,
                const std::string& fix = std::string()) {
        if (noticed_.insert({line, code + message}).second)
            out_->notices.push_back({line, severity, code, message, fix});
    }

    // Tokens left raw: a name the target cannot resolve.
    void Unresolved(const std::vector<std::string>& tokens, int line, bool namesFile) {
        for (const std::string& t : tokens) {
            const std::string why = rules_.readsLocalizedStrings
                                        ? "no [Strings] section of the file defines it"
                                        : std::string("no [Strings] section defines it (") + rules_.systems +
                                              " read only the undecorated [Strings], not [Strings.LanguageID])";
            const std::string fix = "define " + Printable(t) + "=\"...\" in the file's [Strings]";
            if (namesFile)
                Notice(line, "error", "inf-token-file",
                       "%" + Printable(t) + "% stays a raw token on " + rules_.systems + ": " + why +
                           ", so the install looks for a file of that name, which no disk holds; " + fix,
                       fix);
            else
                Notice(line, "warning", "inf-token",
                       "%" + Printable(t) + "% stays a raw token on " + rules_.systems + ": " + why +
                           ", so the user sees it as written; " + fix,
                       fix);
        }
    }

    // The models lines whose hardware ids name one of the cards (every
    // line with everyModel), by the install section they name, with the
    // line that names it first.
    std::vector<std::pair<std::string, int>> InstallSections(const std::vector<PciIds>& cards, bool everyModel) {
        std::vector<std::pair<std::string, int>> sections;
        if (exact_) {
            // The one line the target's device installer chooses for the card.
            const ModelsMatch m = ChooseModelsLine(bytes_, reader_, *exact_);
            if (m.rank >= 0 && !m.installSection.empty()) sections.push_back({m.installSection, m.line});
            return sections;
        }
        std::set<std::string> seen;
        inf_.ForEachModelsLine(rules_.readsDecoratedModels, [&](const InfSection&, const InfLine& l,
                                                                const std::string& k, const std::string& v) {
            std::vector<std::string> unresolved;
            std::vector<std::string> ids = InfFields(inf_.Substitute(v, &unresolved));
            bool wanted = everyModel;
            for (size_t i = 1; i < ids.size() && !wanted; ++i) {
                unsigned vendor = 0, device = 0;
                wanted = ParsePciHardwareId(ids[i], vendor, device) &&
                         std::find(cards.begin(), cards.end(), PciIds(vendor, device)) != cards.end();
            }
            if (!wanted) return;
            std::vector<std::string> shown;
            inf_.Substitute(k, &shown);
            Unresolved(shown, l.number, false);
            Unresolved(unresolved, l.number, false);
            if (!ids[0].empty() && seen.insert(InfLower(ids[0])).second) sections.push_back({ids[0], l.number});
        });
        return sections;
    }

    // [SourceDisksNames] as the target reads it: Windows NT 4.0 looks in
    // the .x86 section first and in the undecorated one for a disk that it
    // lacks (NT 4.0 DDK and Win32 SDK Setup API, "SourceDisksNames");
    // Windows 95 and 98 know no platform decoration (Windows 98 DDK,
    // "SourceDisksNames Section": disk="description",label,serial, the label
    // that of the source disk) and read the undecorated section only.
    void ReadDisks() {
        for (const char* name : Platforms("sourcedisksnames")) {
            const InfSection* s = inf_.Find(name);
            for (size_t i = 0; s && i < s->lines.size(); ++i) {
                const InfLine& l = s->lines[i];
                std::string k, v;
                bool e = false;
                InfSplit(l.text, k, v, e);
                const std::string disk = InfLower(InfFields(inf_.Substitute(k))[0]);
                if (!e || disk.empty() || disks_.count(disk)) continue;
                std::vector<std::string> f = InfFields(inf_.Substitute(v));
                f.resize(std::max<size_t>(f.size(), 4));
                // The fourth field, a path below the source's root: Windows
                // 98 Second Edition takes it where a relative subdirectory
                // of [SourceDisksFiles] fails (KB Q234309); NT 4.0 the same
                // (Setup API, "SourceDisksNames").
                disks_[disk] = {l.number, f[3], f[1], false};
                if (reader_ == InfReader::kWin9x && !f[1].empty()) out_->labels.push_back({l.number, disk, f[1]});
            }
        }
    }

    // Section names in the order the target looks: NT 4.0 takes the .x86
    // section first, then the undecorated one (NT 4.0 DDK, "SourceDisksFiles
    // Section"); Windows 95 and 98 only the undecorated one.
    std::vector<const char*> Platforms(const char* base) const {
        static const std::map<std::string, std::vector<const char*>> kNt = {
            {"sourcedisksnames", {"sourcedisksnames.x86", "sourcedisksnames"}},
            {"sourcedisksfiles", {"sourcedisksfiles.x86", "sourcedisksfiles"}}};
        if (reader_ == InfReader::kNt4) return kNt.at(base);
        return {base};
    }

    // The line of the file in [SourceDisksFiles] (the target's reading);
    // null when none lists it.
    const InfLine* SourceLine(const std::string& source, std::vector<std::string>& fields) {
        for (const char* name : Platforms("sourcedisksfiles")) {
            const Listing& listing = ListingOf(name);
            auto it = listing.find(InfLower(source));
            if (it == listing.end()) continue;
            std::string k, v;
            bool e = false;
            InfSplit(it->second->text, k, v, e);
            fields = InfFields(inf_.Substitute(v));
            return it->second;
        }
        return nullptr;
    }

    // A decorated [SourceDisksFiles.xxx] that lists the file, which this
    // target does not read; "" when none does.
    std::string UnreadListing(const std::string& source) {
        const std::vector<const char*> read = Platforms("sourcedisksfiles");
        for (const auto& kv : inf_.Sections()) {
            if (kv.first.compare(0, 17, "sourcedisksfiles.") != 0) continue;
            if (std::find(read.begin(), read.end(), kv.first) != read.end()) continue;
            const Listing& listing = ListingOf(kv.first);
            auto it = listing.find(InfLower(source));
            if (it != listing.end()) return "[" + kv.second.name + "] (line " + std::to_string(it->second->number) + ")";
        }
        return "";
    }

    // The files a [SourceDisksFiles] section lists, by lower-case name, each
    // at its first line; made once per section.
    typedef std::map<std::string, const InfLine*> Listing;
    const Listing& ListingOf(const std::string& name) {
        auto at = listings_.find(name);
        if (at != listings_.end()) return at->second;
        Listing& listing = listings_[name];
        const InfSection* s = inf_.Find(name);
        for (size_t i = 0; s && i < s->lines.size(); ++i) {
            std::string k, v;
            bool e = false;
            InfSplit(s->lines[i].text, k, v, e);
            if (e) listing.emplace(InfLower(InfFields(inf_.Substitute(k))[0]), &s->lines[i]);
        }
        return listing;
    }

    bool HasOwnSourceFiles() const {
        for (const char* name : Platforms("sourcedisksfiles"))
            if (inf_.Find(name)) return true;
        return false;
    }

    // Where the copies of a section go: its [DestinationDirs] entry, else
    // DefaultDestDir, else, on Windows 95 and 98, the Windows directory
    // (Windows 95 DDK and Windows 98 DDK, "DestinationDirs Section": without
    // DefaultDestDir the default is LDID_WIN, 10). No document of the time
    // gives NT 4.0's default.
    void Destination(const std::string& section, InstallFile& file) const {
        for (const std::string& key : {InfLower(section), std::string("defaultdestdir")}) {
            const InfSection* s = key.empty() ? nullptr : inf_.Find("destinationdirs");
            for (size_t i = 0; s && i < s->lines.size(); ++i) {
                std::string k, v;
                bool e = false;
                InfSplit(s->lines[i].text, k, v, e);
                if (!e || InfLower(k) != key) continue;
                std::vector<std::string> f = InfFields(inf_.Substitute(v));
                char* end = nullptr;
                const long id = strtol(f[0].c_str(), &end, 10);
                file.destDir = f[0].empty() || *end || id < -1 || id > 0x7fffffff ? -1 : int(id);
                file.destSubdir = f.size() > 1 ? f[1] : "";
                return;
            }
        }
        if (reader_ == InfReader::kWin9x) file.destDir = 10;
    }

    void Install(const std::string& name, int modelsLine) {
        const InfSection* install = inf_.Find(name);
        if (!install) {
            // Decorated install sections (.NT, .NTx86) are the Windows 2000
            // DDK's; no document of the time has 95, 98 or NT 4.0 read them,
            // and NT 4.0's display INF (KB Q179154) uses undecorated ones.
            std::string decorated;
            for (const auto& kv : inf_.Sections())
                if (kv.first.compare(0, InfLower(name).size() + 1, InfLower(name) + ".") == 0 &&
                    (kv.first.find(".nt", InfLower(name).size()) == InfLower(name).size()))
                    decorated = kv.second.name;
            Notice(modelsLine, "error", "inf-no-install-section",
                   "the models line names the install section [" + Printable(name) + "], which the file lacks" +
                       (decorated.empty() ? ""
                                          : " (it has [" + decorated + "], a decorated section that " +
                                                "the installer of " + rules_.systems + " does not read)") +
                       ", so the install on " + rules_.systems + " copies nothing for the card: " +
                       (decorated.empty() ? "add [" + Printable(name) + "] with its CopyFiles, or correct the name"
                                          : "add the undecorated [" + Printable(name) + "]"),
                   decorated.empty() ? "add [" + Printable(name) + "] with its CopyFiles, or correct the name"
                                     : "add the undecorated [" + Printable(name) + "]");
            return;
        }
        out_->installSections.push_back(install->name);
        std::set<std::string> copied; // copy sections done, by lower-case name
        for (const InfLine& l : install->lines) {
            std::string k, v;
            bool e = false;
            InfSplit(l.text, k, v, e);
            if (!e || InfLower(k) != "copyfiles") continue;
            for (const std::string& written : InfFields(v)) {
                if (out_->files.size() >= kMaxFiles) return;
                std::vector<std::string> unresolved;
                const std::string item = InfTrim(inf_.Substitute(written, &unresolved));
                if (item.empty()) continue;
                if (item[0] == '@') {
                    if (InfTrim(item.substr(1)).empty()) continue; // names no file
                    Unresolved(unresolved, l.number, true);
                    InstallFile f;
                    f.line = l.number;
                    f.installSection = install->name;
                    f.target = f.source = InfTrim(item.substr(1));
                    Destination("", f);
                    Copy(f, !unresolved.empty());
                    continue;
                }
                if (!copied.insert(InfLower(item)).second) continue;
                const InfSection* s = inf_.Find(item);
                if (!s) {
                    Notice(l.number, "warning", "inf-no-copy-section",
                           "CopyFiles names the section [" + Printable(item) + "], which the file lacks; no "
                           "document of the time says whether the install on " + rules_.systems +
                               " then skips it or stops: add [" + Printable(item) + "] with its files, or correct the name",
                           "add [" + Printable(item) + "] with its files, or correct the name");
                    continue;
                }
                if (s == install) {
                    Notice(l.number, "warning", "inf-no-copy-section",
                           "CopyFiles names the install section [" + s->name + "] itself, whose lines are no file "
                           "names; no document of the time says what the install on " + rules_.systems +
                               " makes of it: name a section that lists the files",
                           "name a section that lists the files");
                    continue;
                }
                Unresolved(unresolved, l.number, false);
                for (const InfLine& c : s->lines) {
                    if (out_->files.size() >= kMaxFiles) return;
                    // Only the target and source names matter here.
                    std::vector<std::string> tokens;
                    std::vector<std::string> f = InfFields(c.text);
                    f.resize(2);
                    const std::string target = InfTrim(inf_.Substitute(f[0], &tokens));
                    const std::string source = f[1].empty() ? target : InfTrim(inf_.Substitute(f[1], &tokens));
                    if (target.empty()) continue;
                    Unresolved(tokens, c.number, true);
                    InstallFile file;
                    file.line = c.number;
                    file.installSection = install->name;
                    file.section = s->name;
                    file.target = target;
                    file.source = source;
                    Destination(s->name, file);
                    Copy(file, !tokens.empty());
                }
            }
        }
        if (display_ && reader_ == InfReader::kNt4) CheckNtDisplay(*install);
    }

    // A copied file's source: where the target looks, and whether it is there.
    // rawToken: the name holds a token the target leaves raw (already said).
    void Copy(InstallFile& file, bool rawToken) {
        const std::string shown = "\"" + Printable(file.source) + "\"";
        for (const std::string* name : {&file.target, &file.source}) {
            for (size_t i = 0; i < name->size(); ++i)
                if (IsLeadByteInUse((unsigned char)(*name)[i]) && i + 1 < name->size()) {
                    ++i; // a second byte 0x5C is half of the character, no path separator
                } else if (BadNameChar((unsigned char)(*name)[i], name == &file.source)) {
                    Notice(file.line, "error", "inf-file-name",
                           "the name \"" + Printable(*name) + "\" holds a character that Windows refuses in file "
                           "names (control bytes and * ? \" < > | : /), so the copy fails: rename the file and the line",
                           "rename the file and the line");
                    break;
                }
            // Windows 2000 Server Resource Kit, "Manipulating Folders and
            // Files by Using .inf Files": the setup engine of the 32-bit
            // Windows of that time is a 16-bit DLL and copies only 8.3 names.
            if (reader_ == InfReader::kWin9x && !IsShortName(*name) && (name == &file.target || file.source != file.target))
                Notice(file.line, "error", "inf-long-name",
                       "\"" + Printable(*name) + "\" is no 8.3 name, and the installer of Windows 95 and 98 "
                       "copies only 8.3 names: rename the file and the line",
                       "rename the file and the line");
        }
        if (rawToken) {
            file.from = InstallSource::kNone;
            out_->files.push_back(file);
            return;
        }
        std::vector<std::string> sdf;
        std::string diskPath, subdir;
        if (SourceLine(file.source, sdf)) {
            const std::string disk = InfLower(sdf[0]);
            auto d = disks_.find(disk);
            if (d == disks_.end()) {
                file.from = InstallSource::kNone;
                // Win32 SDK, Setup API, "SourceDisksFiles": the disk "must be
                // defined" in [SourceDisksNames]. What setup does when it is
                // not is written nowhere (Wine looks beside the INF), so a
                // warning.
                Notice(file.line, "warning", "inf-no-source",
                       shown + " lies on disk " + Printable(sdf[0]) + " by [SourceDisksFiles], which " +
                           (reader_ == InfReader::kNt4 ? "neither [SourceDisksNames.x86] nor [SourceDisksNames]"
                                                       : "[SourceDisksNames]") +
                           " defines, as the Setup API's documentation requires; no source says where the install "
                           "on " + rules_.systems + " then looks: define disk " + Printable(sdf[0]) + " there",
                       "define disk " + Printable(sdf[0]) + " there");
            } else {
                diskPath = d->second.path;
                d->second.used = true;
            }
            subdir = sdf.size() > 1 ? sdf[1] : "";
        } else if (std::string unread = UnreadListing(file.source); !unread.empty()) {
            file.from = InstallSource::kNone;
            // Where the installer looks for a file its [SourceDisksFiles]
            // lacks is written nowhere for these targets: a warning.
            Notice(file.line, "warning", "inf-no-source",
                   shown + " is listed only in " + unread + ", a decorated section that the installer of " +
                       rules_.systems + " does not read, and in no [SourceDisksFiles] it reads; no source says "
                       "where it then looks: add " + shown + " to [SourceDisksFiles]",
                   "add " + shown + " to [SourceDisksFiles]");
        } else if (hasLayout_) {
            // Windows 95 DDK, "Version Section": LayoutFile= names the layout
            // that holds [SourceDisksNames] and [SourceDisksFiles]: a file the
            // INF's own sections do not list is Windows's own.
            file.from = InstallSource::kWindowsLayout;
            Notice(file.line, "note", "inf-windows-file",
                   shown + " is not in the INF's own [SourceDisksFiles], and the INF names LayoutFile=: the "
                   "file comes from Windows's own layout, so the user is asked for the Windows CD");
            out_->files.push_back(file);
            return;
        } else if (HasOwnSourceFiles()) {
            Notice(file.line, "warning", "inf-unlisted-file",
                   shown + " is not in [SourceDisksFiles], which lists the INF's other files; Windows NT looks "
                   "for it beside the INF, and no document of the time says where the installer of " +
                   std::string(rules_.systems) + " looks: list " + shown + " in [SourceDisksFiles]",
                   "list " + shown + " in [SourceDisksFiles]");
        }
        if (file.from == InstallSource::kNone) {
            out_->files.push_back(file);
            return;
        }
        // Without [SourceDisks*] the files lie beside the INF, as Windows NT
        // and Wine look for them.
        file.lookedFor = SourcePath({diskPath, subdir, file.source});
        if (("\\" + file.lookedFor + "\\").find("\\..\\") != std::string::npos && reader_ == InfReader::kWin9x)
            Notice(file.line, "warning", "inf-dotdot",
                   "the source path \"" + Printable(file.lookedFor) + "\" climbs with \"..\", which may not work on "
                   "Windows 98 Second Edition (KB Q234309): give the path as the fourth field of [SourceDisksNames]",
                   "give the path as the fourth field of [SourceDisksNames]");
        file.found = lookup_(file.lookedFor);
        // NT finds a compressed source by its name with the extension's last
        // character replaced by '_' (Setup API, "SetupDecompressOrCopyFile").
        if (file.found.empty()) file.found = lookup_(CompressedName(file.lookedFor)), file.compressed = !file.found.empty();
        if (file.compressed && reader_ == InfReader::kWin9x)
            Notice(file.line, "note", "inf-compressed-source",
                   "only the compressed form " + CompressedName(file.lookedFor) + " of " + shown + " is there; "
                   "Windows NT finds a source by that name, and no document of the time says that the installer "
                   "of Windows 95 and 98 does too");
        out_->files.push_back(file);
    }

    // KB Q179154: an NT 4.0 display driver's miniport is the service's
    // ServiceBinary, and InstalledDisplayDrivers names its display DLLs
    // (without ".dll"); both must be among the files the install copies.
    void CheckNtDisplay(const InfSection& install) {
        std::set<std::string> targets;
        for (const InstallFile& f : out_->files)
            if (f.installSection == install.name) targets.insert(InfLower(f.target));
        auto missing = [&](const std::string& path) {
            const size_t slash = std::max(FindLastChar(path, '\\') + 1, FindLastChar(path, '/') + 1) - 1;
            const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
            return name.empty() || targets.count(InfLower(name)) ? std::string() : name;
        };
        inf_.ForEachDirective(install.name, ".services", "addservice", [&](const InfLine&, const std::string& v) {
            std::vector<std::string> f = InfFields(inf_.Substitute(v));
            std::string binary;
            int line = 0;
            if (f.size() < 3 || !inf_.Value(f[2], "servicebinary", binary, line)) return;
            binary = inf_.Substitute(binary);
            if (std::string name = missing(binary); !name.empty())
                Notice(line, "error", "nt4-file-not-copied",
                       "ServiceBinary names " + Printable(binary) + ", which the install section [" + install.name +
                           "] does not copy: NT 4.0 cannot start the display driver's miniport; add " + name +
                           " to a copy section of [" + install.name + "]",
                       "add " + name + " to a copy section of [" + install.name + "]");
        });
        inf_.ForEachDirective(install.name, ".softwaresettings", "addreg", [&](const InfLine&, const std::string& v) {
            for (const std::string& reg : InfFields(inf_.Substitute(v))) {
                const InfSection* r = inf_.Find(reg);
                for (size_t j = 0; r && j < r->lines.size(); ++j) {
                    std::vector<std::string> f = InfFields(inf_.Substitute(r->lines[j].text));
                    if (f.size() < 5 || InfLower(f[2]) != "installeddisplaydrivers") continue;
                    for (size_t n = 4; n < f.size(); ++n)
                        if (std::string name = missing(f[n] + ".dll"); !f[n].empty() && !name.empty())
                            Notice(r->lines[j].number, "error", "nt4-file-not-copied",
                                   "InstalledDisplayDrivers names " + Printable(f[n]) + ", so NT 4.0 loads " + name +
                                       ", which the install section [" + install.name +
                                       "] does not copy; add " + name + " to a copy section of [" + install.name + "]",
                                   "add " + name + " to a copy section of [" + install.name + "]");
                }
            }
        });
    }

    const InfRules& rules_;
    InfReader reader_;
    InfText inf_;
    const InfLookup& lookup_;
    std::string bytes_;
    const CardHardware* exact_ = nullptr;
    InfInstall* out_ = nullptr;
    bool hasLayout_ = false, display_ = false;
    struct Disk {
        int line = 0;
        std::string path, second; // the fourth field; the second (9x: volume label; NT: tag file)
        bool used = false;        // a copied file lies on it
    };
    std::map<std::string, Disk> disks_; // by lower-case ordinal
    std::set<std::pair<int, std::string>> noticed_;
    std::map<std::string, Listing> listings_;
};

} // namespace

bool IsShortName(const std::string& name) {
    const size_t dot = name.find('.');
    const std::string base = name.substr(0, dot), ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos) return false;
    // Double-byte characters count their two bytes, as the FAT's 8.3 names do.
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = name[i];
        if (IsLeadByteInUse(c) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (c <= ' ' || std::string("\\/:*?\"<>|+,;=[]").find(char(c)) != std::string::npos) return false;
    }
    return true;
}

InfLookup InfFolderLookup(const std::string& infFolder) {
    // Each folder is listed once, by names folded as Windows folds them:
    // an INF copies many files from few folders.
    typedef std::map<std::string, std::map<std::string, std::string>> Listings;
    auto listings = std::make_shared<Listings>();
    return [infFolder, listings](const std::string& windowsPath) -> std::string {
        fs::path at = infFolder;
        size_t pos = 0;
        while (pos <= windowsPath.size()) {
            size_t end = windowsPath.find('\\', pos);
            if (end == std::string::npos) end = windowsPath.size();
            const std::string part = windowsPath.substr(pos, end - pos);
            pos = end + 1;
            if (part.empty() || part == ".") continue;
            if (part == "..") {
                at = at.parent_path();
                continue;
            }
            auto listed = listings->find(at.string());
            if (listed == listings->end()) {
                std::map<std::string, std::string>& names = (*listings)[at.string()];
                std::error_code ec;
                // The first in name order, as FindNoCase takes it.
                for (fs::directory_iterator it(at, ec), e; !ec && it != e; it.increment(ec)) {
                    const std::string name = it->path().filename().string(), folded = FoldedName(name);
                    auto have = names.find(folded);
                    if (have == names.end() || it->path().string() < have->second) names[folded] = it->path().string();
                }
                listed = listings->find(at.string());
            }
            auto found = listed->second.find(FoldedName(part));
            if (found == listed->second.end()) return "";
            at = found->second;
        }
        std::error_code ec;
        return fs::is_regular_file(at, ec) ? at.string() : std::string();
    };
}

InfInstall ReadInfInstall(const std::string& bytes, InfReader reader, const std::vector<PciIds>& cards,
                          bool everyModel, const InfLookup& lookup, const CardHardware* exact) {
    InfInstall out;
    out.takesFile = ReadInfAs(bytes, reader).takesFile;
    if (!out.takesFile) return out;
    Installer(bytes, reader, lookup).Run(cards, everyModel, out, exact);
    return out;
}

InfInstall ReadInfInstallFile(const std::string& infPath, InfReader reader, const std::vector<PciIds>& cards,
                              bool everyModel, const CardHardware* exact) {
    return ReadInfInstall(ReadFileStart(infPath, 16 << 20), reader, cards, everyModel, InfFolderLookup(fs::path(infPath).parent_path().string()), exact);
}

} // namespace pkgcheck
