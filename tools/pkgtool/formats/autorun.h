// AUTORUN.INF at the root of a CD, and how the program it names starts.
// AutoRun reads the file as an INI file: [autorun] with open= (a command
// line, program first, relative to the disc's root) and icon= (a file
// relative to the root, with an icon index after a comma); Microsoft
// Systems Journal, September 1998, "Win32 Q&A".
#pragma once
#include "tools/pkgtool/formats/inifile.h"
#include <string>
#include <vector>

namespace pkgcheck {

// How the program was started, for the launch directory it gets.
enum class StartedBy { kAutoRun, kExplorer };

struct AutoRunFile {
    bool found = false;   // the root holds AUTORUN.INF (names matched without regard to case)
    std::string path;     // on this disk
    IniFile ini;          // any byte order mark decoded: what the author meant (check/text.cpp says what
                          // the targets make of a mark)
    int sectionLine = 0;  // of [autorun]; 0 when the section is missing
    std::string open, icon;
    int openLine = 0, iconLine = 0;
};

// The root's AUTORUN.INF; found is false without one (or when it cannot be read).
AutoRunFile ReadAutoRun(const std::string& root);
// The file's bytes, for tools and tests that hold them.
AutoRunFile ParseAutoRun(const std::string& bytes);

// What the program named by open= starts with.
struct AutoRunStart {
    std::string program;          // as open= writes it
    std::string programPath;      // that file on this disk; "" when the CD lacks it
    std::string programFolder;    // its folder below the root, "" for the root itself
    bool isSetup = false;         // the program is setup.exe
    std::string currentDirectory; // Windows path, on the drive given
    std::string arguments;        // the argument text the program gets
    std::string launchDir;        // setup's launch directory (Sequor's is the current directory)
    std::string launchFolder;     // that directory on this disk; "" when the CD lacks it
};

// drive is "D:". AutoRun's current directory for the program: no source of
// the time says which, for Windows 95, 98 or NT 4.0; taken to be the root.
// A double-click in Explorer: taken to start the program in its own folder
// without arguments.
AutoRunStart StartOf(const std::string& open, const std::string& root, const std::string& drive, StartedBy by);

// A setup.exe that the list of sequor95.ini starts, read as Sequor reads
// it (the [CWD] expansion and the field splitting of its own code), with
// Sequor started in `currentDirectory` (a Windows path on drive, such as
// "D:\\"). The launch directory setup gets there: its current directory
// (the entry's second field, or Sequor's own for null) without one trailing
// backslash, then its argument text.
struct SequorSetupStart {
    int key = 0, line = 0;        // the [ProcessList] entry
    std::string commandLine, currentDirectory, arguments, launchDir;
    std::string launchFolder;     // that directory on this disk; "" when the CD lacks it
};
std::vector<SequorSetupStart> SetupStartsOfSequor(const std::string& root, const std::string& currentDirectory);
// Whether a program name (with or without a folder) is Sequor.exe.
bool IsSequorProgram(const std::string& program);

// What the assumption about AutoRun's current directory is, for messages.
extern const char kAutoRunDirectoryAssumed[];

} // namespace pkgcheck
