// sequor95.ini: [ProcessList] holds "command line,working directory" under
// the keys 1, 2, 3, read up to the first empty one.
#include "framework/text.h"
#include "tools/pkgtool/checkers.h"
#include "tools/pkgtool/valuetext.h"

namespace pkgcheck {
namespace {

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
                     "the value has no second field (the working directory); write " + Quoted(value + ",null") +
                         " to run it in Sequor's own directory");
    else if (fields.size() > 2)
        sink.Warning(line, "extra-fields",
                     "fields after the second are ignored: a comma can't be part of a command line, so " +
                         Quoted(fields[2]) + " and anything after it is dropped");
    if (EqualNoCase(fields[0].c_str(), "null"))
        sink.Warning(line, "null-command", "the command line is null, so Sequor skips this entry");
    else if (StartsWithBlank(fields[0]))
        sink.Warning(line, "blank-in-field", "the command line " + Quoted(fields[0]) + " begins with a blank");
    if (fields.size() >= 2) {
        const std::string& dir = fields[1];
        if (StartsWithBlank(dir))
            sink.Error(line, "blank-in-field",
                       "the working directory " + Quoted(dir) +
                           " begins with a blank; fields are not trimmed, so the program cannot start and is "
                           "skipped" +
                           (EqualNoCase(TrimBlanks(dir).c_str(), "null") ? " (null with a blank is not null)" : ""));
        else if (EndsWithBlank(dir))
            sink.Warning(line, "blank-in-field",
                         "the working directory " + Quoted(dir) + " ends with a blank; fields are not trimmed");
    }
}

} // namespace

void CheckProcessList(const IniFile& ini, Sink& sink, const std::string& packageDir) {
    const IniSection* section = ini.FindSection("ProcessList");
    const int count = CheckNumberedKeys(ini, sink, "ProcessList", "[ProcessList]");
    if (count == 0) {
        bool hasKeys = section && !section->keys.empty();
        sink.Add(section ? section->line : 0, hasKeys ? "error" : "warning", "no-entry-1",
                 hasKeys ? "[ProcessList] has no entry 1 (or it is empty); Sequor reads the keys from 1 on, so it "
                           "runs nothing"
                         : "the file has no [ProcessList] entries; Sequor runs nothing");
        return;
    }
    for (int n = 1; n <= count; ++n) CheckEntry(ini, sink, n, packageDir);
}

} // namespace pkgcheck
