// The simulated PC of a whole-run fuzz input. The script is the front of the
// input, as it stands; the PC is built from its tail, read backwards (so a
// seed is a readable INI file with a few bytes of settings after it): the
// Windows version, the current directory and the argument text, the PCI
// bus, the registry, the programs that can be started with their timing and
// faults, and the user's answers.
//
// Every program of such a PC ends by itself within a bounded time, and the
// user answers every box. So a run that waits without end, or that polls
// past the clock or call limit, is hung on something that can never come:
// that is a finding, never an accepted outcome.
#pragma once
#include "simwin/machine.h"
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace fuzz {

struct PcInput {
    std::string arguments; // the launcher's argument text
    std::string script;
};

// Builds the PC on m and places the script under scriptName in the launch
// directory that the program will form (current directory, one trailing
// backslash removed, then the argument text when withArguments). With
// FUZZ_SHOW_PC set in the environment it prints the PC, to read a finding.
PcInput BuildPc(FuzzedDataProvider& in, sim::Machine& m, const char* scriptName, bool withArguments);

// With FUZZ_SHOW_PC set, prints what the run did, event by event.
void ShowRun(const sim::Machine& m, int exitCode);

// A hung run: prints the reason and the last events, and aborts.
[[noreturn]] void ReportHang(const sim::Machine& m);

} // namespace fuzz
