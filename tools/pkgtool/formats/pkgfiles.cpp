#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/formats/inifile.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
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

bool ReadRegularFile(const std::string& path, size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // O_NONBLOCK: opening a FIFO waits for a writer; fstat then turns it away.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[65536];
    ssize_t got = 0;
    while (bytes.size() < maxBytes && (got = ::read(fd, buf, std::min(sizeof buf, maxBytes - bytes.size()))) > 0)
        bytes.append(buf, size_t(got));
    ::close(fd);
    return got >= 0;
}

std::string ReadFileStart(const std::string& path, size_t maxBytes) {
    std::string bytes;
    ReadRegularFile(path, maxBytes, bytes);
    return bytes;
}

namespace {

std::string Windows(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "\\" + path;
}

// What neither a file nor a folder is, for the finding.
const char* NodeKind(fs::file_type t) {
    switch (t) {
    case fs::file_type::fifo: return "a FIFO";
    case fs::file_type::block: return "a block device";
    case fs::file_type::character: return "a character device";
    case fs::file_type::socket: return "a socket";
    default: return "neither a file nor a folder";
    }
}

class TreeWalk {
public:
    TreeWalk(const std::string& root, std::vector<Finding>& out, const std::function<bool(const PackageEntry&)>& descend)
        : given_(root), out_(out), descend_(descend) {
        std::error_code ec;
        root_ = fs::canonical(root, ec);
        if (ec) root_ = fs::absolute(root, ec);
    }

    void Walk() { Walk(root_, "", 0); }

    std::vector<PackageEntry> entries_;

private:
    // An entry of a folder as this disk has it.
    struct Child {
        std::string name;
        bool link = false;
        std::string linkText; // what the link says
        fs::path real;        // what it is or leads to, as it really is; "" for nothing
        fs::file_type type = fs::file_type::none;
        bool readable = true;
    };
    struct Listing {
        std::vector<Child> children; // in name order
        std::string error;
    };

    // Each folder is read from the disk once, however many links lead to it.
    const Listing& List(const fs::path& dir) {
        if (auto it = listings_.find(dir); it != listings_.end()) return it->second;
        Listing& l = listings_[dir];
        std::error_code ec;
        std::vector<fs::path> names;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) names.push_back(it->path());
        if (ec) {
            l.error = ec.message();
            return l;
        }
        std::sort(names.begin(), names.end());
        for (const fs::path& p : names) {
            Child c;
            c.name = p.filename().string();
            c.real = p;
            if (fs::is_symlink(fs::symlink_status(p, ec))) {
                c.link = true;
                c.linkText = fs::read_symlink(p, ec).string();
                c.real = fs::canonical(p, ec);
                if (ec) c.real.clear();
            }
            if (!c.real.empty()) {
                c.type = fs::status(c.real, ec).type(); // stat only: a FIFO is never opened
                c.readable = c.type != fs::file_type::regular || ::access(c.real.c_str(), R_OK) == 0;
            }
            l.children.push_back(std::move(c));
        }
        return l;
    }

    std::string Shown(const std::string& path) const { return path.empty() ? given_ : (fs::path(given_) / path).string(); }

    // Each entry once, though links may show it at several places.
    void Report(const fs::path& at, const Finding& f) {
        if (reported_.insert(at.string() + "\n" + f.code).second) out_.push_back(f);
    }

    void Walk(const fs::path& dir, const std::string& below, int depth) {
        const Listing& l = List(dir);
        if (!l.error.empty()) {
            Report(dir, {Shown(below), 0, "error", "disc-unreadable",
                         "the folder cannot be read (" + l.error + "), so the disc cannot be made: give it read "
                         "and search permission",
                         "", "give it read and search permission"});
            return;
        }
        chain_.push_back(dir);
        for (const Child& c : l.children) {
            if (entries_.size() >= kMaxPackageEntries) {
                if (!full_)
                    out_.push_back({given_, 0, "error", "disc-too-many-entries",
                                    "the folder holds more than " + std::to_string(kMaxPackageEntries) +
                                        " files and folders (each link to a folder counts all it leads to "
                                        "again); pkgtool reads no further, so no disc is made of it: remove the "
                                        "links and files the package does not need",
                                    "", "remove the links and files the package does not need"});
                full_ = true;
                break;
            }
            Add(c, dir / c.name, below.empty() ? c.name : below + "/" + c.name, depth);
        }
        chain_.pop_back();
    }

    void Add(const Child& c, const fs::path& at, const std::string& path, int depth) {
        const std::string shown = Shown(path);
        if (c.link) {
            // ISO 9660 and Joliet hold no links, so the disc holds what the
            // link leads to, once, as long as that is in the package.
            if (c.real.empty()) {
                Report(at, {shown, 0, "warning", "disc-not-a-file",
                            Windows(path) + ": a link to nothing (" + c.linkText +
                                "): a CD holds only files and folders, so it is left out; remove the link",
                            "", "remove the link"});
                return;
            }
            const fs::path inside = c.real.lexically_relative(root_);
            if (inside.empty() || *inside.begin() == "..") {
                Report(at, {shown, 0, "error", "disc-link-outside",
                            Windows(path) + ": a link to " + c.real.string() + ", outside the folder: a disc holds "
                            "no links and pkgtool copies nothing from outside the package, so it is left out, and "
                            "the disc would lack what this folder shows; copy what it leads to into the package",
                            "", "copy what it leads to into the package"});
                return;
            }
            if (std::find(chain_.begin(), chain_.end(), c.real) != chain_.end()) {
                Report(at, {shown, 0, "error", "disc-link-loop",
                            Windows(path) + ": a link to " +
                                (inside == "." ? std::string("the root") : Windows(inside.generic_string())) +
                                ", which holds the link: a disc holds no links and cannot hold a loop, so it is "
                                "left out, and the disc would lack what this folder shows through it; remove the "
                                "link",
                            "", "remove the link"});
                return;
            }
        }
        if (c.type == fs::file_type::directory) {
            entries_.push_back({path, c.real.string(), true, depth});
            if (!descend_ || descend_(entries_.back())) Walk(c.real, path, depth + 1);
        } else if (c.type == fs::file_type::regular) {
            if (c.readable)
                entries_.push_back({path, c.real.string(), false, depth});
            else
                Report(at, {shown, 0, "error", "disc-unreadable", "the file cannot be read, so the disc cannot be made: give it read permission",
                            "", "give it read permission"});
        } else {
            Report(at, {shown, 0, "warning", "disc-not-a-file",
                        Windows(path) + ": " + NodeKind(c.type) + (c.link ? " (where the link leads)" : "") +
                            ": a CD holds only files and folders, so it is left out; remove it from the package",
                        "", "remove it from the package"});
        }
    }

    std::string given_;
    fs::path root_;
    std::vector<Finding>& out_;
    const std::function<bool(const PackageEntry&)>& descend_;
    std::map<fs::path, Listing> listings_;
    std::vector<fs::path> chain_; // the folders being read, as they really are
    std::set<std::string> reported_;
    bool full_ = false;
};

} // namespace

std::vector<PackageEntry> ReadPackageTree(const std::string& root, std::vector<Finding>& out,
                                          const std::function<bool(const PackageEntry&)>& descend) {
    TreeWalk walk(root, out, descend);
    walk.Walk();
    return std::move(walk.entries_);
}

std::string FindWindowsFile(const std::string& dir, const std::string& windowsPath) {
    const std::string path = FindWindowsPath(dir, windowsPath);
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec) ? path : std::string();
}

} // namespace pkgcheck
