// pkgtool cd's checks before an image is written: each row a small disc
// laid out in a temporary folder, expecting exactly the findings of the
// disc's names, paths and programs (file name, line, severity, code).
// Notes count only in rows that expect one. The image itself, its bytes
// and its names as other readers see them are the tool tier's
// (tests/tool/cd_test.py).
#include "tools/pkgtool/disc/disc.h"
#include "tools/pkgtool/disc/names.h"
#include "tools/pkgtool/formats/pkgfiles.h"
#include "tools/pkgtool/report/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Disc {
    const char* name;
    // Path ('/' ends a folder) and text; a text "->TARGET" makes a link,
    // "|fifo" a FIFO and "|null" a device node like /dev/null.
    std::vector<std::pair<std::string, std::string>> files;
    bool autorun;                                            // --autorun
    std::vector<std::string> expected;                       // "NAME:LINE severity code"
};

const char kScript[] = "[Application]\nW98=DetectCard,Install,End\n[SubDir]\nW98=\\WIN95\n"
                       "[DetectCard]\n1=4660,22136,PCI,1,0\n[Message]\nNotSupport=n\n";

// Lays the disc's files out below root; false when it cannot (a device
// node needs root).
bool LayOut(const fs::path& root, const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& f : files) {
        const fs::path at = root / f.first;
        fs::create_directories(f.first.back() == '/' ? at : at.parent_path());
        if (f.first.back() == '/') continue;
        if (f.second.compare(0, 2, "->") == 0)
            fs::create_symlink(f.second.substr(2), at);
        else if (f.second == "|fifo")
            EXPECT_EQ(0, mkfifo(at.c_str(), 0644)) << at;
        else if (f.second == "|null" && mknod(at.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            return false;
        else if (f.second[0] != '|')
            std::ofstream(at, std::ios::binary) << f.second;
    }
    return true;
}

std::vector<std::string> Findings(const Disc& d) {
    const fs::path root = fs::temp_directory_path() / ("disc-" + std::string(d.name) + "-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    if (!LayOut(root, d.files)) {
        fprintf(stderr, "disc %s left untried: a device node needs root\n", d.name);
        fs::remove_all(root);
        std::vector<std::string> want = d.expected;
        std::sort(want.begin(), want.end());
        return want;
    }
    std::vector<Finding> out;
    const std::string autorun = d.autorun ? pkgdisc::MakeAutoRun(root.string(), out) : "";
    const std::vector<pkgdisc::Entry> entries = pkgdisc::ReadTree(root.string(), out);
    const pkgdisc::References refs = pkgdisc::ReadReferences(root.string(), autorun, out);
    pkgdisc::CheckNames(entries, refs.named, out);
    fs::remove_all(root);
    bool notes = false;
    for (const std::string& w : d.expected) notes = notes || w.find(" note ") != std::string::npos;
    std::vector<std::string> got;
    for (const Finding& f : out)
        if (f.severity != "note" || notes)
            got.push_back(fs::path(f.file).filename().string() + ":" + std::to_string(f.line) + " " + f.severity +
                          " " + f.code);
    std::sort(got.begin(), got.end());
    return got;
}

const std::string kLong = std::string(61, 'L') + ".TXT"; // 65 characters

// The least that passes for a 16-bit Windows program: an MZ header whose
// offset at 0x3C points to an NE header.
std::string Program(const std::string& kind) {
    std::string p = "MZ" + std::string(0x3A, '\0') + std::string("\x40\0\0\0", 4) + kind;
    return p + std::string(16, '\0');
}
const std::string kHelper = Program("NE");

TEST(Disc, NamesPathsAndPrograms) {
    const std::vector<std::pair<std::string, std::string>> package = {
        {"SETUP.INI", kScript}, {"setup.exe", "x"}, {"fitter16.exe", kHelper}, {"WIN95/DRIVER.INF", "x"}};
    auto with = [&](std::vector<std::pair<std::string, std::string>> more) {
        more.insert(more.begin(), package.begin(), package.end());
        return more;
    };
    const std::string deep = "A/B/C/D/E/F/G/H/";
    // Each folder with seven links to the next: 7^6 folders below L0.
    std::vector<std::pair<std::string, std::string>> multiplying = {{"L6/", ""}};
    for (int k = 0; k < 6; ++k)
        for (const char* link : {"/a", "/b", "/c", "/d", "/e", "/f", "/g"})
            multiplying.push_back({"L" + std::to_string(k) + link, "->../L" + std::to_string(k + 1)});
    const std::string far = std::string(60, 'D') + "/" + std::string(59, 'E') + "/";
    std::vector<Disc> discs = {
        {"clean", package, true, {}},
        {"read-only-note", package, true, {"SETUP.INI:4 note disc-read-only"}},
        // Named by a script: errors; elsewhere warnings.
        {"chars", with({{"DOCS/a;b?.txt", "x"}}), true, {"a;b?.txt:0 warning disc-name-chars"}},
        {"long-unnamed", with({{kLong, "x"}}), true, {kLong + ":0 warning disc-name-long"}},
        {"long-subdir", {{"SETUP.INI", "[Application]\nW98=Install\n[SubDir]\nW98=\\" + kLong + "\n"},
                         {"setup.exe", "x"}, {"fitter16.exe", kHelper}, {kLong + "/", ""}},
         true, {kLong + ":0 error disc-name-long"}},
        {"clash-unnamed", with({{"readme.txt", "x"}, {"README.TXT", "x"}}), true,
         {"README.TXT:0 warning disc-name-clash"}},
        {"clash-named", with({{"win95/", ""}}), true, {"WIN95:0 error disc-name-clash"}},
        {"clash-after-cut", with({{std::string(64, 'A') + "1", "x"}, {std::string(64, 'A') + "2", "x"}}), true,
         {std::string(64, 'A') + "1:0 warning disc-name-clash", std::string(64, 'A') + "1:0 warning disc-name-long",
          std::string(64, 'A') + "2:0 warning disc-name-long"}},
        // Level 9 leaves ISO 9660; Windows reads it through Joliet.
        {"deep", with({{deep + "x.txt", "x"}}), true, {"H:0 warning disc-too-deep"}},
        {"deep-level-8-is-fine", with({{"A/B/C/D/E/F/G/x.txt", "x"}}), true, {}},
        {"path-long", with({{far + "f.txt", "x"}}), true, {std::string(59, 'E') + ":0 warning disc-path-long"}},
        // The programs the disc needs.
        {"no-helper", {{"SETUP.INI", kScript}, {"setup.exe", "x"}, {"WIN95/", ""}}, true,
         {"SETUP.INI:2 error disc-helper-missing"}},
        {"no-setup", {{"SETUP.INI", kScript}, {"fitter16.exe", kHelper}, {"WIN95/", ""}}, true,
         {"AUTORUN.INF:0 error disc-program-missing"}},
        // A helper that Windows cannot start: text, a DOS program; a 32-bit one starts.
        {"helper-text", {{"SETUP.INI", kScript}, {"setup.exe", "x"}, {"fitter16.exe", "not a program"}, {"WIN95/", ""}},
         true, {"fitter16.exe:0 warning disc-helper-not-windows"}},
        {"helper-dos", {{"SETUP.INI", kScript}, {"setup.exe", "x"}, {"fitter16.exe", Program("\xB8\x4C")}, {"WIN95/", ""}},
         true, {"fitter16.exe:0 warning disc-helper-not-windows"}},
        {"helper-pe", {{"SETUP.INI", kScript}, {"setup.exe", "x"}, {"fitter16.exe", Program(std::string("PE\0\0", 4))},
                       {"WIN95/", ""}}, true, {}},
        {"open-lacks-setup", with({{"AUTORUN.INF", "[autorun]\nopen=CD\\SETUP.EXE \\CD\n"}, {"CD/SETUP.INI", kScript}}),
         false, {"AUTORUN.INF:2 error disc-program-missing"}},
        {"sequor-needs-setup", with({{"sequor95.ini", "[ProcessList]\n1=[CWD]\\setup.exe,[CWD]\n2=[CWD]\\Sequor.exe,null\n"}}),
         true, {"sequor95.ini:3 error disc-program-missing"}},
        {"two-packages", {{"A/SETUP.INI", kScript}, {"B/SETUP.INI", kScript}}, true,
         {"AUTORUN.INF:0 error autorun-no-package"}},
        // Links are followed inside the package; what a disc cannot hold is left out.
        {"link-folder", with({{"WIN98", "->WIN95"}}), true, {}},
        {"link-file", with({{"README.TXT", "x"}, {"WIN95/README.TXT", "->../README.TXT"}}), true, {}},
        {"link-loop", with({{"WIN95/self", "->."}}), true, {"self:0 error disc-link-loop"}},
        {"link-loop-root", with({{"WIN95/up", "->.."}}), true, {"up:0 error disc-link-loop"}},
        {"link-loop-two", with({{"A/b", "->../B"}, {"B/a", "->../A"}}), true,
         {"a:0 error disc-link-loop", "b:0 error disc-link-loop"}},
        {"link-outside", with({{"ETC", "->/etc"}}), true, {"ETC:0 error disc-link-outside"}},
        {"link-to-device", with({{"NUL", "->/dev/null"}}), true, {"NUL:0 error disc-link-outside"}},
        {"link-dangling", with({{"WIN95/GONE.DRV", "->nowhere"}}), true, {"GONE.DRV:0 warning disc-not-a-file"}},
        {"link-to-itself", with({{"SELF", "->SELF"}}), true, {"SELF:0 warning disc-not-a-file"}},
        {"fifo", with({{"WIN95/PIPE.INF", "|fifo"}}), true, {"PIPE.INF:0 warning disc-not-a-file"}},
        {"fifo-script", {{"SETUP.INI", "|fifo"}, {"setup.exe", "x"}, {"fitter16.exe", "x"}}, true,
         {"SETUP.INI:0 warning disc-not-a-file"}},
        {"device", with({{"WIN95/NULL", "|null"}}), true, {"NULL:0 warning disc-not-a-file"}},
        {"link-multiplying", with(multiplying), true, {"disc-link-multiplying-" + std::to_string(getpid()) + ":0 error disc-too-many-entries"}},
    };
    for (const Disc& d : discs) {
        std::vector<std::string> want = d.expected;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(want, Findings(d)) << "disc " << d.name;
    }
}

// The example package with one odd entry, through the whole of pkgtool cd
// (the image written by libisofs) and through check: both end with the
// same finding and status, and a link that is followed puts what it leads
// to on the disc under its own name.
TEST(Disc, OddEntriesThroughCdAndCheck) {
    struct Row {
        std::string path, text; // as Disc::files
        std::string code;       // "" for none
        int status;
        std::string joliet;     // a name the image holds (UCS-2, as Joliet records it); "" for none
    } rows[] = {
        {"WIN98", "->WIN95", "", 0, std::string("\0W\0I\0N\0009\08", 10)},
        {"WIN95/self", "->.", "disc-link-loop", 1, ""},
        {"WIN95/up", "->..", "disc-link-loop", 1, ""},
        {"DRIVERS", "->/etc", "disc-link-outside", 1, ""},
        {"NT40/EXAMPLE.SYS", "->/dev/zero", "disc-link-outside", 1, ""},
        {"WIN95/GONE.DRV", "->nowhere", "disc-not-a-file", 0, ""},
        {"WIN95/PIPE.INF", "|fifo", "disc-not-a-file", 0, ""},
        {"sequor95.ini", "|fifo", "disc-not-a-file", 1, ""},
        {"WIN95/NULL", "|null", "disc-not-a-file", 0, ""},
    };
    for (const Row& r : rows) {
        const fs::path root = fs::temp_directory_path() / ("odd-" + std::to_string(getpid())), iso = root.string() + ".iso";
        fs::remove_all(root);
        fs::copy(EXAMPLE_PACKAGE_DIR, root, fs::copy_options::recursive);
        fs::remove(root / r.path);
        if (!LayOut(root, {{"setup.exe", "x"}, {"fitter16.exe", "x"}, {r.path, r.text}})) {
            fprintf(stderr, "%s left untried: a device node needs root\n", r.path.c_str());
            fs::remove_all(root);
            continue;
        }
        testing::internal::CaptureStdout();
        const int status = pkgdisc::CdCommand({root.string(), "-o", iso.string(), "--json"});
        const std::string json = testing::internal::GetCapturedStdout();
        EXPECT_EQ(r.status, status) << r.path << ": " << json;
        EXPECT_EQ(status == 0, fs::is_regular_file(iso)) << r.path;
        if (!r.code.empty()) EXPECT_NE(std::string::npos, json.find("\"" + r.code + "\"")) << r.path << ": " << json;
        if (!r.joliet.empty())
            EXPECT_NE(std::string::npos, pkgcheck::ReadFileStart(iso.string(), 1 << 20).find(r.joliet)) << r.path;
        const std::vector<Finding> checked = CheckPackage(root.string());
        EXPECT_EQ(r.status, FindingsExitStatus(checked)) << r.path;
        EXPECT_EQ(!r.code.empty(), std::any_of(checked.begin(), checked.end(), [&](const Finding& f) {
            return f.code == r.code;
        })) << r.path;
        fs::remove(iso);
        fs::remove_all(root);
    }
}

// The AUTORUN.INF --autorun writes, by where the package and its setup.exe are.
TEST(Disc, AutoRunItWrites) {
    struct Row {
        std::vector<std::string> files;
        std::string open;
    } rows[] = {
        {{"SETUP.INI", "setup.exe"}, "setup.exe"},
        {{"DRIVERS/SETUP.INI", "DRIVERS/SETUP.EXE"}, "DRIVERS\\SETUP.EXE \\DRIVERS"},
        {{"DRIVERS/SETUP.INI", "setup.exe"}, "setup.exe \\DRIVERS"},
        {{"My Drivers/SETUP.INI", "My Drivers/setup.exe"}, "\"My Drivers\\setup.exe\" \\My Drivers"},
    };
    for (const Row& r : rows) {
        const fs::path root = fs::temp_directory_path() / ("autorun-" + std::to_string(getpid()));
        fs::remove_all(root);
        for (const std::string& f : r.files) {
            fs::create_directories((root / f).parent_path());
            std::ofstream(root / f) << "[Application]\n";
        }
        std::vector<Finding> out;
        EXPECT_EQ("[autorun]\r\nopen=" + r.open + "\r\n", pkgdisc::MakeAutoRun(root.string(), out)) << r.files[0];
        EXPECT_TRUE(out.empty()) << r.files[0];
        fs::remove_all(root);
    }
}

TEST(Disc, Labels) {
    EXPECT_EQ("", pkgdisc::LabelProblem("EXAMPLE_98"));
    EXPECT_NE("", pkgdisc::LabelProblem("EXAMPLE_DISC"));  // 12 characters
    EXPECT_NE("", pkgdisc::LabelProblem("Example"));       // small letters
    EXPECT_NE("", pkgdisc::LabelProblem(""));
    EXPECT_EQ("MY_DRIVERS_", pkgdisc::LabelFromName("my drivers-2000"));
    EXPECT_EQ("CDROM", pkgdisc::LabelFromName(""));
}

// What Joliet refuses and how long a name is, in UCS-2 characters.
TEST(Disc, JolietCharacters) {
    EXPECT_EQ("", pkgdisc::JolietRefused("Readme file (1).txt"));
    EXPECT_EQ(":;", pkgdisc::JolietRefused("a:b;c:d"));
    EXPECT_EQ("^A", pkgdisc::JolietRefused("a\x01"));
    EXPECT_EQ("\xEF\xBF\xBD", pkgdisc::JolietRefused("bad\xFF" "byte"));
    EXPECT_EQ("\xEF\xBF\xBD", pkgdisc::JolietRefused("emoji \xF0\x9F\x98\x80"));  // beyond UCS-2
    EXPECT_EQ("", pkgdisc::JolietRefused("\xE8\xA1\xA8"));                         // 表
    EXPECT_EQ(3u, pkgdisc::Ucs2Length("\xE8\xA1\xA8xy"));
    EXPECT_EQ(pkgdisc::SameNameKey("README.TXT"), pkgdisc::SameNameKey("readme.txt"));
    EXPECT_EQ(pkgdisc::SameNameKey("a_b"), pkgdisc::SameNameKey("a:b"));
}

} // namespace
