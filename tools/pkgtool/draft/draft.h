// pkgtool new: a SETUP.INI drafted from the driver's INF files, read as
// check and run read them (formats/inffile.h, formats/infinstall.h), so
// that the draft says what the INFs already say and nothing more. What the
// draft cannot decide is a finding, and a comment in the draft.
#pragma once
#include "tools/pkgtool/check/check.h"
#include "tools/pkgtool/formats/infinstall.h"
#include <string>
#include <vector>

namespace pkgdraft {

struct DraftOptions {
    std::vector<pkgcheck::PciIds> agp; // --agp VEN:DEV: cards that sit in an AGP slot
};

// A card the draft lists in [DetectCard].
struct DraftCard {
    unsigned vendor = 0, device = 0;
    bool agp = false;
    std::string inf;         // as the draft names it: W9X\QUILL.INF
    int line = 0;            // the models line that lists it
    std::string description; // the INF's text for it, [Strings] substituted
    std::string dbName;      // the PCI id database's name; "" when unknown
    std::string warning;     // a line the author must read ("" for none)
};

// A key the draft gives a command list.
struct DraftKey {
    std::string key;    // W98
    std::string folder; // the [SubDir] value: "\W9X", "" for the package's root
    std::string list;   // the command list
};

struct Draft {
    std::vector<std::string> infs;   // "W9X\QUILL.INF: Windows 95 and 98, 3 cards", for the header
    std::vector<DraftKey> keys;      // in the order of the version table
    std::vector<DraftCard> cards;    // [DetectCard], in INF and line order
    std::string readme;              // the README at the root, as named on disk; "" for none
    std::vector<std::pair<std::string, std::string>> messages; // [Message] keys and texts, in use order
    std::vector<Finding> findings;   // what it could not decide, by file and line
};

// Reads the driver folders of dir: the root and every folder below it
// that holds INF files. Never throws; unreadable files are findings.
Draft MakeDraft(const std::string& dir, const DraftOptions& options);

// The SETUP.INI text of a draft: the same draft gives the same bytes.
// Findings in the header are named relative to dir.
std::string DraftText(const Draft& draft, const std::string& dir);

// What --update adds to an existing script: the cards its DetectCard
// sections lack, and the keys (with their [SubDir], [Message] and section
// lines) of the draft's folders that no key of the script installs from.
// Every byte of the script stays; `added` says what was added, one line
// each. Returns the script unchanged when there is nothing to add.
std::string UpdateText(const std::string& script, const Draft& draft, const std::string& dir,
                       std::vector<std::string>& added);

// pkgtool new [--update | --print] DIR [--agp VEN:DEV]... [--codepage N] [--pci-ids FILE]
int NewCommand(const std::vector<std::string>& args);

} // namespace pkgdraft
