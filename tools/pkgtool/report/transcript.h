// A dry run's transcript for people and for programs.
#pragma once
#include "tools/pkgtool/dryrun/dryrun.h"
#include <string>

// The PC, one line per step, the exit code, the notes and, last, what
// became of the driver and why.
std::string FormatTranscriptText(const Transcript& t);
// The shared members of report.h, then "program", "osKey", "pc", "steps",
// "exitCode" (null when the program did not end), "hung", "ran",
// "installed", "outcome", "caveats" and "usageWarnings"; a final newline.
std::string FormatTranscriptJson(const Transcript& t);
