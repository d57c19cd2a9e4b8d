// pkgtool run --all: the dry run of every path through the package that a
// user can meet, one DryRun each, and the table of their outcomes.
#pragma once
#include "tools/pkgtool/dryrun/dryrun.h"
#include <string>
#include <vector>

struct MatrixPath {
    std::string windows; // as people know it: "Windows 95 OSR2"
    std::string os;      // the --os value of the path
    std::string osKey;   // "" for a version without one
    std::string card;    // "1234:5678 (PCI) in a PCI slot, bus 0 device 14" or "no card"
    std::string usb;     // "", "installed", "not installed, OK", "not installed, Cancel"
    // The script means to install here: its key's list has Install, the card
    // is one of its DetectCard entries in the slot that entry names, and the
    // user did not cancel.
    bool meant = false;
    PcSpec spec;
    Transcript t;
    std::string Outcome() const; // "installed from D:\CD\WIN95", "stopped by the box ...", "nothing at all"
    std::string Kind() const;    // installed, failed (meant but not installed), stopped, nothing
};

// Every path, in the order of the version table. base gives the PC options
// that every path shares (code page, launch directory, helper, ...).
std::vector<MatrixPath> RunAll(const PcSpec& base, const std::string& dir);

// One line per path: the Windows, the card, the supplement, the outcome,
// the boxes in order; then a count of the paths and of those that fail.
std::string FormatMatrixText(const std::vector<MatrixPath>& paths);
// A JSON array of run objects, each with a "path" member for its settings.
std::string FormatMatrixJson(const std::vector<MatrixPath>& paths);
// 1 when a path the script means to install ends without the driver.
int MatrixExitStatus(const std::vector<MatrixPath>& paths);
