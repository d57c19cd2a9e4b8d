// The paths a disc's AUTORUN.INF and the package's scripts name, the
// programs the disc must hold for them, and the AUTORUN.INF --autorun writes.
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/check/valuetext.h"
#include "tools/pkgtool/disc/disc.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/disc/names.h"
#include "tools/pkgtool/formats/autorun.h"
#include "tools/pkgtool/formats/pkgfiles.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using namespace pkgcheck;

namespace pkgdisc {
namespace {

// Files on a CD are read-only, and copies Windows makes of them keep the
// attribute. No Knowledge Base article of the time was found; secondary
// sources say so (Windows 98 For Dummies, "Files and folders you copy from
// an optical disc may inherit the read-only status"; 4D Tech Tip 13087,
// 2001).
const char kReadOnly[] =
    "files on a CD are read-only, and stay read-only when Windows copies them to the PC (secondary sources; no "
    "Knowledge Base article of the time was found): what is copied from here arrives read-only";

// Why a file is no program Windows starts: "" when it begins with an MZ
// header whose offset at 0x3C points to an NE or a PE header (Microsoft,
// "Executable-File Header Format", and its PE and COFF format document); a
// plain DOS program runs in a DOS box, not as the helper with its window.
std::string WhyNotWindowsProgram(const std::string& path) {
    const std::string head = ReadFileStart(path, 64);
    if (head.size() < 2 || head.compare(0, 2, "MZ") != 0)
        return "it does not begin with the MZ header of a program (" + std::to_string(head.size()) +
               (head.size() == 64 ? " bytes read" : " bytes") + ")";
    if (head.size() < 0x40) return "it ends inside its MZ header";
    const unsigned long at = (unsigned char)head[0x3C] | (unsigned char)head[0x3D] << 8 |
                             (unsigned long)(unsigned char)head[0x3E] << 16 | (unsigned long)(unsigned char)head[0x3F] << 24;
    const std::string more = at >= 0x40 && at < (16u << 20) ? ReadFileStart(path, at + 4) : std::string();
    if (more.size() >= at + 2 && (more.compare(at, 2, "NE") == 0 || more.compare(at, 4, std::string("PE\0\0", 4)) == 0))
        return "";
    return "its MZ header points to no NE or PE header, so it is a DOS program at most";
}

class Collector {
public:
    Collector(const std::string& root, References& refs) : root_(fs::path(root).lexically_normal()), refs_(refs) {}
    // Records the disk path `found` (empty: nothing to record) as named.
    void Add(const std::string& found, const std::string& file, int line, const std::string& what) {
        if (found.empty()) return;
        const std::string rel =
            PathOnDisc(fs::path(found).lexically_normal().lexically_relative(root_).generic_string());
        if (rel.empty() || rel == "." || rel.compare(0, 2, "..") == 0) return;
        refs_.named.emplace(rel, Naming{file, line, what});
    }

private:
    fs::path root_;
    References& refs_;
};

// The package's scripts: [SubDir] folders, Exec files and folders, Sequor's
// programs, the install helper.
void ReadPackage(const std::string& dir, const std::string& setupFolder, const std::string& currentDir,
                 Collector& c, std::vector<Finding>& out) {
    IniFile setup, sequor;
    const std::string setupPath = FindNoCase(dir, "SETUP.INI"), sequorPath = FindNoCase(dir, "sequor95.ini");
    c.Add(setupPath, setupPath, 0, "the script setup reads");
    c.Add(sequorPath, sequorPath, 0, "the script Sequor reads");
    if (!setupPath.empty() && setup.Load(setupPath)) {
        std::vector<Finding> ignored;
        Sink sink(ignored, setupPath);
        SetupReferences refs;
        CheckCommandLists(setup, sink, refs);
        // One note for the disc, at the first installing key's line, naming
        // every key that installs from the disc by its folder, as check
        // names the keys of one folder.
        int noteAt = 0;
        std::vector<std::pair<std::string, std::vector<std::string>>> from; // the folder as shown, its keys
        for (const ListUse& list : refs.lists) {
            if (!ReadsSubDir(list.kind)) continue;
            const std::string value = setup.Read("SubDir", list.key, 256);
            const int line = setup.KeyLine("SubDir", list.key);
            const std::string folder = value.empty() ? dir : FindWindowsPath(dir, value);
            c.Add(folder, setupPath, line, "[SubDir] " + list.key);
            if (list.installs && !folder.empty()) {
                if (!noteAt) noteAt = line ? line : setup.KeyLine("Application", list.key);
                const std::string shown = value.empty() ? "the launch directory" : Quoted(value);
                auto g = std::find_if(from.begin(), from.end(), [&](const auto& x) { return SameName(x.first, shown); });
                if (g == from.end()) from.push_back({shown, {}}), g = from.end() - 1;
                g->second.push_back(list.key);
            }
        }
        if (noteAt) {
            std::string who;
            for (size_t i = 0; i < from.size(); ++i) {
                std::string keys;
                for (const std::string& k : from[i].second) keys += (keys.empty() ? "" : ", ") + k;
                who += (i == 0 ? "" : i + 1 == from.size() ? " and Install on " : "; Install on ") + keys +
                       " copies the driver from " + from[i].first;
            }
            Sink(out, setupPath).Note(noteAt, "disc-read-only", "Install on " + who + ": " + kReadOnly);
        }
        for (const NamedSection& exec : refs.exec) {
            const std::vector<std::string> fields = SplitFields(setup.Read(exec.name, "program", 256));
            const int line = setup.KeyLine(exec.name, "program");
            for (size_t i : {size_t(0), size_t(2)})
                if (i < fields.size() && fields[i].compare(0, 6, "[CWD]\\") == 0)
                    c.Add(FindWindowsPath(dir, fields[i].substr(6)), setupPath, line, "[" + exec.name + "] program");
        }
        // fitter16.exe, by the search order of a command line without a
        // program name: setup.exe's folder, then the current directory.
        const auto helperList = std::find_if(refs.lists.begin(), refs.lists.end(), [](const ListUse& l) {
            return l.installs && RouteOf(l.kind) == InstallRoute::kHelper;
        });
        if (helperList != refs.lists.end()) {
            std::string helper = FindWindowsFile(setupFolder, "fitter16.exe");
            if (helper.empty()) helper = FindWindowsFile(currentDir, "fitter16.exe");
            const int line = setup.KeyLine("Application", helperList->key);
            std::string keys;
            for (const ListUse& l : refs.lists)
                if (l.installs && RouteOf(l.kind) == InstallRoute::kHelper) keys += (keys.empty() ? "" : ", ") + l.key;
            if (helper.empty())
                Sink(out, setupPath).Error(line, "disc-helper-missing",
                                           "Install on " + keys + " starts fitter16.exe, which Windows "
                                           "looks for in setup.exe's folder and then in the current directory: the "
                                           "disc has it in neither: put the driver's install helper fitter16.exe beside "
                                           "setup.exe",
                                           "put the driver's install helper fitter16.exe beside setup.exe");
            else if (const std::string why = WhyNotWindowsProgram(helper); !why.empty())
                Sink(out, helper).Warning(0, "disc-helper-not-windows",
                                          "Install on " + keys + " starts this fitter16.exe, which is no "
                                          "Windows program: " + why + "; Windows cannot start it as the install "
                                          "helper, so setup ends with the HelperNotRun exit code (and shows that "
                                          "message where [Message] has it) and the driver is not installed: put the "
                                          "driver's install helper here",
                                          "put the driver's install helper here");
            c.Add(helper, setupPath, line, "Install on " + keys);
        }
    }
    if (!sequorPath.empty() && sequor.Load(sequorPath)) {
        for (int n = 1;; ++n) {
            const std::string key = std::to_string(n), value = sequor.Read("ProcessList", key, 256);
            if (value.empty()) break;
            const std::vector<std::string> fields = SplitFields(value);
            const int line = sequor.KeyLine("ProcessList", key);
            const std::vector<std::string> tried = fields.empty() ? std::vector<std::string>() : ProgramsTried(fields[0]);
            if (tried.empty()) continue;
            const std::string found = ProgramFound(tried, dir);
            if (found.empty())
                Sink(out, sequorPath).Error(line, "disc-program-missing",
                                            "Sequor starts " + Quoted(tried.front()) + " from the launch directory, "
                                            "which the disc lacks: put " + tried.front() + " beside sequor95.ini, or "
                                            "correct entry " + key,
                                            "put " + tried.front() + " beside sequor95.ini, or correct entry " + key);
            c.Add(found, sequorPath, line, "[ProcessList] " + key);
        }
    }
}

} // namespace

References ReadReferences(const std::string& root, const std::string& autorunText, std::vector<Finding>& out) {
    References refs;
    Collector c(root, refs);
    const AutoRunFile f = autorunText.empty() ? ReadAutoRun(root) : ParseAutoRun(autorunText);
    const std::string autorunPath = autorunText.empty() ? f.path : (fs::path(root) / "AUTORUN.INF").string();
    std::string setupFolder = root, currentDir = root;
    refs.packageDir = root;
    if (f.found) {
        if (autorunText.empty())
            c.Add(f.path, autorunPath, 0, "AutoRun reads it");
        else
            refs.named.emplace("AUTORUN.INF", Naming{autorunPath, 0, "AutoRun reads it"});
        const AutoRunStart start = StartOf(f.open, root, "D:", StartedBy::kAutoRun);
        if (!f.open.empty() && start.isSetup) {
            if (start.programPath.empty())
                Sink(out, autorunPath).Error(f.openLine, "disc-program-missing",
                                             "open= starts " + Quoted(start.program) + ", which the disc lacks: put " +
                                                 start.program + " there (its path from the CD's root), or correct open=",
                                             "put " + start.program + " there (its path from the CD's root), or correct "
                                             "open=");
            c.Add(start.programPath, autorunPath, f.openLine, "open=");
            setupFolder = FindWindowsPath(root, start.programFolder);
            refs.packageDir = start.launchFolder;
        } else if (!start.isSetup) {
            c.Add(start.programPath, autorunPath, f.openLine, "open=");
        }
        if (!f.icon.empty())
            c.Add(FindWindowsFile(root, TrimBlanks(f.icon.substr(0, f.icon.find(',')))), autorunPath, f.iconLine,
                  "icon=");
    }
    if (!refs.packageDir.empty()) {
        c.Add(refs.packageDir, autorunPath.empty() ? root : autorunPath, f.openLine, "the launch directory");
        ReadPackage(refs.packageDir, setupFolder.empty() ? refs.packageDir : setupFolder, currentDir, c, out);
    }
    return refs;
}

std::string MakeAutoRun(const std::string& root, std::vector<Finding>& out) {
    // The package: the root's SETUP.INI, else the one folder that holds one.
    std::vector<fs::path> packages;
    if (!FindNoCase(root, "SETUP.INI").empty()) {
        packages.push_back(root);
    } else {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
            if (it.depth() > 7) it.disable_recursion_pending();
            if (it->is_directory(ec) && !FindNoCase(it->path().string(), "SETUP.INI").empty())
                packages.push_back(it->path());
        }
    }
    const std::string where = (fs::path(root) / "AUTORUN.INF").string();
    if (packages.size() != 1) {
        std::string list;
        for (const fs::path& p : packages) list += (list.empty() ? "" : ", ") + p.lexically_relative(root).string();
        out.push_back({where, 0, "error", "autorun-no-package",
                       packages.empty() ? "no folder of the disc holds SETUP.INI, so --autorun has no setup to "
                                          "start: put the package's SETUP.INI on the disc"
                                        : "several folders hold SETUP.INI (" + list + "): write AUTORUN.INF yourself",
                       "", packages.empty() ? "put the package's SETUP.INI on the disc" : "write AUTORUN.INF yourself"});
        return "";
    }
    // AUTORUN.INF holds the folder as the target's Windows names it.
    std::string below = TargetPath(packages[0].lexically_relative(root).generic_string());
    if (below == ".") below.clear();
    std::replace(below.begin(), below.end(), '/', '\\');
    // setup.exe next to the script, else in the root with the folder as its argument text.
    std::string program;
    if (const std::string exe = FindNoCase(packages[0].string(), "setup.exe"); !exe.empty())
        program = (below.empty() ? "" : below + "\\") + fs::path(exe).filename().string();
    else if (const std::string top = FindNoCase(root, "setup.exe"); !top.empty())
        program = fs::path(top).filename().string();
    if (program.empty()) {
        out.push_back({where, 0, "error", "disc-program-missing",
                       "--autorun starts setup.exe, which the disc lacks next to SETUP.INI" +
                           std::string(below.empty() ? "" : " and in its root") + ": put setup.exe beside SETUP.INI",
                       "", "put setup.exe beside SETUP.INI"});
        return "";
    }
    if (program.find(' ') != std::string::npos) program = "\"" + program + "\"";
    // AutoRun's current directory is taken to be the root (formats/autorun.h):
    // the argument text names the package's folder.
    return "[autorun]\r\nopen=" + program + (below.empty() ? "" : " \\" + below) + "\r\n";
}

} // namespace pkgdisc
