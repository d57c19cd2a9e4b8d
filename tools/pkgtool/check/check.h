// Checking a driver package for the pitfalls that both programs pass over
// in silence: the scripts are read exactly as setup and Sequor read them,
// and each finding names the line the programs take the value from.
#pragma once
#include <string>
#include <vector>

struct Finding {
    std::string file;     // path of the script (the package directory for findings about the package)
    int line;             // 1-based; 0 when the finding concerns the whole file
    std::string severity; // "error": the script surely misbehaves; "warning": it may; "note": what was not checked
    std::string code;     // short stable id, e.g. "unknown-command"
    std::string message;  // plain explanation for a package author
    std::string package = ""; // the package folder relative to the checked root; "" when the root is the only package
    std::string fix = "";     // what to change in this package (its files, lines, keys); "" when nothing will do
};

struct CheckOptions {
    int codePage = 1252;       // the ANSI code page of the Windows that runs the package
    bool codePageGiven = false; // --codepage: no guess at another code page
    bool followAutoRun = true; // a folder with AUTORUN.INF is a CD root: check every package on it
    bool everyPackage = false; // check every folder below the root that holds a SETUP.INI (pkgtool cd)
    bool treeFindings = true;  // report the links and entries the disc leaves out (pkgtool cd reports its own)
};

// A card the package names, by a DetectCard entry or in a driver INF file.
struct PackageCard {
    unsigned vendor = 0, device = 0;
    std::string name;               // from the system's PCI id database; "" when unknown
    std::vector<std::string> where; // "SETUP.INI:10", "WIN95/DRIVER.INF:31", in the order found
};

// A volume label that a Windows 95/98 INF gives its disk, for the CD
// writer to compare with the disc's.
struct DiskLabelUse {
    std::string file; // the INF
    int line = 0;
    std::string label;
};

struct CheckResult {
    std::vector<Finding> findings;
    std::vector<PackageCard> cards; // by vendor, then device
    std::vector<DiskLabelUse> diskLabels;
};

// Reads SETUP.INI and sequor95.ini from dir (names matched without regard
// to case, as on Windows), and the driver INF files of the folders the OS
// keys install from; returns the findings sorted by file and line.
// Never throws for a bad package: a missing directory or files are findings.
CheckResult CheckPackage(const std::string& dir, const CheckOptions& options);
std::vector<Finding> CheckPackage(const std::string& dir);
