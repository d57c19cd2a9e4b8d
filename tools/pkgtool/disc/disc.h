// The CD image of a package folder or a CD root: what goes on the disc, the
// paths its scripts and AUTORUN.INF name, the names as the targets read
// them, and the image itself.
#pragma once
#include "tools/pkgtool/check/check.h"
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pkgdisc {

// A file or folder that goes on the disc.
struct Entry {
    std::string path;   // below the root, '/'-separated, named as the disc names it (PathOnDisc)
    std::string source; // on this disk; for a link, what it leads to
    bool dir = false;
    int level = 1;      // ISO 9660's level of the folder that holds it: 1 for the root
};

// What goes on the disc, each folder before what it holds, a folder's
// entries in name order: the package's tree as check reads it
// (pkgcheck::ReadPackageTree, with its findings), and nothing below a
// folder whose path Windows cannot reach.
std::vector<Entry> ReadTree(const std::string& root, std::vector<Finding>& out);

// Where a script or AUTORUN.INF names a path of the disc.
struct Naming {
    std::string file; // the script on this disk
    int line = 0;
    std::string what; // "open=", "[SubDir] W98", ...
};
using Named = std::map<std::string, Naming>; // Entry::path -> the first naming

// The disc's names against what Joliet and ISO 9660 hold: a name with a
// character Joliet refuses, longer than Joliet keeps, two names that become
// one, a path beyond Joliet's length, a file beyond ISO 9660's depth. An
// error where a script names the path (or a folder on the way), else a
// warning.
void CheckNames(const std::vector<Entry>& entries, const Named& named, std::vector<Finding>& out);

// The paths the disc's AUTORUN.INF (autorunText, or the folder's own when
// empty) and the scripts of the package it starts name, with the package's
// folder ("" when there is none). Adds errors for the programs the disc
// needs and lacks, and the notes on read-only copies.
struct References {
    std::string packageDir;
    Named named;
};
References ReadReferences(const std::string& root, const std::string& autorunText, std::vector<Finding>& out);

// The AUTORUN.INF that starts the package's setup.exe with the argument
// text its folder needs; "" with an error finding when the folder has no
// package or no setup.exe for it.
std::string MakeAutoRun(const std::string& root, std::vector<Finding>& out);

struct ImageOptions {
    std::string label;
    bool fixedTime = false; // the image's own times from `time` (SOURCE_DATE_EPOCH)
    int64_t time = 0;
    std::string autorunText; // written as AUTORUN.INF in the root, replacing the folder's; "" for none
};

// A path of the disc as each tree names it.
struct DiscName {
    std::string iso;    // ISO 9660 level 1, as recorded ("SETUP.INI;1"); "" when left out
    std::string joliet; // "" when left out
};

struct ImageResult {
    std::string error; // why no image was written; "" when one was
    uint64_t bytes = 0;
    std::map<std::string, DiscName> names; // Entry::path -> its names, read back from the image
};

// Writes ISO 9660 level 1 with Joliet through libisofs, then reads the
// image back for the names its two trees give each entry.
ImageResult WriteImage(const std::vector<Entry>& entries, const ImageOptions& options, const std::string& file);

// pkgtool cd DIR -o FILE.iso [--label NAME] [--autorun] [--json]; returns the exit status.
int CdCommand(const std::vector<std::string>& args);

} // namespace pkgdisc
