// A dry run: the genuine setup or Sequor program code on the simulated PC,
// and the transcript of what a user and the machine would see.
#pragma once
#include "tools/pkgtool/dryrun/pc.h"
#include <string>
#include <vector>

struct TranscriptEvent {
    std::string kind; // box, started, start-failed, ended, helper, applet, opened, shutdown, closed, hang
    std::vector<std::pair<std::string, std::string>> fields; // in print order; values are texts
    std::string Field(const std::string& name) const;
};

struct Transcript {
    std::string program; // "setup" or "Sequor"
    std::string pc;
    std::vector<TranscriptEvent> events;
    int exitCode = 0;
    bool hung = false;
    bool ran = true; // false when AutoRun starts nothing, or not the program
    std::vector<std::string> notes; // where the simulation cannot speak for a real PC or for Wine
    int codePage = 1252;            // the text form shows box texts as this code page shows their bytes
};

// program: "setup" or "sequor" (any case). dir is the package, or the root
// of a CD that holds AUTORUN.INF.
Transcript DryRun(const std::string& program, const PcSpec& spec, const std::string& dir);
