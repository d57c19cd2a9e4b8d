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
    int codePage = 1252; // the ANSI code page of its Windows (--codepage, codepage = in a machine file)
    std::vector<PciCard> cards;
    bool cardsGiven = false;         // --card or --no-card: no card taken from the package
    std::vector<std::string> enumPci; // Enum\PCI subkeys ("device\instance"); derived from the cards if none
    bool enumGiven = false;
    std::string usbDisplayName;       // empty: no USB supplement
    std::vector<int> answers;         // IDOK, IDCANCEL, IDYES, IDNO in order
    std::string launchDir = "D:\\CD";
    std::string arguments;
    // A CD's root (it holds AUTORUN.INF) sits at the root of launchDir's
    // drive, and the program starts as AutoRun starts it, or as a double-click
    // on it in Explorer does.
    bool startedByExplorer = false;
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
    std::string noCardWhy;          // why the package gave the default PC no card
    std::vector<std::string> given; // the options applied, by name, in order
    std::vector<std::pair<std::string, bool>> cardTexts; // each --card as written; true: in decimal
};

// Applies one option (name without the leading dashes) to the spec. Returns
// an error text, empty when the option was understood.
std::string ApplyPcOption(PcSpec& spec, const std::string& name, const std::string& value);
// Reads a machine file; an error text or empty.
std::string ReadMachineFile(PcSpec& spec, const std::string& path);
// Names of the options that take no value.
bool IsPcFlag(const std::string& name);

// The default card: the first DetectCard entry that the package's command
// list for the spec's OS key would try, placed at bus 1, device 0, function 0
// (the AGP slot, behind the first bridge), registered as its entry's bus
// type is (InstanceOf).
void AddCardFromPackage(PcSpec& spec, const std::string& packageDir);

// The Enum\PCI instance key under which the default PC's Windows has
// detected a card: "000800" where a DetectCard entry of the package names
// the card as AGP, else BUS_bb&DEV_dd&FUNC_ff of its slot.
std::string InstanceOf(const PciCard& card, const std::string& packageDir);

// The OS key a version option gives, and why (the rows of the version table).
std::string OsKeyOfSpec(const std::string& os);
std::string OsKeyReasonOfSpec(const std::string& os);

// How the program starts on the PC.
struct ProgramStart {
    std::string arguments;   // its argument text
    std::string packageDir;  // the folder on this disk it reads its script from; "" when there is none
    std::string launchDir;   // setup's launch directory on the PC
    std::string description; // for the PC line
    std::string failure;     // when AutoRun starts nothing (or not this program): why
    std::string autoRun;     // what AutoRun runs, for the transcript
    // A setup that Sequor's list starts: its process's current directory and
    // program file on the PC, set on the machine as they are.
    std::string currentDirectory, moduleFile;
};

// The start from a directory without AUTORUN.INF: in the launch directory.
// With one, it is a CD's root: CdStart reads its AUTORUN.INF as the machine's
// Windows reads it (the machine holds the CD's files at drive's root).
ProgramStart PlainStart(const PcSpec& spec, const std::string& dir);
ProgramStart CdStart(const PcSpec& spec, const std::string& dir, const std::string& drive, bool forSetup,
                     sim::Machine& m, std::vector<std::string>& notes);
// The folder on this disk whose SETUP.INI the launcher reads.
std::string PackageDirOf(const PcSpec& spec, const std::string& dir);

// Builds the simulated PC: version, bus, registry, package files (copied in
// under the launch directory, a CD's at its drive's root), the user and the
// outside programs. Notes what the simulation cannot tell for certain.
// forSetup: the notes concern the launcher's run, not the runner's.
// started: the setup that a Sequor run starts, where it starts it, instead
// of the start the options and AUTORUN.INF give.
ProgramStart BuildMachine(const PcSpec& spec, const std::string& dir, bool forSetup, sim::Machine& m,
                          std::vector<std::string>& notes, const ProgramStart* started = nullptr);
// The programs of the package that an --exit or --missing name means: its
// file name with or without extension, its path below the package (either
// slash, any case) or its path on the PC. Their paths on the PC.
std::vector<std::string> ProgramsNamed(const PcSpec& spec, const std::string& dir, const std::string& name);
// Where the package's files are on the PC: the CD's drive for a CD's root,
// else the launch directory.
std::string FilesAt(const PcSpec& spec, const std::string& dir);

// The PC as the transcript describes it.
struct PcDescription {
    unsigned long platform = 0, major = 0, minor = 0;
    std::string servicePack;
    std::string osKey; // "" for a version without one
    std::string osWhy; // the row of the version table that gives it
    std::string start; // where and how the program starts
    std::vector<PciCard> cards;
    std::string noCardWhy;
    std::vector<std::string> registry; // Enum\PCI's DEVICE\INSTANCE keys
    std::string usb;                   // "" when the supplement is not installed
    std::string Line() const;          // for the text transcript
};
PcDescription DescribePc(const PcSpec& spec, const sim::Machine& m, const ProgramStart& start);
// The DEVICE\INSTANCE keys under Enum\PCI (a device without instances alone).
std::vector<std::string> EnumPciKeys(const sim::Machine& m);
