// A dry run's transcript for people and for programs.
#pragma once
#include "tools/pkgtool/dryrun/dryrun.h"
#include <string>

// The PC, one line per step, the exit code, the notes and, last, what
// became of the driver and why. A line longer than kTranscriptWidth goes on
// over indented lines; verbose adds a line per file the install copies.
const size_t kTranscriptWidth = 300;
std::string FormatTranscriptText(const Transcript& t, bool verbose = false);
// The shared members of report.h, then "program", "osKey", "pc", "steps"
// (an install step's "copies" an array of {"target", "source", "found"}),
// "exitCode" (null when the program did not end), "hung", "ran",
// "installed", "outcome", "caveats" and "usageWarnings"; a final newline.
std::string FormatTranscriptJson(const Transcript& t);
