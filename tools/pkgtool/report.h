// Findings for people and for programs.
#pragma once
#include "tools/pkgtool/check.h"
#include <string>
#include <vector>

// One "FILE:LINE: severity: message [code]" line per finding ("FILE:" alone
// for line 0), then a summary line such as "2 errors, 1 warning".
std::string FormatFindingsText(const std::vector<Finding>& findings);

// {"findings": [{"file", "line", "severity", "code", "message"}...],
//  "errors": N, "warnings": N}, one JSON object with a final newline.
std::string FormatFindingsJson(const std::vector<Finding>& findings);

// The tool's exit status: 1 when any finding is an error, else 0.
int FindingsExitStatus(const std::vector<Finding>& findings);
