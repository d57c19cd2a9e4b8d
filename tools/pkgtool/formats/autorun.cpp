#include "tools/pkgtool/formats/autorun.h"
#include "tools/pkgtool/formats/codepage.h"
#include "framework/cmdline.h"
#include "framework/fields.h"
#include "framework/text.h"
#include "framework/tokens.h"
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
    const size_t slash = FindLastChar(program, '\\');
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
    const size_t slash = FindLastChar(below, '\\');
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

bool IsSequorProgram(const std::string& program) {
    const size_t slash = std::max(FindLastChar(program, '\\') + 1, FindLastChar(program, '/') + 1) - 1;
    const std::string name = program.substr(slash == std::string::npos ? 0 : slash + 1);
    return SameName(name, "Sequor.exe") || SameName(name, "Sequor");
}

std::vector<SequorSetupStart> SetupStartsOfSequor(const std::string& root, const std::string& currentDirectory) {
    std::vector<SequorSetupStart> starts;
    IniFile ini;
    const std::string path = FindNoCase(root, "sequor95.ini");
    if (path.empty() || !ini.Load(path)) return starts;
    // Sequor's launch directory: its current directory without one trailing backslash.
    std::string launch = currentDirectory;
    if (!launch.empty() && launch.back() == '\\') launch.pop_back();
    const std::string drive = currentDirectory.substr(0, 2);
    for (int n = 1; n < 10000; ++n) {
        char value[512];
        CopyText(value, 256, ini.Read("ProcessList", std::to_string(n), 256).c_str());
        if (value[0] == '\0') break;
        if (!ExpandToken(value, 256, "[CWD]", launch.c_str())) continue;
        const char* pos = value;
        char command[256], directory[260];
        if (!NextField(&pos, command, sizeof command) || EqualNoCase(command, "null")) continue;
        const bool hasDirectory = NextField(&pos, directory, sizeof directory) && !EqualNoCase(directory, "null");
        const char* args = SkipProgramName(command);
        std::string program(command, size_t(args - command));
        while (!program.empty() && static_cast<unsigned char>(program.back()) <= ' ') program.pop_back();
        if (program.size() >= 2 && program.front() == '"') program = program.substr(1, program.find('"', 1) - 1);
        const size_t slash = FindLastChar(program, '\\');
        const std::string name = program.substr(slash == std::string::npos ? 0 : slash + 1);
        if (!SameName(name, "setup.exe") && !SameName(name, "setup")) continue;
        SequorSetupStart s;
        s.key = n, s.line = ini.KeyLine("ProcessList", std::to_string(n));
        s.commandLine = command;
        s.currentDirectory = hasDirectory ? directory : currentDirectory;
        s.arguments = args;
        std::string dir = s.currentDirectory;
        if (!dir.empty() && dir.back() == '\\') dir.pop_back();
        s.launchDir = dir + s.arguments;
        // Below the root when it is on the CD's drive.
        if (s.launchDir.size() >= 2 && SameName(s.launchDir.substr(0, 2), drive))
            s.launchFolder = FindWindowsPath(root, s.launchDir.substr(2));
        starts.push_back(s);
    }
    return starts;
}

} // namespace pkgcheck
