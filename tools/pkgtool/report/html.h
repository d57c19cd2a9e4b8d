// pkgtool report: one self-contained HTML page about a package, for its
// author: the outcome of every path (run --all) at the top, each path as
// the user lives it with the boxes and dialogs drawn from its transcript,
// the check's findings and the package's scripts with line numbers. No
// script, no request to any other address, the same bytes for the same
// package and tool version.
#pragma once
#include "tools/pkgtool/check/check.h"
#include "tools/pkgtool/report/matrix.h"
#include <string>
#include <vector>

std::string ReportHtml(const std::string& dir, const std::vector<MatrixPath>& paths, const CheckResult& check,
                       int codePage, const std::string& toolVersion);
