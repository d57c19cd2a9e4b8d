// A dry run: the genuine setup or Sequor program code on the simulated PC,
// and the transcript of what a user and the machine would see, with each
// step the launcher takes explained: what it looked for and what it found.
#pragma once
#include "tools/pkgtool/check/check.h"
#include "tools/pkgtool/dryrun/pc.h"
#include <string>
#include <vector>

struct TranscriptEvent {
    // What the machine saw: box, started, start-failed, ended, helper,
    // applet, opened, shutdown, closed, hang. What the launcher looked for:
    // commands (the OS key's list), detect (one DetectCard entry), pcikey
    // (CheckPCIKey), install (the route, its folder and driver).
    std::string kind;
    std::vector<std::pair<std::string, std::string>> fields; // in print order; values are texts
    int run = -1; // kind "setup": the index of its run in Transcript::runs
    std::string Field(const std::string& name) const;
    // install: every file the install copies, once each, in the order it
    // copies them ("copies" above says how many and names the first few).
    struct Copied {
        std::string target; // the name it gets on the PC
        std::string source; // where the target looks: a path in the package, or "the Windows CD"
        std::string found;  // the package's file (package-relative); "" when it lacks it
    };
    std::vector<Copied> copied;
};

struct Transcript {
    std::string program; // "setup" or "Sequor"
    PcDescription pc;
    std::vector<TranscriptEvent> events;
    int exitCode = 0;
    bool hung = false;
    bool ran = true; // false when AutoRun starts nothing, or not the program
    // setup: the driver got installed (the helper ran to its end, or the
    // applet installed it). Sequor: every program of its list ran.
    bool installed = false;
    std::string outcome;            // one sentence: what happened to the driver, and why
    std::vector<std::string> notes; // where the simulation cannot speak for a real PC or for Wine
    std::vector<std::string> warnings; // options given that this run has no use for
    std::vector<Finding> findings;     // where the install would stop, with the codes check gives
    int codePage = 1252;            // the text form shows box texts as this code page shows their bytes
    // Sequor: each setup.exe of the package that its list started, run with
    // the launcher's own code (steps of kind "setup" refer to them).
    std::vector<Transcript> runs;
    // Sequor: a restart or reboot that the exit codes asked for and the user
    // declined.
    bool declined = false;
};

// program: "setup" or "sequor" (any case). dir is the package, or the root
// of a CD that holds AUTORUN.INF.
Transcript DryRun(const std::string& program, const PcSpec& spec, const std::string& dir);

// pkgtool run's exit status: 0 when the driver got installed (Sequor: its
// list ran), 1 when the run ended without (the outcome says why).
int RunExitStatus(const Transcript& t);
