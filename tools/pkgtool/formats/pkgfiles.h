// Finding a package's files as Windows would: names without regard to case.
#pragma once
#include "tools/pkgtool/check/check.h"

#include <functional>
#include <string>
#include <vector>

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

// At most maxBytes of a file's bytes; "" when it cannot be read. Only a
// regular file is read: a FIFO or a device is never opened for reading.
std::string ReadFileStart(const std::string& path, size_t maxBytes);
// The same; false when it is no regular file or cannot be opened.
bool ReadRegularFile(const std::string& path, size_t maxBytes, std::string& bytes);

// An entry of the package as the disc holds it and the check reads it.
struct PackageEntry {
    std::string path;   // below the root, '/'-separated, as on this disk
    std::string source; // what is read: the entry or, for a link, what it leads to
    bool dir = false;
    int depth = 0;      // 0 for the root's own entries
};

// The tree below root, each folder before what it holds, a folder's
// entries in name order. A link that leads to a file or folder inside root
// is followed, and what it leads to is read under the link's name; left
// out, each with a finding: a link that leads out of root or to a folder
// that holds it (a loop), errors since the folder shows what the disc would
// lack; a link to nothing, a FIFO, a device or a socket, a warning, as the
// folder lacks that file too; what cannot be read, an error. Nothing below
// a folder for which descend says false is read; past kMaxPackageEntries
// the walk stops with an error.
constexpr size_t kMaxPackageEntries = 100000;
std::vector<PackageEntry> ReadPackageTree(const std::string& root, std::vector<Finding>& out,
                                          const std::function<bool(const PackageEntry&)>& descend = nullptr);

} // namespace pkgcheck
