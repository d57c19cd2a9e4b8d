// sequor95.ini: [ProcessList] holds "command line,working directory" under
// the keys 1, 2, 3, read up to the first empty one.
#include "framework/text.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/check/valuetext.h"

#include <algorithm>

namespace pkgcheck {
namespace {

const std::string kLaunchDir = "[CWD]\\";

bool StartsFromLaunchDir(const std::string& commandLine, bool quoted) {
    return commandLine.compare(quoted ? 1 : 0, kLaunchDir.size(), kLaunchDir) == 0;
}

// The program of a command line below the launch directory, as Windows
// looks for it: the quoted text, or else the text up to each blank in turn.
std::vector<std::string> ProgramCandidates(const std::string& commandLine, bool quoted) {
    std::string rest = commandLine.substr(kLaunchDir.size() + (quoted ? 1 : 0));
    if (quoted) return {rest.substr(0, rest.find('"'))};
    std::vector<std::string> candidates;
    for (size_t blank = rest.find(' '); blank != std::string::npos; blank = rest.find(' ', blank + 1))
        candidates.push_back(rest.substr(0, blank));
    candidates.push_back(rest);
    return candidates;
}

// The candidate the package holds, with .exe added to a name without an
// extension as Windows adds it; "" when it holds none.
std::string ProgramInPackage(const std::vector<std::string>& candidates, const std::string& packageDir) {
    for (const std::string& c : candidates) {
        if (c.empty()) continue;
        // The front end's own programs come from its build, not the author's folder.
        const std::string name = c.substr(FindLastChar(c, '\\') == std::string::npos ? 0 : FindLastChar(c, '\\') + 1);
        if (SameName(name, "setup.exe") || SameName(name, "Sequor.exe")) return c;
        if (!ProgramFound({c}, packageDir).empty()) return c;
    }
    return "";
}

// The first candidate when the package holds none of them; "" when it holds
// one, or the line does not start from the launch directory.
std::string ProgramMissing(const std::string& commandLine, const std::string& packageDir) {
    const std::vector<std::string> tried = ProgramsTried(commandLine);
    return tried.empty() || !ProgramInPackage(tried, packageDir).empty() ? "" : tried.front();
}

// The launch directory may hold a blank (C:\Driver Disk): unquoted, Windows
// tries C:\Driver.exe first. Sequor passes a quoted command line on as it is.
void CheckQuoting(Sink& sink, int line, const std::string& key, const std::vector<std::string>& fields,
                  const std::string& packageDir) {
    const std::string& command = fields[0];
    if (!StartsFromLaunchDir(command, false)) return;
    std::vector<std::string> candidates = ProgramCandidates(command, false);
    std::string program = ProgramInPackage(candidates, packageDir);
    if (program.empty()) program = candidates.front();
    const std::string fixed = "\"" + kLaunchDir + program + "\"" + command.substr(kLaunchDir.size() + program.size()) +
                              "," + (fields.size() >= 2 ? fields[1] : "null");
    sink.Warning(line, "unquoted-cwd",
                 "the command line begins with an unquoted [CWD] path: where the package's folder has a blank in "
                 "its name (C:\\Driver Disk), Windows first looks for C:\\Driver.exe and runs any program of that "
                 "name (Sequor passes the quotes on as they stand); quote it: " + key + "=" + fixed,
                 "quote it: " + key + "=" + fixed);
}

void CheckEntry(const IniFile& ini, Sink& sink, int n, const std::string& packageDir) {
    const std::string key = std::to_string(n);
    const int line = ini.KeyLine("ProcessList", key);
    const std::string value = ReadChecked(ini, sink, "ProcessList", key, 256, true);
    CheckTokens(value, line, sink, {"[CWD]"});
    CheckAnsiText(value, line, sink, "command line");
    // Split before [CWD] is replaced: the launch directory holds no comma
    // the author could see.
    const std::vector<std::string> fields = SplitFields(value);
    if (fields.empty()) return;
    if (fields.size() == 1)
        sink.Warning(line, "missing-field",
                     "the value has no second field (the working directory): write " + key + "=" + value +
                         ",null to run it in Sequor's own directory",
                     "write " + key + "=" + value + ",null to run it in Sequor's own directory");
    else if (fields.size() > 2)
        sink.Warning(line, "extra-fields",
                     "fields after the second are ignored: a comma can't be part of a command line, so " +
                         Quoted(fields[2]) + " and anything after it is dropped: write " + key + "=" + fields[0] +
                         "," + fields[1] + " and give the program what it needs without commas",
                     "write " + key + "=" + fields[0] + "," + fields[1] +
                         " and give the program what it needs without commas");
    if (EqualNoCase(fields[0].c_str(), "null"))
        sink.Warning(line, "null-command",
                     "the command line is null, so Sequor skips this entry: write the program to start, or remove "
                     "entry " + key + " and number the later ones down",
                     "write the program to start, or remove entry " + key + " and number the later ones down");
    else if (std::string missing = ProgramMissing(fields[0], packageDir); !missing.empty())
        sink.Warning(line, "missing-file",
                     "the package has no program " + Quoted(missing) +
                         " for Sequor to start; a package on a CD is complete, so the name is likely a typo: correct " +
                         Quoted(missing) + " in entry " + key + ", or add the program",
                     "correct " + Quoted(missing) + " in entry " + key + ", or add the program");
    else if (StartsWithBlank(fields[0]))
        sink.Warning(line, "blank-in-field",
                     "the command line " + Quoted(fields[0]) + " begins with a blank: write " +
                         Quoted(TrimBlanks(fields[0])),
                     "write " + Quoted(TrimBlanks(fields[0])));
    CheckQuoting(sink, line, key, fields, packageDir);
    if (fields.size() >= 2) {
        const std::string& dir = fields[1];
        if (StartsWithBlank(dir))
            sink.Error(line, "blank-in-field",
                       "the working directory " + Quoted(dir) +
                           " begins with a blank; fields are not trimmed, so the program cannot start and is "
                           "skipped" +
                           (EqualNoCase(TrimBlanks(dir).c_str(), "null") ? " (null with a blank is not null)" : "") +
                           ": write " + Quoted(TrimBlanks(dir)),
                       "write " + Quoted(TrimBlanks(dir)));
        else if (EndsWithBlank(dir))
            sink.Warning(line, "blank-in-field",
                         "the working directory " + Quoted(dir) + " ends with a blank; fields are not trimmed: write " +
                             Quoted(TrimBlanks(dir)),
                         "write " + Quoted(TrimBlanks(dir)));
    }
}

} // namespace

std::vector<std::string> ProgramsTried(const std::string& commandLine) {
    const bool quoted = !commandLine.empty() && commandLine[0] == '"';
    if (!StartsFromLaunchDir(commandLine, quoted) ||
        commandLine.find('[', kLaunchDir.size() + (quoted ? 1 : 0)) != std::string::npos)
        return {};
    std::vector<std::string> tried = ProgramCandidates(commandLine, quoted);
    tried.erase(std::remove(tried.begin(), tried.end(), std::string()), tried.end());
    return tried;
}

std::string ProgramFound(const std::vector<std::string>& tried, const std::string& packageDir) {
    for (const std::string& c : tried) {
        const size_t slash = FindLastChar(c, '\\');
        const std::string name = c.substr(slash == std::string::npos ? 0 : slash + 1);
        if (std::string path = FindWindowsFile(packageDir, c); !path.empty()) return path;
        if (name.find('.') == std::string::npos)
            if (std::string path = FindWindowsFile(packageDir, c + ".exe"); !path.empty()) return path;
    }
    return "";
}

void CheckProcessList(const IniFile& ini, Sink& sink, const std::string& packageDir) {
    const IniSection* section = ini.FindSection("ProcessList");
    const int count = CheckNumberedKeys(ini, sink, "ProcessList", "[ProcessList]");
    if (count == 0) {
        bool hasKeys = section && !section->keys.empty();
        sink.Add(section ? section->line : 0, hasKeys ? "error" : "warning", "no-entry-1",
                 hasKeys ? "[ProcessList] has no entry 1 (or it is empty); Sequor reads the keys from 1 on, so it "
                           "runs nothing: number the entries of [ProcessList] from 1"
                         : "the file has no [ProcessList] entries; Sequor runs nothing: add [ProcessList] with "
                           "1=\"[CWD]\\setup.exe\",null",
                 hasKeys ? "number the entries of [ProcessList] from 1"
                         : "add [ProcessList] with 1=\"[CWD]\\setup.exe\",null");
        return;
    }
    for (int n = 1; n <= count; ++n) CheckEntry(ini, sink, n, packageDir);
}

} // namespace pkgcheck
