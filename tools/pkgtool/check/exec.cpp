// Exec sections: "program" holds the file to open, a placeholder and the
// working directory, after [CWD] and [OS] are replaced.
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/check/suggest.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/check/valuetext.h"

namespace pkgcheck {
namespace {

void CheckFieldBlanks(Sink& sink, int line, const std::string& field, const char* what) {
    const std::string fix = std::string("write the ") + what + " as " + Quoted(TrimBlanks(field));
    if (StartsWithBlank(field))
        sink.Error(line, "blank-in-field",
                   std::string("the ") + what + " " + Quoted(field) +
                       " begins with a blank; fields are not trimmed, so the shell gets a name that begins with a "
                       "blank: " + fix,
                   fix);
    else if (EndsWithBlank(field))
        sink.Warning(line, "blank-in-field",
                     std::string("the ") + what + " " + Quoted(field) +
                         " ends with a blank; fields are not trimmed, so the blank is part of the name: " + fix,
                     fix);
}

} // namespace

void CheckExecSection(const IniFile& ini, Sink& sink, const NamedSection& named, const std::string& packageDir) {
    const IniSection* section = ini.FindSection(named.name);
    const int line = ini.KeyLine(named.name, "program");
    std::string value = section ? ReadChecked(ini, sink, named.name, "program", 256, true) : std::string();
    if (value.empty()) {
        const std::string near = section ? std::string() : NearestName(named.name, SectionNames(ini));
        const std::string fix =
            !near.empty() ? "rename [" + near + "] (line " + std::to_string(ini.FindSection(near)->line) + ") to [" +
                                named.name + "]"
                          : std::string(section ? "write" : "add [" + named.name + "] with") +
                                " program=[CWD]\\FILE,x,[CWD] naming the file to open";
        sink.Error(line ? line : section ? section->line : named.listLine, "exec-no-program",
                   (section ? "[" + named.name + "] has no program value (missing or empty), so " +
                                  Quoted(named.name) + " opens nothing"
                            : "the script has no section [" + named.name + "], so " + Quoted(named.name) +
                                  " opens nothing") + ": " + fix,
                   fix);
        return;
    }
    CheckTokens(value, line, sink, {"[CWD]", "[OS]"});
    CheckAnsiText(value, line, sink, "path");
    if (FindTextAtChar(value, "[OS]") != std::string::npos)
        sink.Warning(line, "os-token",
                     "[OS] is replaced by nothing (it does not name the Windows-version folder): write that folder "
                     "after [CWD] in place of [OS]",
                     "write that folder after [CWD] in place of [OS]");
    const std::vector<std::string> fields = SplitFields(value);
    if (HasEmptyField(value)) {
        const std::string fix = "write program= of [" + named.name + "] with every field: file,x,working directory";
        sink.Error(line, "empty-field",
                   "an empty field between commas is dropped and the later fields move forward; the placeholder "
                   "(field 2) must be written: " + fix,
                   fix);
    } else if (fields.size() < 3) {
        const std::string fix = "write " + Quoted(value + (fields.size() == 1 ? ",x,[CWD]" : ",[CWD]")) +
                                " with the working directory the file needs";
        sink.Warning(line, "exec-missing-fields",
                     "program has " + std::to_string(fields.size()) +
                         " fields of 3 (file,placeholder,working directory); the file is opened without a working "
                         "directory: " + fix,
                     fix);
    }
    if (!fields.empty()) CheckFieldBlanks(sink, line, fields[0], "file");
    if (fields.size() >= 3) CheckFieldBlanks(sink, line, fields[2], "working directory");
    // Files named below the launch directory ship in the package.
    static const std::string kLaunchDir = "[CWD]\\";
    if (!fields.empty() && fields[0].compare(0, kLaunchDir.size(), kLaunchDir) == 0) {
        std::string rest = fields[0].substr(kLaunchDir.size());
        if (FindChar(rest, '[') == std::string::npos && !EndsWithBlank(rest) && FindWindowsPath(packageDir, rest).empty())
            sink.Warning(line, "missing-file",
                         "the package has no file " + Quoted(rest) + " for " + Quoted(named.name) +
                             " to open; a package on a CD is complete, so the name is likely a typo: correct " +
                             Quoted(rest) + " in program= of [" + named.name + "], or add the file",
                         "correct " + Quoted(rest) + " in program= of [" + named.name + "], or add the file");
    }
}

} // namespace pkgcheck
