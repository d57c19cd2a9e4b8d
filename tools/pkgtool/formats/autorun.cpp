#include "tools/pkgtool/formats/autorun.h"
#include "framework/cmdline.h"
#include "tools/pkgtool/formats/pkgfiles.h"

namespace pkgcheck {

const char kAutoRunDirectoryAssumed[] =
    "no source of the time says which current directory AutoRun gives the program on Windows 95, 98 or NT 4.0; "
    "the root of the CD is assumed";

AutoRunFile ParseAutoRun(const std::string& bytes) {
    AutoRunFile f;
    f.found = true;
    f.ini.SetText(bytes);
    if (const IniSection* s = f.ini.FindSection("autorun")) f.sectionLine = s->line;
    // AutoRun takes the whole value; the length of its buffer is not known.
    f.open = f.ini.ReadWhole("autorun", "open");
    f.openLine = f.ini.KeyLine("autorun", "open");
    f.icon = f.ini.ReadWhole("autorun", "icon");
    f.iconLine = f.ini.KeyLine("autorun", "icon");
    return f;
}

AutoRunFile ReadAutoRun(const std::string& root) {
    const std::string path = FindNoCase(root, "AUTORUN.INF");
    IniFile file;
    if (path.empty() || !file.Load(path)) return AutoRunFile();
    AutoRunFile f = ParseAutoRun(file.Bytes());
    f.path = path;
    return f;
}

namespace {

// A program as Windows finds it: as written, or with .exe added to a name
// without an extension. A drive letter is dropped: the CD is the drive.
std::string FindProgram(const std::string& root, std::string program) {
    if (program.size() >= 2 && program[1] == ':') program = program.substr(2);
    std::string path = FindWindowsFile(root, program);
    const size_t slash = program.rfind('\\');
    if (path.empty() && program.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos)
        path = FindWindowsFile(root, program + ".exe");
    return path;
}

} // namespace

AutoRunStart StartOf(const std::string& open, const std::string& root, const std::string& drive, StartedBy by) {
    AutoRunStart s;
    // The program ends where setup's own reading of its command line says
    // the argument text begins.
    const char* args = SkipProgramName(open.c_str());
    std::string program = open.substr(0, size_t(args - open.c_str()));
    while (!program.empty() && static_cast<unsigned char>(program.back()) <= ' ') program.pop_back();
    if (program.size() >= 2 && program.front() == '"') program = program.substr(1, program.find('"', 1) - 1);
    s.program = program;
    s.programPath = program.empty() ? "" : FindProgram(root, program);
    // Below the root: without a drive letter and leading backslashes.
    std::string below = program.size() >= 2 && program[1] == ':' ? program.substr(2) : program;
    below.erase(0, below.find_first_not_of('\\'));
    const size_t slash = below.rfind('\\');
    const std::string name = below.substr(slash == std::string::npos ? 0 : slash + 1);
    s.isSetup = SameName(name, "setup.exe") || SameName(name, "setup");
    const std::string folder = slash == std::string::npos ? "" : below.substr(0, slash);
    s.programFolder = folder;
    std::string relative; // the launch directory below the root
    if (by == StartedBy::kAutoRun) {
        s.currentDirectory = drive + "\\";
        s.arguments = args;
        // setup removes one trailing backslash from "D:\" and appends the argument text.
        s.launchDir = drive + s.arguments;
        relative = s.arguments;
    } else {
        s.currentDirectory = drive + "\\" + folder;
        s.launchDir = folder.empty() ? drive : s.currentDirectory;
        relative = folder;
    }
    s.launchFolder = FindWindowsPath(root, relative);
    return s;
}

} // namespace pkgcheck
