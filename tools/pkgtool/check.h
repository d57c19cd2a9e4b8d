// Checking a driver package for the pitfalls that both programs pass over
// in silence: the scripts are read exactly as setup and Sequor read them,
// and each finding names the line the programs take the value from.
#pragma once
#include <string>
#include <vector>

struct Finding {
    std::string file;     // path of the script (the package directory for findings about the package)
    int line;             // 1-based; 0 when the finding concerns the whole file
    std::string severity; // "error": the script surely misbehaves; "warning": it may
    std::string code;     // short stable id, e.g. "unknown-command"
    std::string message;  // plain explanation for a package author
};

// Reads SETUP.INI and sequor95.ini from dir (names matched without regard
// to case, as on Windows) and returns the findings sorted by file and line.
// Never throws for a bad package: a missing directory or files are findings.
std::vector<Finding> CheckPackage(const std::string& dir);
