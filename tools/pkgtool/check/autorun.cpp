// The root of a CD: AUTORUN.INF, read as the targets read an INI file, and
// the launch directory the program it starts gets there.
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/valuetext.h"
#include "tools/pkgtool/formats/autorun.h"
#include "tools/pkgtool/formats/pkgfiles.h"

namespace pkgcheck {

std::string CheckCdRoot(const std::string& root, std::vector<Finding>& out, const CheckOptions& options) {
    AutoRunFile f = ReadAutoRun(root);
    if (!f.found) {
        out.push_back({FindNoCase(root, "AUTORUN.INF"), 0, "error", "unreadable-file",
                       "the file cannot be read: give it read permission", "", "give it read permission"});
        return "";
    }
    Sink sink(out, f.path, options);
    CheckTextMark(f.ini, sink, "AUTORUN.INF", "AutoRun starts nothing");
    CheckLayout(f.ini, sink);
    if (f.open.empty()) {
        const std::string fix = std::string(f.sectionLine ? "add" : "add [autorun] with") +
                                " open=setup.exe (the program's path from the CD's root)";
        sink.Error(f.sectionLine, "autorun-no-open",
                   std::string(f.sectionLine ? "[autorun] has no open= value" : "the file has no [autorun] section") +
                       ", so AutoRun starts nothing when the CD is inserted: " + fix,
                   fix);
        return "";
    }
    CheckAnsiText(f.open, f.openLine, sink, "command line");
    const AutoRunStart start = StartOf(f.open, root, "D:", StartedBy::kAutoRun);
    // The front end's own program comes from its build, not the author's
    // folder: only its folder must be there.
    const bool frontEnd = (start.isSetup || IsSequorProgram(start.program)) && !FindWindowsPath(root, start.programFolder).empty();
    if (start.programPath.empty() && !frontEnd) {
        const std::string fix = "write open= with the path of the program from the CD's root, or put " +
                                Quoted(start.program) + " there";
        sink.Error(f.openLine, "autorun-no-program",
                   "open= starts " + Quoted(start.program) + ", which the CD lacks (the path is taken from the "
                   "CD's root), so AutoRun starts nothing: " + fix,
                   fix);
        return "";
    }
    if (!f.icon.empty()) {
        const std::string icon = TrimBlanks(f.icon.substr(0, f.icon.find(',')));
        if (FindWindowsFile(root, icon).empty())
            sink.Warning(f.iconLine, "autorun-icon-missing",
                         "icon= names " + Quoted(icon) + ", which the CD lacks (the path is taken from the CD's "
                         "root), so Windows shows the drive's own icon: correct icon= or put " + Quoted(icon) +
                             " there",
                         "correct icon= or put " + Quoted(icon) + " there");
    }
    if (IsSequorProgram(start.program)) {
        // Sequor reads its list from its current directory; setup is checked
        // where the list starts it, as the package.
        const std::string current = start.currentDirectory;
        if (FindNoCase(root, "sequor95.ini").empty()) {
            sink.Error(f.openLine, "autorun-no-script",
                       "AutoRun starts Sequor.exe in " + current + " (" + kAutoRunDirectoryAssumed +
                           "), where it reads sequor95.ini, which the CD's root lacks: Sequor runs nothing; put "
                           "sequor95.ini beside AUTORUN.INF",
                       "put sequor95.ini beside AUTORUN.INF");
            return "";
        }
        for (const SequorSetupStart& s : SetupStartsOfSequor(root, current)) {
            if (!s.launchFolder.empty() && !FindNoCase(s.launchFolder, "SETUP.INI").empty()) continue;
            sink.Error(f.openLine, "autorun-no-script",
                       "AutoRun starts Sequor.exe, whose [ProcessList] " + std::to_string(s.key) + " (sequor95.ini:" +
                           std::to_string(s.line) + ") starts setup in " + Quoted(s.currentDirectory) +
                           (s.arguments.empty() ? "" : " with the argument text " + Quoted(s.arguments)) +
                           ": its launch directory " + Quoted(s.launchDir) +
                           " holds no SETUP.INI, so setup reads no script and shows an empty NotSupport box; start "
                           "setup in entry " + std::to_string(s.key) + " from the folder that holds SETUP.INI",
                       "start setup in entry " + std::to_string(s.key) + " from the folder that holds SETUP.INI");
        }
        return root;
    }
    if (!start.isSetup) {
        const bool scripts = !FindNoCase(root, "SETUP.INI").empty() || !FindNoCase(root, "sequor95.ini").empty();
        sink.Note(f.openLine, "autorun-other-program",
                  "AutoRun starts " + Quoted(start.program) + ", not setup.exe; what that program does is not "
                  "checked" + (scripts ? ", the scripts in the CD's root are" : ""));
        return scripts ? root : "";
    }
    if (start.launchFolder.empty() || FindNoCase(start.launchFolder, "SETUP.INI").empty()) {
        // The fix: the argument text that names the program's own folder, if it holds the script.
        std::string fix = "write open= so that its argument text names the folder that holds SETUP.INI";
        if (!FindNoCase(FindWindowsPath(root, start.programFolder), "SETUP.INI").empty())
            fix = "write open=" + start.program + (start.programFolder.empty() ? "" : " \\" + start.programFolder);
        sink.Error(f.openLine, "autorun-no-script",
                   "setup starts with the launch directory " + Quoted(start.launchDir) +
                       " (AutoRun's current directory without its trailing backslash, then the argument text " +
                       Quoted(start.arguments) + "; " + kAutoRunDirectoryAssumed + "), which holds no SETUP.INI: "
                       "setup reads no script and shows an empty NotSupport box; " + fix,
                   fix);
        return "";
    }
    return start.launchFolder;
}

} // namespace pkgcheck
