// Findings for people and for programs.
#pragma once
#include "tools/pkgtool/check/check.h"
#include <string>
#include <vector>

// One "FILE:LINE: severity: message [code]" line per finding ("FILE:" alone
// for line 0), then a summary line such as "2 errors, 1 warning" (", 1 note"
// when there are notes).
std::string FormatFindingsText(const std::vector<Finding>& findings);

// {"findings": [{"file", "line", "severity", "code", "message"}...],
//  "errors": N, "warnings": N}, one JSON object with a final newline.
std::string FormatFindingsJson(const std::vector<Finding>& findings);

// "Cards named by the package:" and a line per card: identifiers, name and
// where the package names it. Nothing when there is no card.
std::string FormatCardsText(const std::vector<PackageCard>& cards);

// As above, with "cards": [{"vendor", "device", "name", "where"}...] after
// the findings.
std::string FormatFindingsJson(const std::vector<Finding>& findings, const std::vector<PackageCard>& cards);

// The tool's exit status: 1 when any finding is an error, else 0.
int FindingsExitStatus(const std::vector<Finding>& findings);
