// [SubDir]: the text appended to the launch directory to form the folder
// the driver is installed from.
#include "framework/text.h"
#include "setup/commands.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/suggest.h"
#include "tools/pkgtool/check/oskeys.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/check/valuetext.h"

namespace pkgcheck {
namespace {

bool ListInstalls(const IniFile& ini, const std::string& key) {
    for (const std::string& entry : SplitFields(ini.Read("Application", key, 256)))
        if (MatchCommand(entry.c_str()) == kCmdInstall) return true;
    return false;
}

bool HasTokenAnyCase(const std::string& value) {
    std::string folded = FoldedName(value);
    return folded.find("[cwd]") != std::string::npos || folded.find("[os]") != std::string::npos;
}

void CheckValue(const IniFile& ini, Sink& sink, OsKind kind, const std::string& key, int line,
                const std::string& packageDir) {
    std::string value = ReadChecked(ini, sink, "SubDir", key, 256, false);
    if (value.empty()) return;
    CheckAnsiText(value, line, sink, "path");
    const bool installs = ListInstalls(ini, OsKeyOf(kind));
    if (value[0] != '\\')
        sink.Error(line, "subdir-no-backslash",
                   "the value is appended to the launch directory with no separator, so " + Quoted(value) +
                       " makes D:\\CD into D:\\CD" + value + "; begin it with a backslash: " + key + "=\\" + value,
                   key + "=\\" + value);
    if (HasTokenAnyCase(value)) {
        const std::string fix = "write " + key + "= as \\FOLDER, the driver folder below the launch directory, "
                                "without tokens";
        sink.Error(line, "subdir-token",
                   "tokens such as [CWD] are not replaced in [SubDir]; the value is used as written: " + fix, fix);
    }
    bool blank = value.find_first_of(" \t") != std::string::npos;
    if (blank && RouteOf(kind) == InstallRoute::kHelper)
        sink.Add(line, installs ? "error" : "warning", "subdir-blank",
                 "the install helper receives the driver folder unquoted, so the blank in " + Quoted(value) +
                     " splits it into several arguments: rename the folder without blanks and write its name here",
                 "rename the folder without blanks and write its name here");
    if (installs && value[0] == '\\' && !HasTokenAnyCase(value) && FindWindowsPath(packageDir, value).empty())
        sink.Error(line, "subdir-folder-missing",
                   "the package has no folder " + Quoted(value.substr(1)) + ", which Install on " + OsKeyOf(kind) +
                       " hands over as the driver folder, so the driver does not install: create the folder " +
                       value.substr(1) + " beside SETUP.INI with the driver in it, or correct " + key + "=",
                   "create the folder " + value.substr(1) + " beside SETUP.INI with the driver in it, or correct " +
                       key + "=");
}

} // namespace

void CheckSubDirs(const IniFile& ini, Sink& sink, const std::string& packageDir) {
    const IniSection* section = ini.FindSection("SubDir");
    if (!section) return;
    for (const IniKey& k : section->keys) {
        if (ini.KeyLine("SubDir", k.name) != k.line) continue;
        OsKind kind = KindOfKey(k.name);
        if (kind == kOsOther) {
            const std::string near = NearestName(k.name, {"W95A", "W95B", "W95C", "W98", "NT40"});
            const std::string fix = near.empty() ? "rename " + Quoted(k.name) + " to the OS key it is for, or remove it"
                                                 : "rename " + Quoted(k.name) + " to " + near;
            sink.Warning(k.line, "unknown-os-key",
                         "no Windows version reads the key " + Quoted(k.name) +
                             "; [SubDir] is read only under W95A, W95B, W95C, W98 and NT40: " + fix,
                         fix);
        } else if (!ReadsSubDir(kind)) {
            sink.Warning(k.line, "subdir-never-read",
                         "the launcher never reads [SubDir] under " + Quoted(k.name) +
                             ": on that Windows version the driver folder is the launch directory itself; remove "
                             "the line, and put that version's driver beside SETUP.INI",
                         "remove the line, and put that version's driver beside SETUP.INI");
        } else {
            CheckValue(ini, sink, kind, k.name, k.line, packageDir);
        }
    }
}

} // namespace pkgcheck
