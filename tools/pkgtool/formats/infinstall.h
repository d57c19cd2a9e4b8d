// The install of one driver INF file as a target performs it: which files
// it copies, from where in the package, to which directory, and what may
// keep the target from finding them. One model for the check, the CD
// writer and the dry run.
//
// In: the INF's bytes, the reader (InfReader::kWin9x, the 16-bit device
// installer of Windows 95 and 98; InfReader::kNt4, the setup functions of
// Windows NT 4.0), the cards to install for (each a PCI vendor and device;
// `everyModel` takes every models line instead, as the NT 4.0 Display
// applet offers them all), and a lookup that finds a path below the INF's
// folder without regard to case (InfFolderLookup for a file on this disk).
//
// Out: InfInstall. `files` are the copies the install queues, in the order
// the install sections name them, each once per install section, with the
// line that needs it and where the target looks for its source. `notices`
// are what the target does differently from what the author likely meant;
// each has the severity and code of the finding it becomes. A file that the
// package lacks is no notice: `found` is empty, and the caller, which knows
// the package, says where else a file of that name lies.
//
// The reading follows the rules of each target, cited where they live in
// infinstall.cpp. Any bytes are accepted; lengths are cut as the system
// cuts them and every list is bounded, so a hostile file costs time
// proportional to its size.
#pragma once
#include "tools/pkgtool/formats/inffile.h"
#include "tools/pkgtool/formats/infrules.h"
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pkgcheck {

// Where the target takes a copied file's source from.
enum class InstallSource {
    kPackage,       // the package: beside the INF, or where [SourceDisks*] say
    kWindowsLayout, // Windows's own layout (LayoutFile=): the user is asked for the Windows CD
    kNone,          // nowhere: a disk that [SourceDisksNames] lacks, or only a section the target does not read
};

struct InstallFile {
    int line = 0;               // the line that names the file: a copy line, or the CopyFiles=@name line
    std::string installSection; // the install section whose CopyFiles= names it, as the models line writes it
    std::string section;        // the copy section as written; "" for CopyFiles=@name
    std::string target;         // the name the file gets on the PC
    std::string source;         // the source name the INF gives (the target name by default)
    InstallSource from = InstallSource::kPackage;
    std::string lookedFor;      // where the target looks, relative to the INF's folder, '\\'-separated
    std::string found;          // that path on this disk, or its compressed form (name.ex_); "" when missing
    bool compressed = false;    // `found` is the compressed form
    int destDir = -1;           // the directory id from [DestinationDirs]; -1 when none applies
    std::string destSubdir;     // its subdirectory, if any
};

struct InstallNotice {
    int line = 0;         // 0 for the whole file
    std::string severity; // "error", "warning" or "note"
    std::string code, message;
    std::string fix = ""; // what to change, when the message names it
};

// A volume label of [SourceDisksNames] (the disk's second field, which
// Windows 95 and 98 take as the label of the disk they ask for).
struct InstallDiskLabel {
    int line = 0;
    std::string disk, label;
};

struct InfInstall {
    bool takesFile = true;                    // the reader takes the file as an INF at all
    std::vector<std::string> installSections; // the install sections the chosen models lines name, once each
    std::vector<InstallFile> files;
    std::vector<InstallNotice> notices;
    std::vector<InstallDiskLabel> labels;     // Windows 95/98 only
};

// A path below the INF's folder ('\\'-separated, ".." allowed) found on
// this disk without regard to case; "" when it is not there or is no file.
typedef std::function<std::string(const std::string& windowsPath)> InfLookup;
InfLookup InfFolderLookup(const std::string& infFolder);

typedef std::pair<unsigned, unsigned> PciIds;

// exact: install for that one card as the target does, from the one models
// line its device installer chooses (inffile.h, ChooseModelsLine); without
// it, every line that lists one of the cards, whatever its subsystem, as
// the lines a target might choose.
InfInstall ReadInfInstall(const std::string& bytes, InfReader reader, const std::vector<PciIds>& cards,
                          bool everyModel, const InfLookup& lookup, const CardHardware* exact = nullptr);
// The same for a file on this disk (at most 16 MB of it is read).
InfInstall ReadInfInstallFile(const std::string& infPath, InfReader reader, const std::vector<PciIds>& cards,
                              bool everyModel, const CardHardware* exact = nullptr);

// Whether Windows 95/98's installer takes a name: 8.3, no path.
bool IsShortName(const std::string& name);

} // namespace pkgcheck
