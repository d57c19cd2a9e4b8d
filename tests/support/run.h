// Running the programs on the simulated PC, for the host tiers.
#pragma once
#include "simwin/machine.h"
#include <string>

namespace sim {

// The package directory of the example PC, and writing files into it.
void PutFile(Machine& m, const std::string& windowsPath, const std::string& text);

// What a run returns when the simulated PC found it hanging (m.hangs tells).
enum { kHung = -1000 };

// Runs setup (with its title resource, as the shipped binary has it) on the
// machine and returns the exit code. arguments is the text after the program
// name on the command line.
int RunSetup(Machine& m, const std::string& arguments = "");
int RunSequor(Machine& m);

} // namespace sim
