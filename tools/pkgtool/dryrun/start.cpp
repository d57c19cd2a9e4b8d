// Where the program starts: in the launch directory of the options, or from
// a CD as AutoRun (or a double-click in Explorer) starts it.
#include "tools/pkgtool/dryrun/pc.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/formats/autorun.h"
#include "tools/pkgtool/formats/pkgfiles.h"

using pkgcheck::AutoRunStart;
using pkgcheck::StartedBy;

namespace {

std::string Describe(const std::string& dir, const std::string& arguments) {
    return "launch directory " + dir + (arguments.empty() ? "" : " (arguments " + arguments + ")");
}

StartedBy By(const PcSpec& spec) { return spec.startedByExplorer ? StartedBy::kExplorer : StartedBy::kAutoRun; }

} // namespace

ProgramStart PlainStart(const PcSpec& spec, const std::string& dir) {
    ProgramStart s;
    s.arguments = spec.arguments;
    s.packageDir = dir;
    s.description = Describe(spec.launchDir, spec.arguments);
    s.launchDir = spec.launchDir;
    if (!s.launchDir.empty() && s.launchDir.back() == '\\') s.launchDir.pop_back();
    s.launchDir += spec.arguments;
    return s;
}

std::string PackageDirOf(const PcSpec& spec, const std::string& dir) {
    const pkgcheck::AutoRunFile f = pkgcheck::ReadAutoRun(dir);
    if (!f.found) return dir;
    const AutoRunStart a = pkgcheck::StartOf(f.open, dir, spec.launchDir.substr(0, 2), By(spec));
    if (pkgcheck::IsSequorProgram(a.program)) {
        const auto starts = pkgcheck::SetupStartsOfSequor(dir, a.currentDirectory);
        return starts.empty() ? "" : starts[0].launchFolder;
    }
    return a.launchFolder;
}

ProgramStart CdStart(const PcSpec& spec, const std::string& dir, const std::string& drive, bool forSetup,
                     sim::Machine& m, std::vector<std::string>& notes) {
    ProgramStart s;
    // open= as this Windows reads AUTORUN.INF; AutoRun's buffer is not known.
    std::vector<char> open(4096);
    sim::ReadProfileString(m.FindFile(drive + "\\AUTORUN.INF"), "autorun", "open", "", open.data(), DWORD(open.size()));
    s.autoRun = open.data();
    const AutoRunStart a = pkgcheck::StartOf(s.autoRun, dir, drive, By(spec));
    const bool explorer = spec.startedByExplorer;
    s.description = "the CD in " + drive + ", started by " +
                    (explorer ? "a double-click on " + a.program + " in Explorer" : "AutoRun: open=" + s.autoRun);
    if (!forSetup) {
        // Sequor reads no command line: its launch directory is where it starts.
        m.currentDirectory = drive + "\\";
        m.moduleFileName = drive + "\\Sequor.exe";
        s.packageDir = dir;
        s.description = "the CD in " + drive + ", Sequor started in its root";
        return s;
    }
    if (s.autoRun.empty()) {
        s.failure = "AUTORUN.INF has no open= in [autorun] as this Windows reads the file, so AutoRun starts nothing";
        return s;
    }
    if (pkgcheck::IsSequorProgram(a.program)) {
        // The setup that Sequor's list starts, where it starts it.
        const std::vector<pkgcheck::SequorSetupStart> starts = pkgcheck::SetupStartsOfSequor(dir, a.currentDirectory);
        if (starts.empty()) {
            s.failure = "AutoRun starts " + a.program + ", whose sequor95.ini in the CD's root starts no setup.exe";
            return s;
        }
        const pkgcheck::SequorSetupStart& q = starts[0];
        m.currentDirectory = q.currentDirectory;
        m.moduleFileName = drive + "\\setup.exe";
        s.arguments = q.arguments;
        s.packageDir = q.launchFolder;
        s.launchDir = q.launchDir;
        s.description += "; Sequor's [ProcessList] " + std::to_string(q.key) + " starts " + q.commandLine + " in " +
                         q.currentDirectory + "; launch directory " + q.launchDir;
        notes.push_back("AutoRun starts " + a.program + "; this run follows the setup that its list starts ([ProcessList] " +
                        std::to_string(q.key) + "). Sequor's own run: --program sequor. AutoRun's current directory: " +
                        std::string(pkgcheck::kAutoRunDirectoryAssumed) + ".");
        return s;
    }
    if (!a.isSetup) {
        s.failure = "AutoRun starts " + a.program + ", not setup.exe; what that program does is not simulated";
        return s;
    }
    if (a.programPath.empty() && pkgcheck::FindWindowsPath(dir, a.programFolder).empty()) {
        s.failure = "the CD has no " + a.program + ", so " +
                    (explorer ? "there is nothing to double-click" : "AutoRun starts nothing");
        return s;
    }
    const size_t slash = pkgcheck::FindLastChar(a.program, '\\');
    m.currentDirectory = a.currentDirectory;
    m.moduleFileName = drive + "\\" + (a.programFolder.empty() ? "" : a.programFolder + "\\") +
                       a.program.substr(slash == std::string::npos ? 0 : slash + 1);
    s.arguments = a.arguments;
    s.packageDir = a.launchFolder;
    s.launchDir = a.launchDir;
    s.description += "; current directory " + a.currentDirectory +
                     (a.arguments.empty() ? "" : ", arguments " + a.arguments) + "; launch directory " + a.launchDir;
    // The other way of starting it, for comparison.
    const AutoRunStart other =
        pkgcheck::StartOf(s.autoRun, dir, drive, explorer ? StartedBy::kAutoRun : StartedBy::kExplorer);
    const std::string assumedAutoRun = "AutoRun's current directory: " +
                                       std::string(pkgcheck::kAutoRunDirectoryAssumed) + ".",
                      assumedExplorer = "A double-click in Explorer is taken to start the program in its own "
                                        "folder, without arguments; no source of the time was found either.";
    notes.push_back(explorer ? assumedExplorer : assumedAutoRun);
    notes.push_back((explorer ? std::string("AutoRun (--started-by autorun)")
                              : "A double-click on " + a.program + " in Explorer (--started-by explorer)") +
                    " gives setup the launch directory " + other.launchDir +
                    (pkgcheck::SameName(other.launchDir, a.launchDir) ? ", the same." : ", not " + a.launchDir + "."));
    return s;
}
