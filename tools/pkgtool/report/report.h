// Findings for people and for programs. Every JSON output of the tool
// (check, run, cd) has one shape, described by docs/pkgtool.schema.json:
// "command", "findings", "counts" and "exitStatus", and what the command
// adds of its own.
#pragma once
#include "tools/pkgtool/check/check.h"
#include <string>
#include <vector>

// One "FILE:LINE: severity: message [code]" line per finding ("FILE:" alone
// for line 0), then a summary line such as "2 errors, 1 warning" (", 1 note"
// when there are notes).
std::string FormatFindingsText(const std::vector<Finding>& findings);

// "Cards named by the package:" and a line per card: identifiers, name and
// where the package names it. Nothing when there is no card.
std::string FormatCardsText(const std::vector<PackageCard>& cards);

// The members every JSON output shares, without the braces:
// "command": ..., "findings": [{"file", "line" (null for 0), "severity",
// "code", "message", "fix" (what to change in this package, or null),
// "package" (null for "")}...], "counts": {"errors", "warnings", "notes"},
// "exitStatus": N.
std::string FindingsJsonMembers(const std::string& command, const std::vector<Finding>& findings, int exitStatus);

// check --json: the shared members and "cards": [{"vendor", "device", "name",
// "where"}...]; one JSON object with a final newline.
std::string FormatFindingsJson(const std::vector<Finding>& findings, const std::vector<PackageCard>& cards = {});

// The tool's exit status: 1 when any finding is an error, else 0.
int FindingsExitStatus(const std::vector<Finding>& findings);
