// Where the argument text starts in a process command line.
#pragma once

// Skips the program name (a quoted name ends after its closing quote, an
// unquoted one at the first blank or control character), then the blanks and
// control characters after it. Trailing blanks of the arguments stay.
const char* SkipProgramName(const char* commandLine);
