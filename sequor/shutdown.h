// The restart and reboot requests of the sequence runner.
#pragma once
#include "framework/win.h"

// Asks the system to restart Windows or reboot (ExitWindowsEx flags). On the
// Windows NT family the process's shutdown privilege is enabled first,
// without which the system refuses the request.
BOOL RequestShutdown(UINT flags);
