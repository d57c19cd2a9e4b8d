// What goes on the disc, and its names against the rules of names.h.
#include "tools/pkgtool/disc/disc.h"
#include "tools/pkgtool/disc/names.h"
#include "tools/pkgtool/formats/pkgfiles.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace pkgdisc {
namespace {

// A path below the root as Joliet counts it: a backslash before each name.
size_t JolietPathLength(const std::string& path) {
    size_t n = 0, start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        n += 1 + Ucs2Length(path.substr(start, slash - start));
        if (slash == std::string::npos) return n;
        start = slash + 1;
    }
}

std::string Windows(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "\\" + path;
}

} // namespace

std::vector<Entry> ReadTree(const std::string& root, std::vector<Finding>& out) {
    std::vector<Entry> entries;
    // Past what Joliet can reach nothing deeper is read: CheckNames reports
    // the folder.
    for (const pkgcheck::PackageEntry& e : pkgcheck::ReadPackageTree(
             root, out, [](const pkgcheck::PackageEntry& d) { return JolietPathLength(PathOnDisc(d.path)) <= kJolietPathMax; }))
        // Named as the disc names it, not by this disk's bytes.
        entries.push_back({PathOnDisc(e.path), e.source, e.dir, e.depth + 1});
    return entries;
}

void CheckNames(const std::vector<Entry>& entries, const Named& named, std::vector<Finding>& out) {
    // The naming of a path or of anything below it: a script that names
    // WIN95\EXAMPLE.INF needs the folder WIN95 too.
    auto naming = [&](const std::string& path) -> const Naming* {
        for (auto it = named.lower_bound(path); it != named.end() && it->first.compare(0, path.size(), path) == 0; ++it)
            if (it->first.size() == path.size() || it->first[path.size()] == '/') return &it->second;
        return nullptr;
    };
    // A warning, or an error where a script names the path.
    auto add = [&](Finding f, const Naming* by) {
        if (by) {
            f.severity = "error";
            // The line that names it changes with it.
            const std::string line = "; " + fs::path(by->file).filename().string() + ":" +
                                     std::to_string(by->line) + " (" + by->what + ") names it";
            f.message += line;
            f.fix += line;
        }
        out.push_back(f);
    };
    std::map<std::pair<std::string, std::string>, std::vector<const Entry*>> keys;
    // Folders left out of the Joliet tree (nothing below them is on the
    // disc for Windows) and out of the ISO 9660 tree (Joliet still has them).
    std::set<std::string> jolietGone, isoGone;
    for (const Entry& e : entries) {
        const size_t slash = e.path.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : e.path.substr(0, slash);
        const std::string name = e.path.substr(slash == std::string::npos ? 0 : slash + 1);
        if (jolietGone.count(parent)) {
            if (e.dir) jolietGone.insert(e.path);
            continue;
        }
        const Naming* by = naming(e.path);
        keys[{parent, SameNameKey(name)}].push_back(&e);
        if (const std::string bad = JolietRefused(name); !bad.empty())
            add({e.source, 0, "warning", "disc-name-chars",
                 Windows(e.path) + ": the name holds " + bad + ", which Joliet refuses (it allows no "
                 "control characters and none of * / : ; ? \\, and only UCS-2); the disc shows _ in their place: "
                 "rename it without them, and the lines that name it",
                 "", "rename it without them, and the lines that name it"},
                by);
        if (const size_t n = Ucs2Length(name); n > kJolietNameMax)
            add({e.source, 0, "warning", "disc-name-long",
                 Windows(e.path) + ": the name has " + std::to_string(n) +
                     " characters; Joliet keeps 64, so Windows sees it cut: rename it to 64 characters or fewer, "
                     "and the lines that name it",
                 "", "rename it to 64 characters or fewer, and the lines that name it"},
                by);
        if (const size_t n = JolietPathLength(e.path); n > kJolietPathMax) {
            add({e.source, 0, "warning", "disc-path-long",
                 Windows(e.path) + ": the path has " + std::to_string(n) +
                     " characters; Joliet keeps 240 bytes (120 characters), so the " +
                     (e.dir ? "folder and all it holds are" : "file is") +
                     " left out of the Joliet tree, which is what Windows 95, 98 and NT 4.0 read: shorten the names "
                     "of its folders",
                 "", "shorten the names of its folders"},
                by);
            if (e.dir) jolietGone.insert(e.path);
        }
        // A folder whose own level would be 9: libisofs leaves it out of
        // the ISO 9660 tree with all it holds.
        if (isoGone.count(parent)) {
            if (e.dir) isoGone.insert(e.path);
        } else if (e.dir && e.level >= kIsoLevelsMax) {
            out.push_back({e.source, 0, "warning", "disc-too-deep",
                           Windows(e.path) + ": ISO 9660 holds 8 levels of folders, the root being the first, so a "
                           "reader without Joliet does not see this folder and what it holds; Windows 95, 98 and "
                           "NT 4.0 read it through Joliet: move it up a level if other readers matter",
                           "", "move it up a level if other readers matter"});
            isoGone.insert(e.path);
        }
    }
    for (const auto& k : keys) {
        if (k.second.size() < 2) continue;
        const Naming* by = nullptr;
        std::string list;
        for (const Entry* e : k.second) {
            by = by ? by : naming(e->path);
            list += (list.empty() ? "" : ", ") + Windows(e->path);
        }
        add({k.second.front()->source, 0, "warning", "disc-name-clash",
             list + " become one name as Windows reads the disc (Joliet keeps 64 characters, refused characters "
                    "become _, and Windows matches names without regard to case): only one of them can be opened; "
                    "rename all but one",
             "", "rename all but one"},
            by);
    }
}

} // namespace pkgdisc
