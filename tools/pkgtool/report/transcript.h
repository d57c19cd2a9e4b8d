// A dry run's transcript for people and for programs.
#pragma once
#include "tools/pkgtool/dryrun/dryrun.h"
#include <string>

// The PC, one line per event, the exit code and the notes.
std::string FormatTranscriptText(const Transcript& t);
// {"program", "pc", "events": [{"kind", fields...}], "exitCode", "hung", "notes"}, with a final newline.
std::string FormatTranscriptJson(const Transcript& t);
