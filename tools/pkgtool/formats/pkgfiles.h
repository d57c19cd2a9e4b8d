// Finding a package's files as Windows would: names without regard to case.
#pragma once
#include <string>

namespace pkgcheck {

// The path of dir's entry whose name equals name without regard to case,
// or "" when there is none. When several match (possible only on the
// author's own file system), the first in name order is taken and
// *ambiguous is set.
std::string FindNoCase(const std::string& dir, const std::string& name, bool* ambiguous = nullptr);

// A Windows path below dir ("\NT40\README.TXT" or "NT40\README.TXT"),
// each part matched without regard to case; "" when any part is missing.
std::string FindWindowsPath(const std::string& dir, const std::string& windowsPath);
// The same, when it names a file rather than a folder; else "".
std::string FindWindowsFile(const std::string& dir, const std::string& windowsPath);

// At most maxBytes of a file's bytes; "" when it cannot be read.
std::string ReadFileStart(const std::string& path, size_t maxBytes);

} // namespace pkgcheck
