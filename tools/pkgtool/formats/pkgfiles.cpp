#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/formats/inifile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace pkgcheck {

std::string FindNoCase(const std::string& dir, const std::string& name, bool* ambiguous) {
    std::vector<std::string> matches;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        // Named in UTF-8 on the author's disk, or in the very bytes the script writes.
        if (SameName(TargetName(it->path().filename().string()), name) || SameName(it->path().filename().string(), name))
            matches.push_back(it->path().string());
    std::sort(matches.begin(), matches.end());
    if (ambiguous) *ambiguous = matches.size() > 1;
    return matches.empty() ? std::string() : matches.front();
}

std::string FindWindowsPath(const std::string& dir, const std::string& windowsPath) {
    std::string at = dir;
    size_t pos = 0;
    while (pos <= windowsPath.size()) {
        size_t end = FindChar(windowsPath, '\\', pos);
        if (end == std::string::npos) end = windowsPath.size();
        std::string part = windowsPath.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") continue;
        at = FindNoCase(at, part);
        if (at.empty()) return at;
    }
    return at;
}

std::string ReadFileStart(const std::string& path, size_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    char buf[65536];
    while (bytes.size() < maxBytes && in.read(buf, std::streamsize(std::min(sizeof buf, maxBytes - bytes.size()))).gcount() > 0)
        bytes.append(buf, size_t(in.gcount()));
    return bytes;
}

std::string FindWindowsFile(const std::string& dir, const std::string& windowsPath) {
    const std::string path = FindWindowsPath(dir, windowsPath);
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec) ? path : std::string();
}

} // namespace pkgcheck
