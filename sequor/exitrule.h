// The runner's contract with the programs it runs: the highest exit code,
// compared unsigned, asks for a restart of Windows (1) or a reboot (2);
// anything else, -1 included, asks for nothing.
#pragma once
#include "framework/win.h"

// ExitWindowsEx requests as Windows 95 and NT 4.0 take them; the 32-bit
// headers no longer name these values.
enum { kRestartWindows = 0x42, kRebootSystem = 0x43 };

struct SequorPrompt {
    LPCSTR text;   // NULL: no prompt
    UINT shutdown; // ExitWindowsEx flags after a Yes
};

SequorPrompt PromptForExitCode(DWORD highest);

// "null" in any case stands for an absent command line or directory; the
// word with blanks around it is a name like any other.
bool IsNullField(const char* field);
