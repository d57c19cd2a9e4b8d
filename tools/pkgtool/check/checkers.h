// The pieces of CheckPackage, one per script part, and what they share.
#pragma once
#include "tools/pkgtool/check/check.h"
#include "setup/oskind.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/formats/inifile.h"
#include "tools/pkgtool/formats/infinstall.h"
#include <functional>
#include <string>
#include <vector>

namespace pkgcheck {

// Collects the findings of one file.
class Sink {
public:
    Sink(std::vector<Finding>& out, std::string file, const CheckOptions& options = CheckOptions())
        : out_(out), file_(std::move(file)), options_(options) {}
    // fix: what to change, naming this package's files, lines and keys; it
    // ends the message, after ": " (or "; ").
    void Error(int line, const std::string& code, const std::string& message, const std::string& fix = std::string()) {
        Add(line, "error", code, message, fix);
    }
    void Warning(int line, const std::string& code, const std::string& message, const std::string& fix = std::string()) {
        Add(line, "warning", code, message, fix);
    }
    void Note(int line, const std::string& code, const std::string& message, const std::string& fix = std::string()) {
        Add(line, "note", code, message, fix);
    }
    // The message holds the script's bytes: it is kept as the target's
    // Windows shows them (AddShown: a message that shows them already).
    void Add(int line, const char* severity, const std::string& code, const std::string& message,
             const std::string& fix = std::string()) {
        AddShown(line, severity, code, ShownText(message, options_.codePage), ShownText(fix, options_.codePage));
    }
    void AddShown(int line, const char* severity, const std::string& code, const std::string& message,
                  const std::string& fix = std::string()) {
        out_.push_back({file_, line, severity, code, message, "", fix});
    }
    const std::string& File() const { return file_; }
    const CheckOptions& Options() const { return options_; }

private:
    std::vector<Finding>& out_;
    std::string file_;
    CheckOptions options_;
};

// Sections named by the command lists, keyed by their trimmed name in lower
// case, each with the first line of [Application] that names it.
struct NamedSection {
    std::string name;
    int listLine = 0;
};

// A [Message] key that some run shows.
struct MessageUse {
    std::string key;
    int line = 0;              // where the list names it
    bool shownOnReach = false; // shown whenever the list gets there, not only on a failure
    std::string when;          // "when no card is found", for the message
    bool optional = false;     // shown only where the script has it: no box without it
};

// The command list of one OS key, as far as it runs.
struct ListUse {
    OsKind kind;
    std::string key;
    std::vector<std::string> detectCard; // the DetectCard sections it tries, trimmed
    bool installs = false;               // an Install that has a route
};

struct SetupReferences {
    std::vector<NamedSection> detectCard, exec;
    std::vector<MessageUse> messages;
    std::vector<ListUse> lists;
};

// Layout the reader takes differently from how it looks: duplicates, lines
// outside sections, headers without their bracket.
void CheckLayout(const IniFile& ini, Sink& sink);

// [Application], the messages its commands show, and unused sections.
// Fills refs with the sections and messages the lists name.
void CheckCommandLists(const IniFile& ini, Sink& sink, SetupReferences& refs);
void CheckMessages(const IniFile& ini, Sink& sink, const SetupReferences& refs);
void CheckUnusedSections(const IniFile& ini, Sink& sink, const SetupReferences& refs);

// [SubDir]; packageDir locates the folders the values name.
void CheckSubDirs(const IniFile& ini, Sink& sink, const std::string& packageDir);

void CheckDetectCardSection(const IniFile& ini, Sink& sink, const NamedSection& section);

// A DetectCard entry as the launcher reads it (setup/cardentry.h: the
// program's own parser), for what check says about it.
struct CardEntryReading {
    bool namesCard = false; // fields 1 and 2 are there
    unsigned vendor = 0, device = 0;
    std::string busType; // as kept: at most 7 characters
    bool agp = false;    // the location becomes 000800
    int helperFlag = 0;
    // "the location 000800 (bus type "AGP") and helper flag 1"
    std::string Describe() const;
};
CardEntryReading ReadCardEntry(const std::string& entry);
void CheckExecSection(const IniFile& ini, Sink& sink, const NamedSection& section, const std::string& packageDir);

// The driver's INF files in the folders the OS keys install from, against
// the DetectCard entries; adds the cards of both to `cards`. Findings about
// an INF file name that file.
void CheckDriverInfs(const IniFile& ini, Sink& sink, const SetupReferences& refs, const std::string& packageDir,
                     std::vector<Finding>& out, std::vector<PackageCard>& cards);

// The folder Install hands over on that key (the launch directory and the
// [SubDir] value), within the package; "" when the package has none.
// `shown` gets the folder as the script names it.
std::string DriverFolder(const IniFile& ini, OsKind kind, const std::string& packageDir, std::string& shown);

// Every file the install of each installing key copies, as its Windows
// reads the INF files of its driver folder (formats/infinstall.h). Findings
// about an INF file name that file; the volume labels of Windows 95/98 INFs
// go to `labels`.
void CheckDriverInstalls(const IniFile& ini, Sink& sink, const SetupReferences& refs, const std::string& packageDir,
                         std::vector<Finding>& out, std::vector<DiskLabelUse>& labels);

// The keys that install from one driver folder with one reader, and the
// cards they accept (none: every models line).
struct DriverGroup {
    std::string folder, shown; // on this disk; as the script names it
    InfReader reader = InfReader::kWin9x;
    std::vector<std::string> keys;
    std::vector<PciIds> cards;
    bool everyModel = false;
    int line = 0; // the first key's line in [Application]
    // The one card the install is for, as the run's PC has it: the install
    // then takes the one models line the target chooses, from the INF with
    // the best such line.
    bool hasExact = false;
    CardHardware exact;
};

// An INF file of the folder that the reader takes, and its install.
struct DriverInfInstall {
    std::string path;
    InfInstall install;
};

typedef std::function<void(const std::string& file, int line, const std::string& severity, const std::string& code,
                           const std::string& message, const std::string& fix)>
    FindingAdder;

// The copies of files that the package lacks, gathered over the installs of
// several folders and readers, so that each file is told once: where it is
// looked for, every line that copies it and the keys that install it.
class MissingFiles {
public:
    void Add(const DriverGroup& g, const std::string& infPath, const InstallFile& f, const std::string& packageDir);
    // One driver-file-missing finding a file, at its first copy line, and a
    // driver-folder-incomplete note for a folder that lacks many.
    void Report(const std::string& packageDir, const FindingAdder& add) const;

private:
    struct Copy {
        std::string inf; // the INF's path on this disk
        int line = 0;
        std::string section, target;
    };
    struct File {
        std::string shown, name, folder; // the path looked for, its name, its folder (package-relative, '\\')
        std::vector<Copy> copies;
        std::vector<std::string> keys, systems, installs; // installs: the install sections, as written
    };
    std::vector<File> files_; // in the order first copied
};

// The install from one folder, as check and the dry run both see it: the
// INF files the reader takes, each with what it copies; `add` gets the
// findings where the install stops or goes astray (script: SETUP.INI's
// path, for the findings about the folder). Volume labels go to `labels`
// when it is given. The files the package lacks go to `missing` when it is
// given (the caller reports them), else they are reported here.
std::vector<DriverInfInstall> InstallFromFolder(const DriverGroup& g, const std::string& script,
                                                const std::string& packageDir, const FindingAdder& add,
                                                std::vector<DiskLabelUse>* labels, MissingFiles* missing = nullptr);

// The names of the script's sections, and the keys of one, for "did you mean".
std::vector<std::string> SectionNames(const IniFile& ini);
std::vector<std::string> KeyNames(const IniFile& ini, const std::string& section);

// sequor95.ini's [ProcessList]; packageDir locates the programs it names.
void CheckProcessList(const IniFile& ini, Sink& sink, const std::string& packageDir);

// The programs Windows tries for a command line that starts from the launch
// directory ([CWD]\...), as paths below it: the quoted text, else the text
// up to each blank in turn. None when the line starts elsewhere or holds
// another token.
std::vector<std::string> ProgramsTried(const std::string& commandLine);
// The first of them the package holds (.exe added to a name without an
// extension), on this disk; "" when it holds none.
std::string ProgramFound(const std::vector<std::string>& tried, const std::string& packageDir);

// A byte order mark, which the target systems do not all read as Wine does.
// nothingRead says what happens where no section is found ("Sequor runs nothing").
void CheckTextMark(const IniFile& ini, Sink& sink, const std::string& fileName, const std::string& nothingRead);

// The root of a CD: its AUTORUN.INF, and the program it starts. Returns the
// folder of the package that program reads, "" when there is none to check.
std::string CheckCdRoot(const std::string& root, std::vector<Finding>& out, const CheckOptions& options);

// A value the system shows or uses as a path: text that the code page of
// the options would garble. `what` names it in messages ("message", "path").
void CheckAnsiText(const std::string& value, int line, Sink& sink, const std::string& what);

// A message's \n or \t inside a path (C:\new, \nt40, \temp).
void CheckEscapesInPaths(const std::string& message, int line, Sink& sink);

// A list of entries under the keys "1", "2", ... read up to the first empty
// one. Reports keys the programs never ask for and returns how many entries
// are read. `what` names the list in messages.
int CheckNumberedKeys(const IniFile& ini, Sink& sink, const std::string& section, const std::string& what);

} // namespace pkgcheck
