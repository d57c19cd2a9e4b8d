// The PC a dry run happens on: a Windows version, the PCI bus, the registry,
// the user's answers and how the outside programs behave. Described by
// command-line options or by a machine file of "name = value" lines using
// the same names (one option a line, '#' starts a comment).
#pragma once
#include "simwin/machine.h"
#include "tools/pkgtool/formats/captures.h"
#include <string>
#include <vector>

struct PcSpec {
    // Version: an OS key (W95A, W98, NT40, ...) or "platform.major.minor[:service pack]".
    std::string os = "W98";
    std::vector<PciCard> cards;
    bool cardsGiven = false;         // --card or --no-card: no card taken from the package
    std::vector<std::string> enumPci; // Enum\PCI subkeys ("device\instance"); derived from the cards if none
    bool enumGiven = false;
    std::string usbDisplayName;       // empty: no USB supplement
    std::vector<int> answers;         // IDOK, IDCANCEL, IDYES, IDNO in order
    std::string launchDir = "D:\\CD";
    std::string arguments;
    // The install helper. A package ships it, but an author's working copy
    // may not hold it yet: the PC provides one unless told otherwise.
    bool helper = true;
    unsigned helperExit = 0;
    int64_t helperShowMs = 300;       // < 0: never shows its window
    // The Display applet: the user closes it after this many ms (< 0: never).
    int64_t appletClosesMs = -1;
    // Exit codes of the programs a Sequor list starts (by file name), and
    // programs to treat as missing.
    std::vector<std::pair<std::string, unsigned>> programExits;
    std::vector<std::string> missing;
    // A registry export of the PC: its keys stand in for the Enum\PCI keys
    // that the cards would give.
    std::vector<RegistryEntry> registry;
    bool registryGiven = false;
    std::vector<std::string> notes; // about the captures, for the transcript
};

// Applies one option (name without the leading dashes) to the spec. Returns
// an error text, empty when the option was understood.
std::string ApplyPcOption(PcSpec& spec, const std::string& name, const std::string& value);
// Reads a machine file; an error text or empty.
std::string ReadMachineFile(PcSpec& spec, const std::string& path);
// Names of the options that take no value.
bool IsPcFlag(const std::string& name);

// The default card: the first DetectCard entry that the package's command
// list for the spec's OS key would try, placed at bus 1, device 0, function 0.
void AddCardFromPackage(PcSpec& spec, const std::string& packageDir);

// Builds the simulated PC: version, bus, registry, package files (copied in
// under the launch directory), the user and the outside programs. Notes
// what the simulation cannot tell for certain.
// forSetup: the notes concern the launcher's run, not the runner's.
void BuildMachine(const PcSpec& spec, const std::string& packageDir, bool forSetup, sim::Machine& m,
                  std::vector<std::string>& notes);

// One line that describes the PC, for the transcript.
std::string DescribePc(const PcSpec& spec, const sim::Machine& m);
