// The package checker: for each pitfall a small package written to a
// temporary directory, expecting exactly the findings (file, line, severity,
// code) it should give, so that both missed pitfalls and false alarms fail.
// Notes (what could not be checked) count only in rows that expect one,
// and a script without a driver's INF (driver-no-inf) only in rows about the driver.
// Also the example package, which must give none, and the two report forms.
// The wording of the messages is not pinned down beyond a few key phrases.
#include "tools/pkgtool/check/check.h"
#include "tools/pkgtool/check/checkers.h"
#include "simwin/programs.h"
#include "tests/support/run.h"
#include "tools/pkgtool/formats/inffile.h"
#include "tools/pkgtool/formats/infinstall.h"
#include "tools/pkgtool/report/report.h"
#include "tools/pkgtool/check/suggest.h"
#include "tools/pkgtool/report/json.h"
#include "tools/pkgtool/report/reference.h"

#include "tests/unit/schema.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Package {
    const char* name;
    const char* setup;  // SETUP.INI, or null
    const char* sequor; // sequor95.ini, or null
    std::vector<std::string> paths; // folders and files to create besides ("NT40/", "README.TXT")
    std::vector<std::string> expected; // "SETUP.INI:LINE severity code", in any order
    std::vector<std::pair<std::string, std::string>> files; // further files and their text
};

class TempDir {
public:
    explicit TempDir(const std::string& name) {
        path_ = fs::temp_directory_path() / ("pkgcheck-" + name + "-" + std::to_string(::getpid()));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string Write(const std::string& name, const std::string& text) const {
        if (!name.empty() && name.back() == '/') {
            fs::create_directories(path_ / name);
        } else {
            std::ofstream(path_ / name, std::ios::binary) << text;
        }
        return (path_ / name).string();
    }
    std::string Path() const { return path_.string(); }

private:
    fs::path path_;
};

std::string Describe(const Finding& f) {
    return fs::path(f.file).filename().string() + ":" + std::to_string(f.line) + " " + f.severity + " " + f.code;
}

std::vector<Finding> Check(const Package& p, const TempDir& dir) {
    if (p.setup) dir.Write("SETUP.INI", p.setup);
    if (p.sequor) dir.Write("sequor95.ini", p.sequor);
    for (const std::string& path : p.paths) dir.Write(path, "x");
    for (const auto& file : p.files) dir.Write(file.first, file.second);
    return CheckPackage(dir.Path());
}

void ExpectFindings(const std::vector<Package>& packages) {
    for (const Package& p : packages) {
        TempDir dir(p.name);
        std::vector<Finding> findings = Check(p, dir);
        std::vector<std::string> got, want = p.expected;
        std::string all;
        bool notes = false, driver = false;
        for (const std::string& w : want) notes = notes || w.find(" note ") != std::string::npos;
        for (const std::string& w : want) driver = driver || w.find(" driver-") != std::string::npos;
        for (const Finding& f : findings) {
            if (f.severity == "note" && !notes) continue;
            if (f.code == "driver-no-inf" && !driver) continue;
            got.push_back(Describe(f));
            all += "\n  " + Describe(f) + ": " + f.message;
            // Advice of its own, as the message ends with it: never the reference's example.
            if (f.severity != "note") EXPECT_NE(f.fix, "") << p.name << ": " << Describe(f) << ": " << f.message;
            EXPECT_TRUE(f.message.size() >= f.fix.size() &&
                        f.message.compare(f.message.size() - f.fix.size(), f.fix.size(), f.fix) == 0)
                << p.name << ": " << Describe(f) << ": " << f.message << "\n  fix: " << f.fix;
            if (!f.fix.empty())
                EXPECT_EQ(ReferenceEntry(f.code).find("After:  " + f.fix + "\n"), std::string::npos)
                    << p.name << ": " << Describe(f) << ": " << f.fix;
        }
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(want, got) << "package " << p.name << all;
    }
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

} // namespace

TEST(PkgCheck, CommandLists) {
    ExpectFindings({
        // The reader trims the value, so only a blank after a comma reaches an entry.
        {"unknown", "[Application]\nW98= End2, Exec,Ending,End ,Instal,End\n[Message]\nNotSupport=n\n", nullptr, {},
         {"SETUP.INI:2 error unknown-command", "SETUP.INI:2 error unknown-command", "SETUP.INI:2 error unknown-command",
          "SETUP.INI:2 error unknown-command", "SETUP.INI:2 error unknown-command"}},
        // Prefixes in any case are commands, each naming its own section.
        {"prefixes", "[Application]\nW98=detectcardX,INSTALLnow,end\n[detectcardx]\n1=4660,22136,PCI,1,0\n"
                     "[Message]\nNotSupport=n\nDETECTCARDX=d\n",
         nullptr, {"W98/"}, {}},
        {"unreachable", "[Application]\nW98=End,Exec1\nW95A=ShowMsgHi,End\n[Message]\nNotSupport=n\nShowMsgHi=hi\n",
         nullptr, {},
         {"SETUP.INI:2 error unreachable-entry", "SETUP.INI:3 error unreachable-entry"}},
        {"order", "[Application]\nW98=CheckPCIKey,End\nWIN95=Install\nNT40=DetectCard,Install,ShowMsgNT\n"
                  "[DetectCard]\n1=4660,22136,PCI,1,0\n[Message]\nNotSupport=n\nCheckPCIKey=c\nDetectCard=d\n"
                  "ShowMsgNT=nt\n",
         nullptr, {},
         {"SETUP.INI:2 error checkpcikey-before-detectcard", "SETUP.INI:3 error install-no-route",
          "SETUP.INI:4 error nt-card-check"}},
        {"helper-without-card", "[Application]\nW95B=Install,DetectCard\n[DetectCard]\n1=4660,22136,PCI,1,0\n"
                                "[Message]\nNotSupport=n\nDetectCard=d\n",
         nullptr, {}, {"SETUP.INI:2 error install-without-detectcard"}},
        {"nt40-silent", "[Application]\nNT40=ShowUSBMsg,Install,End,ShowMsgNT\n[Message]\nNotSupport=n\n"
                        "ShowUSBMsg=u\nShowMsgNT=nt\n",
         nullptr, {},
         {"SETUP.INI:2 error unreachable-entry", "SETUP.INI:2 error nt40-no-message",
          "SETUP.INI:6 warning unused-message"}},
        // A question box after Install keeps messages flowing too.
        {"nt40-question", "[Application]\nNT40=Install,ShowUSBMsg\n[Message]\nNotSupport=n\nShowUSBMsg=u\n", nullptr,
         {}, {}},
        {"messages", "[Application]\nW98=DetectCard,ShowUSBMsg,ShowMsgBye\nW95A=ShowMsgBye\n[DetectCard]\n"
                     "1=4660,22136,PCI,1,0\n[Message]\nDetectCard=d\nShowMsg=wrong key\n",
         nullptr, {},
         {"SETUP.INI:1 warning missing-message", "SETUP.INI:2 warning missing-message",
          "SETUP.INI:2 error missing-message", "SETUP.INI:8 warning unused-message"}},
        {"os-keys", "[Application]\nW95=End\nw98=End\n[Message]\nNotSupport=n\n", nullptr, {},
         {"SETUP.INI:2 warning unknown-os-key"}},
        // Every OS key has a list and none installs without a route: NotSupport is never shown.
        {"no-notsupport", "[Application]\nWIN95=End\nW95A=End\nW95B=End\nW95C=End\nW98=End\nWINNT=End\n"
                          "NT31=End\nNT35X=End\nNT40=End\n",
         nullptr, {}, {}},
    });
}

TEST(PkgCheck, ValuesCutByTheReader) {
    const std::string longList = "[Application]\nW98=End" + Repeat(",", 300) + "Exec\nW95A=End" + Repeat(",", 300) +
                                 "\n[Message]\nNotSupport=" + Repeat("n", 511) + "\nW=" + Repeat("w", 512) + "\n";
    ExpectFindings({
        // W95A loses only commas, which changes nothing; NotSupport fits exactly.
        {"cut", longList.c_str(), nullptr, {},
         {"SETUP.INI:2 error value-cut", "SETUP.INI:6 error value-cut", "SETUP.INI:6 warning unused-message"}},
    });
}

TEST(PkgCheck, DetectCardSections) {
    ExpectFindings({
        {"numbering",
         "[Application]\nW98=DetectCard,DetectCard2,DetectCard3\n[DetectCard]\n1=4660,22136,PCI,1,0\n"
         "3=4660,22137,PCI,1,0\n[DetectCard2]\n2=4660,22136,PCI,1,0\n[Message]\nNotSupport=n\nDetectCard=d\n"
         "DetectCard2=d\nDetectCard3=d\n",
         nullptr, {},
         {"SETUP.INI:5 error numbering-gap", "SETUP.INI:6 error no-entry-1", "SETUP.INI:2 error missing-section"}},
        // The reader takes the first "1", which has no '=' and so reads as empty.
        {"shadowed", "[Application]\nW98=DetectCard\n[DetectCard]\n1\n1=4660,22136,PCI,1,0\n01=4660,22136,PCI,1,0\n"
                     "[Message]\nNotSupport=n\nDetectCard=d\n",
         nullptr, {},
         {"SETUP.INI:3 error no-entry-1", "SETUP.INI:5 warning duplicate-key", "SETUP.INI:6 error key-never-read"}},
        {"fields",
         "[Application]\nW98=DetectCard\n[DetectCard]\n"
         "1=0x1234,22136,PCI,1,0\n"      // 4
         "2=1234,70196,PCI,1,0\n"        // 5
         "3=4660,,AGP,1,0\n"             // 6
         "4=4660,22136, AGP,1,0\n"       // 7
         "5=4660,22137,agp ,1,0\n"       // 8
         "6=4660,22138,AGP, 1,0\n"       // 9
         "7=4660,22139,PCIEXPRESS,1,0\n" // 10
         "8=4660,22140,PCI,1\n"          // 11
         "9=4660\n"                      // 12
         "10=12AB,-1,PCI,1,0\n"          // 13
         "11=4660,22141, PCI,0,0\n"      // 14
         "12=0010, 22136 ,PCI,0,0\n"     // 15
         "[Message]\nNotSupport=n\nDetectCard=d\n",
         nullptr, {},
         {"SETUP.INI:4 error hex-identifier", "SETUP.INI:5 error identifier-range", "SETUP.INI:6 error empty-field",
          "SETUP.INI:6 error bad-identifier", "SETUP.INI:7 error blank-in-field", "SETUP.INI:8 error blank-in-field",
          "SETUP.INI:9 error blank-in-field", "SETUP.INI:10 warning bus-type-too-long",
          "SETUP.INI:11 note card-missing-fields", "SETUP.INI:12 error card-missing-fields", "SETUP.INI:0 note no-inf",
          "SETUP.INI:13 error hex-identifier", "SETUP.INI:13 error identifier-range",
          "SETUP.INI:14 warning blank-in-field", "SETUP.INI:15 warning hex-identifier"}},
        // The first entry whose card is there wins: a card listed as PCI and again as AGP.
        {"duplicate", "[Application]\nW98=DetectCard\n[DetectCard]\n1=4660,22136,PCI,1,0\n2=4660,22137,AGP,1,0\n"
                      "3=4660,22136,AGP,1,0\n[Message]\nNotSupport=n\nDetectCard=d\n",
         nullptr, {}, {"SETUP.INI:6 warning card-duplicate"}},
    });
}

TEST(PkgCheck, SubDirValues) {
    ExpectFindings({
        {"subdir",
         "[Application]\nW98=DetectCard,Install\nW95A=End\nNT40=Install,ShowMsgNT\n[SubDir]\nW98=\\My Driver\n"
         "W95A=WIN95\nNT40=\\NT40\nWINNT=\\NT\nW99=\\X\n[DetectCard]\n1=4660,22136,PCI,1,0\n[Message]\n"
         "NotSupport=n\nDetectCard=d\nShowMsgNT=nt\n",
         nullptr, {"MY DRIVER/"},
         {"SETUP.INI:6 error subdir-blank", "SETUP.INI:7 error subdir-no-backslash",
          "SETUP.INI:8 error subdir-folder-missing", "SETUP.INI:9 warning subdir-never-read",
          "SETUP.INI:10 warning unknown-os-key"}},
        // Folders are found without regard to case; a blank hurts only the helper route.
        {"subdir-ok", "[Application]\nNT40=Install,ShowMsgNT\n[SubDir]\nNT40=\\NT 40\\Drv\n[Message]\nNotSupport=n\n"
                      "ShowMsgNT=nt\n",
         nullptr, {"nt 40/", "nt 40/DRV/"}, {}},
        // A driver folder for W98 but its list under a key no version reads.
        {"subdir-without-list", "[Application]\nWIN98=End\n[SubDir]\nW98=\\WIN95\n[Message]\nNotSupport=n\n", nullptr,
         {"WIN95/"}, {"SETUP.INI:2 warning unknown-os-key", "SETUP.INI:4 error subdir-without-list"}},
        {"subdir-token", "[Application]\nW98=End\n[SubDir]\nW98=\\[cwd]\n[Message]\nNotSupport=n\n", nullptr, {},
         {"SETUP.INI:4 error subdir-token"}},
    });
}

TEST(PkgCheck, ExecSections) {
    ExpectFindings({
        {"exec",
         "[Application]\nW98=Exec1,Exec2,Exec3,Exec4,Exec5,ExecMissing\n[Exec1]\nprogram=[cwd]\\README.TXT,x,[CWD]\n"
         "[Exec2]\nprogram=[CWD]\\README.TXT,,[CWD]\n[Exec3]\nprogram=[CWD]\\README.TXT,x, [CWD]\n[Exec4]\n"
         "program=[CWD]\\DOCS\\NOFILE.TXT,x,[CWD]\n[Exec5]\nprogram=[OS]\\README.TXT\n[Message]\nNotSupport=n\n",
         nullptr, {"readme.txt", "docs/"},
         {"SETUP.INI:4 error token-case", "SETUP.INI:6 error empty-field", "SETUP.INI:8 error blank-in-field",
          "SETUP.INI:10 warning missing-file", "SETUP.INI:12 warning os-token",
          "SETUP.INI:12 warning exec-missing-fields", "SETUP.INI:2 error exec-no-program"}},
        {"exec-ok", "[Application]\nW98=ExecDoc\n[ExecDoc]\nprogram=[CWD]\\Docs\\Read Me.txt,x,[CWD]\\DOCS\n"
                    "[Notes]\na=b\n[Message]\nNotSupport=n\n",
         nullptr, {"DOCS/", "DOCS/READ ME.TXT"}, {"SETUP.INI:5 warning unused-section"}},
    });
}

TEST(PkgCheck, ProcessList) {
    ExpectFindings({
        {"sequor", nullptr,
         "[ProcessList]\n1=\"[CWD]\\a.exe\",[CWD]\n2=[cwd]\\b.exe,null\n3=c.exe\n4=d.exe, null\n5=null,null\n"
         "6=e.exe /x,y,z\n8=f.exe,null\n01=g.exe,null\nName=h\n",
         {"A.EXE"},
         {"sequor95.ini:3 error token-case", "sequor95.ini:4 warning missing-field",
          "sequor95.ini:5 error blank-in-field", "sequor95.ini:6 warning null-command",
          "sequor95.ini:7 warning extra-fields", "sequor95.ini:8 error numbering-gap",
          "sequor95.ini:9 error key-never-read", "sequor95.ini:10 warning key-never-read"}},
        // An empty "2" ends the list as surely as a missing one.
        {"sequor-empty-2", nullptr, "[ProcessList]\n1=a.exe,null\n2=\n3=b.exe,null\n", {},
         {"sequor95.ini:4 error numbering-gap"}},
        {"sequor-no-1", nullptr, "[processlist]\n2=a.exe,null\n", {}, {"sequor95.ini:1 error no-entry-1"}},
        {"sequor-empty", nullptr, "", {}, {"sequor95.ini:0 warning no-entry-1"}},
    });
}

TEST(PkgCheck, FileLayout) {
    ExpectFindings({
        {"layout", "stray=1\n[Application]\nW98=End\nW98=Install\n[Message\nNotSupport=n\n[Application]\nW95A=End\n",
         nullptr, {},
         {"SETUP.INI:1 warning outside-section", "SETUP.INI:2 warning missing-message",
          "SETUP.INI:4 warning duplicate-key", "SETUP.INI:5 error bad-header", "SETUP.INI:5 warning unknown-os-key",
          "SETUP.INI:6 warning unknown-os-key", "SETUP.INI:7 warning duplicate-section"}},
        // CR LF, blank lines and blanks around names keep the line numbers and names right.
        {"crlf", "\r\n[ Application ]\r\n\r\n  W98 = Bogus,End\r\n[Message]\r\nNotSupport=n\r\n", nullptr, {},
         {"SETUP.INI:4 error unknown-command"}},
    });
}

TEST(PkgCheck, PackageFiles) {
    {
        TempDir dir("empty");
        std::vector<Finding> f = CheckPackage(dir.Path());
        ASSERT_EQ(1u, f.size());
        EXPECT_EQ("no-scripts", f[0].code);
        EXPECT_EQ("warning", f[0].severity);
    }
    {
        TempDir dir("lowercase");
        dir.Write("setup.ini", "[Application]\nW98=Bogus\n[Message]\nNotSupport=n\n");
        dir.Write("SEQUOR95.INI", "[ProcessList]\n1=a.exe\n");
        std::vector<Finding> f = CheckPackage(dir.Path());
        ASSERT_EQ(2u, f.size()) << FormatFindingsText(f);
        EXPECT_EQ("missing-field", f[0].code);
        EXPECT_EQ(dir.Path() + "/SEQUOR95.INI", f[0].file);
        EXPECT_EQ("unknown-command", f[1].code);
        EXPECT_EQ(dir.Path() + "/setup.ini", f[1].file);
    }
    std::vector<Finding> f = CheckPackage("/nonexistent/package");
    ASSERT_EQ(1u, f.size());
    EXPECT_EQ("no-package", f[0].code);
}

TEST(PkgCheck, ExamplePackageIsClean) {
    std::vector<Finding> findings = CheckPackage(EXAMPLE_PACKAGE_DIR);
    EXPECT_TRUE(findings.empty()) << FormatFindingsText(findings);
}

TEST(PkgCheck, NearNamesAreSuggested) {
    const std::vector<std::string> keys = {"WIN95", "W95A", "W95B", "W95C", "W98", "WINNT", "NT31", "NT35X", "NT40"};
    const std::vector<std::string> commands = {"DetectCard", "CheckPCIKey", "ShowMsg", "ShowUSBMsg", "Install", "Exec"};
    EXPECT_EQ(pkgcheck::NearestName("WIN98", keys), "W98"); // the version number is seldom the slip
    EXPECT_EQ(pkgcheck::NearestName("W98", keys), "");     // a key needs no suggestion
    EXPECT_EQ(pkgcheck::NearestName("Setup", keys), "");
    EXPECT_EQ(pkgcheck::NearestName("DetectCrad", commands), "DetectCard");
    EXPECT_EQ(pkgcheck::NearestName("instal", commands), "Install");
    EXPECT_EQ(pkgcheck::NearestName(std::string(5000, 'x'), commands), ""); // bounded work on a huge entry
    // Finding codes: their words in another order, a word one slip off.
    const std::vector<std::string> codes = ReferenceCodes();
    EXPECT_EQ(pkgcheck::NearestCodes("driver-missing-file", codes).at(0), "driver-file-missing");
    EXPECT_EQ(pkgcheck::NearestCodes("inf-name-file", codes).at(0), "inf-file-name");
    EXPECT_EQ(pkgcheck::NearestCodes("card-dup", codes).at(0), "card-duplicate");
    EXPECT_TRUE(pkgcheck::NearestCodes("driver-file-missing", codes).empty());
    EXPECT_TRUE(pkgcheck::NearestCodes("xyz", codes).empty());
}

TEST(PkgCheck, Messages) {
    TempDir dir("wording");
    dir.Write("SETUP.INI", "[Application]\nW98=End2, Exec\n[SubDir]\nW98=WIN95\n[Message]\nNotSupport=n\n");
    std::vector<Finding> f = CheckPackage(dir.Path());
    ASSERT_EQ(3u, f.size()) << FormatFindingsText(f);
    EXPECT_NE(std::string::npos, f[0].message.find("End must be the whole entry")) << f[0].message;
    EXPECT_NE(std::string::npos, f[1].message.find("begins with a blank")) << f[1].message;
    EXPECT_NE(std::string::npos, f[2].message.find("D:\\CDWIN95")) << f[2].message;
}

TEST(PkgCheck, Reports) {
    std::vector<Finding> findings = {
        {"pkg/SETUP.INI", 3, "error", "unknown-command", "entry \"End2\" is not End", "", "write End"},
        {"pkg/sequor95.ini", 0, "warning", "no-entry-1", "tab\there, back\\slash, caf\xe9\n", "pkg"},
    };
    EXPECT_EQ("pkg/SETUP.INI:3: error: entry \"End2\" is not End [unknown-command]\n"
              "pkg/sequor95.ini: warning: tab\there, back\\slash, caf\xe9\n [no-entry-1] (package pkg)\n"
              "1 error, 1 warning\n",
              FormatFindingsText(findings));
    EXPECT_EQ("{\"command\": \"check\", \"findings\": [\n"
              "  {\"file\": \"pkg/SETUP.INI\", \"line\": 3, \"severity\": \"error\", \"code\": \"unknown-command\", "
              "\"message\": \"entry \\\"End2\\\" is not End\", \"fix\": \"write End\""
              ", \"package\": null},\n"
              "  {\"file\": \"pkg/sequor95.ini\", \"line\": null, \"severity\": \"warning\", \"code\": \"no-entry-1\", "
              "\"message\": \"tab\\there, back\\\\slash, caf\\u00e9\\n\", \"fix\": null"
              ", \"package\": \"pkg\"}\n"
              "], \"counts\": {\"errors\": 1, \"warnings\": 1, \"notes\": 0}, \"exitStatus\": 1, \"cards\": []}\n",
              FormatFindingsJson(findings));
    EXPECT_EQ(SchemaProblems(FormatFindingsJson(findings)), "");
    EXPECT_EQ(1, FindingsExitStatus(findings));
    findings.erase(findings.begin());
    EXPECT_EQ(0, FindingsExitStatus(findings));
    EXPECT_EQ("{\"command\": \"check\", \"findings\": [], \"counts\": {\"errors\": 0, \"warnings\": 0, \"notes\": 0}, "
              "\"exitStatus\": 0, \"cards\": []}\n",
              FormatFindingsJson({}));
    EXPECT_EQ("0 errors, 0 warnings\n", FormatFindingsText({}));
}

TEST(PkgCheck, TextAsTheTargetReadsIt) {
    ExpectFindings({
        // Comments are no keys to warn about, wherever they stand.
        {"comments", "; Example package\n;W95=End\n[Application]\n; the Windows 98 list\nW98=End\n;W95=End\n"
                     "[Message]\n; shown elsewhere\nNotSupport=n\n",
         "[ProcessList]\n;0=old.exe,null\n1=a.exe,null\n; 2=b.exe,null\n", {}, {}},
        {"utf8", "[Application]\nNT40=Install,ShowMsgNT\n[SubDir]\nNT40=\\Pil\xc3\xbdt\n[Message]\nNotSupport=Caf\xc3\xa9\n"
                 "ShowMsgNT=n\n",
         "[ProcessList]\n1=\xe8\xa1\xa8.exe,null\n", {"PIL\xc3\xbdT/"},
         {"SETUP.INI:4 warning utf8-text", "SETUP.INI:6 warning utf8-text", "sequor95.ini:2 warning utf8-text"}},
        // Already in code page 1252.
        {"latin1", "[Application]\nW98=End\n[Message]\nNotSupport=Caf\xe9 \x80\n", nullptr, {}, {}},
        // Western words that are well-formed double-byte text too, and text of 932 and 949 that 1252 garbles.
        {"double-byte", "[Application]\nNT40=Install,ShowMsgNT\n[SubDir]\nNT40=\\NT40\n[Message]\n"
                        "NotSupport=d\xe9j\xe0 Gr\xf6\xdf" "e \x93quoted\x94\nShowMsgNT=\x83\x5c\x83\x74\x83\x67\n",
         "[ProcessList]\n1=\xba\xb8\xc3\xe6.exe,null\n", {"NT40/"},
         {"SETUP.INI:7 warning codepage-double-byte", "sequor95.ini:2 warning codepage-double-byte"}},
        // A mark in front of a comment costs no header.
        {"mark-before-comment", "\xef\xbb\xbf; Example\n[Application]\nW98=End\n[Message]\nNotSupport=n\n", nullptr,
         {}, {"SETUP.INI:1 warning byte-order-mark"}},
        // The mark costs the first header only: the rest draws what it draws without it.
        {"mark-keeps-utf8", "\xef\xbb\xbf[Application]\nNT40=Install,ShowMsgNT\n[SubDir]\nNT40=\\NT40\n[Message]\n"
                            "NotSupport=Caf\xc3\xa9\nShowMsgNT=n\n",
         "\xef\xbb\xbf; list\n[ProcessList]\n1=\xe8\xa1\xa8.exe,null\n", {"NT40/"},
         {"SETUP.INI:1 error byte-order-mark", "SETUP.INI:6 warning utf8-text", "sequor95.ini:1 warning byte-order-mark",
          "sequor95.ini:3 warning utf8-text"}},
    });
}

TEST(PkgCheck, ByteOrderMarksAndCodePages) {
    TempDir dir("marks");
    dir.Write("SETUP.INI", "\xef\xbb\xbf[Application]\r\nW98=End\r\n[Message]\r\nNotSupport=n\r\n");
    const std::string ascii = "[ProcessList]\r\n1=a.exe,null\r\n";
    std::string utf16 = "\xff\xfe";
    for (char c : ascii) utf16 += std::string(1, c) + '\0';
    dir.Write("sequor95.ini", utf16);
    std::vector<Finding> f = CheckPackage(dir.Path());
    ASSERT_EQ(2u, f.size()) << FormatFindingsText(f);
    EXPECT_EQ("SETUP.INI:1 error byte-order-mark", Describe(f[0]));
    EXPECT_NE(std::string::npos, f[0].message.find("Windows 95, 98 and NT 4.0")) << f[0].message;
    EXPECT_NE(std::string::npos, f[0].message.find("[Application] on line 1")) << f[0].message;
    EXPECT_EQ("sequor95.ini:1 error byte-order-mark", Describe(f[1]));
    EXPECT_NE(std::string::npos, f[1].message.find("Windows NT 4.0 and Wine decode")) << f[1].message;

    // Text in code page 932 is clean there; UTF-8 is shown as that Windows shows it.
    TempDir japanese("cp932");
    japanese.Write("SETUP.INI", "[Application]\nW98=End\n[Message]\nNotSupport=\x95\x5c\nW=\xe8\xa1\xa8\n");
    CheckOptions options;
    options.codePage = 932;
    CheckResult r = CheckPackage(japanese.Path(), options);
    std::vector<std::string> codes;
    for (const Finding& x : r.findings) codes.push_back(x.code);
    EXPECT_EQ((std::vector<std::string>{"utf8-text", "unused-message"}), codes) << FormatFindingsText(r.findings);
    EXPECT_NE(std::string::npos, r.findings[0].message.find("\"\xe9\x99\xa6\xef\xbd\xa8\"")) << r.findings[0].message;
    // 0x5C after a lead byte is half of a character, not the escape's backslash.
    japanese.Write("SETUP.INI", "[Application]\nW98=End\n[Message]\nNotSupport=C:\\\x95\\new\n");
    EXPECT_TRUE(CheckPackage(japanese.Path(), options).findings.empty());
    r = CheckPackage(japanese.Path(), CheckOptions());
    ASSERT_EQ(2u, r.findings.size()) << FormatFindingsText(r.findings);
    EXPECT_EQ("codepage-double-byte", r.findings[0].code); // and 932 is named
    EXPECT_NE(std::string::npos, r.findings[0].message.find("932 (Japanese")) << r.findings[0].message;
    EXPECT_EQ("escape-in-path", r.findings[1].code);
    // Bytes that code page 932 leaves undefined.
    japanese.Write("SETUP.INI", "[Application]\nW98=End\n[Message]\nNotSupport=caf\xe9\n");
    r = CheckPackage(japanese.Path(), options);
    ASSERT_EQ(1u, r.findings.size());
    EXPECT_EQ("codepage-text", r.findings[0].code);
}

namespace {

// Sections and keys in any case, [Strings], quotes, comments, a continued
// line; only the models sections that [Manufacturer] names count.
const char* kDriverInf = "[version]\r\nsignature=\"$CHICAGO$\"\r\n[MANUFACTURER]\r\n%mfg%=Models ; comment\r\n"
                         "[models]\r\n\"Card ; not a comment\"=Inst,PCI\\VEN_1234&DEV_5678&SUBSYS_00000000\r\n"
                         "%c2%=Inst,\\\r\n  %id2%\r\n%c3%=Inst,PCI\\ven_1234&dev_9abc&REV_01\r\n"
                         "[Other]\r\nx=Inst,PCI\\VEN_4444&DEV_4444\r\n[Inst]\r\n"
                         "[strings]\r\nmfg=\"Maker\"\r\nc2=\"Two\"\r\nc3=\"Three\"\r\nid2=\"PCI\\VEN_1234&DEV_5679\"\r\n";

} // namespace

TEST(PkgCheck, DriverInfFiles) {
    ExpectFindings({
        {"inf",
         "[Application]\nW98=DetectCard,Install\n[SubDir]\nW98=\\WIN95\n[DetectCard]\n"
         "1=4660,22136,PCI,1,0\n"      // 6: listed, only with a subsystem
         "2=1234,5679,PCI,1,0\n"       // 7: hexadecimal
         "3=22137,4660,PCI,1,0\n"      // 8: swapped
         "4=4660,1450704897,PCI,1,0\n" // 9: 0x56780001
         "5=4096,4096,PCI,1,0\n"       // 10
         "[Message]\nNotSupport=n\nDetectCard=d\n",
         nullptr, {"WIN95/"},
         {"SETUP.INI:6 warning card-subsys-only", "SETUP.INI:7 error card-not-in-inf", "SETUP.INI:8 error card-not-in-inf", "SETUP.INI:9 error card-not-in-inf",
          "SETUP.INI:9 error identifier-range", "SETUP.INI:10 error card-not-in-inf", "DRV.INF:7 warning card-turned-away",
          "DRV.INF:9 warning card-turned-away"},
         {{"WIN95/DRV.INF", kDriverInf}}},
        {"no-inf", "[Application]\nW98=DetectCard,Install\n[SubDir]\nW98=\\WIN95\n[DetectCard]\n1=4660,22136,PCI,1,0\n"
                   "[Message]\nNotSupport=n\nDetectCard=d\n",
         nullptr, {"WIN95/", "WIN95/DRIVER.TXT"}, {"SETUP.INI:2 error driver-no-inf"}},
        // Only the key whose folder holds no INF goes unchecked.
        {"inf-partly", "[Application]\nW98=DetectCard,Install\nW95A=DetectCard,Install\n[SubDir]\nW98=\\WIN95\n"
                       "W95A=\\OLD\n[DetectCard]\n1=4660,22136,PCI,1,0\n[Message]\nNotSupport=n\nDetectCard=d\n",
         nullptr, {"WIN95/", "OLD/"},
         {"SETUP.INI:3 error driver-no-inf", "SETUP.INI:8 warning card-subsys-only", "DRV.INF:7 warning card-turned-away", "DRV.INF:9 warning card-turned-away"},
         {{"WIN95/DRV.INF", kDriverInf}}},
        // Without DetectCard, setup turns no card away.
        {"inf-nt40", "[Application]\nNT40=Install,ShowMsgNT\n[SubDir]\nNT40=\\NT40\n[Message]\nNotSupport=n\n"
                     "ShowMsgNT=nt\n",
         nullptr, {"NT40/"}, {}, {{"NT40/drv.inf", kDriverInf}}},
    });
}

namespace {

std::string Utf16(const std::string& text) {
    std::string out = "\xff\xfe";
    for (char c : text) out += std::string(1, c) + '\0';
    return out;
}

// A driver INF for 1234:5678 (line 6) with the given signature, [Manufacturer]
// value, models header and further lines.
std::string Inf(const std::string& signature, const std::string& manufacturer = "Maker",
                const std::string& models = "Maker", const std::string& more = "") {
    return "[Version]\r\nSignature=\"" + signature + "\"\r\n[Manufacturer]\r\n%M%=" + manufacturer + "\r\n[" + models +
           "]\r\nCard=Inst,PCI\\VEN_1234&DEV_5678\r\n" + more + "[Inst]\r\n[Strings]\r\nM=\"Maker\"\r\n";
}

const char* kW98Script = "[Application]\nW98=DetectCard,Install\n[SubDir]\nW98=\\DRV\n[DetectCard]\n"
                         "1=4660,22136,PCI,1,0\n[Message]\nNotSupport=n\nDetectCard=d\n";
const char* kW98Nt40Script = "[Application]\nW98=DetectCard,Install\nNT40=Install,ShowMsgNT\n[SubDir]\nW98=\\DRV\n"
                             "NT40=\\DRV\n[DetectCard]\n1=4660,22136,PCI,1,0\n[Message]\nNotSupport=n\nDetectCard=d\n"
                             "ShowMsgNT=nt\n";

} // namespace

// Each OS key counts only what its Windows version reads of the INF files.
TEST(PkgCheck, DriverInfAsEachTargetReadsIt) {
    const std::vector<std::string> notRead = {"SETUP.INI:6 error card-not-in-inf", "DRV.INF:0 error inf-not-read"};
    const std::vector<std::string> notListed = {"SETUP.INI:6 error card-not-in-inf", "DRV.INF:6 error inf-not-read"};
    const std::string decorated = Inf("$CHICAGO$", "Maker,NTx86", "Maker.NTx86");
    const std::string localized =
        "[Version]\r\nSignature=\"$CHICAGO$\"\r\n[Manufacturer]\r\nMaker\r\n[Maker]\r\nCard=Inst,%id%\r\n[Inst]\r\n"
        "[Strings.0407]\r\nid=\"PCI\\VEN_1234&DEV_5678\"\r\n";
    const std::string limits = Inf("$Windows 95$", "Maker Graphics Cards Of 1998 PCI", "Maker Graphics Cards Of 1998 PCI") +
                               Repeat("; padding of a large INF file\r\n", 2200);
    ExpectFindings({
        {"inf-utf16", kW98Script, nullptr, {"DRV/"}, notRead, {{"DRV/DRV.INF", Utf16(Inf("$CHICAGO$"))}}},
        {"inf-nt-signature", kW98Script, nullptr, {"DRV/"}, notRead, {{"DRV/DRV.INF", Inf("$Windows NT$")}}},
        {"inf-utf8-mark", kW98Script, nullptr, {"DRV/"}, notRead, {{"DRV/DRV.INF", "\xef\xbb\xbf" + Inf("$CHICAGO$")}}},
        {"inf-decorated-only", kW98Script, nullptr, {"DRV/"}, notListed, {{"DRV/DRV.INF", decorated}}},
        {"inf-localized", kW98Script, nullptr, {"DRV/"}, notListed, {{"DRV/DRV.INF", localized}}},
        // Controls: both forms of the models section; a mark before a comment;
        // NT 4.0 reads what 9x ignores.
        {"inf-both-forms", kW98Script, nullptr, {"DRV/"}, {},
         {{"DRV/DRV.INF", Inf("$Chicago$", "Maker,NTx86", "Maker.NTx86",
                              "[Maker]\r\nCard=Inst,PCI\\VEN_1234&DEV_5678\r\n")}}},
        {"inf-utf8-comment", kW98Script, nullptr, {"DRV/"}, {},
         {{"DRV/DRV.INF", "\xef\xbb\xbf; driver\r\n" + Inf("$CHICAGO$")}}},
        {"inf-nt40-reads", "[Application]\nNT40=Install,ShowMsgNT\n[SubDir]\nNT40=\\DRV\n[Message]\nNotSupport=n\n"
                           "ShowMsgNT=nt\n",
         nullptr, {"DRV/"}, {}, {{"DRV/DRV.INF", Utf16(localized)}}},
        // One folder, an INF for each family, as the DDK lays out a CD.
        {"inf-per-family", kW98Nt40Script, nullptr, {"DRV/"}, {},
         {{"DRV/DRV9X.INF", Inf("$CHICAGO$")}, {"DRV/DRVNT.INF", Utf16(Inf("$Windows NT$"))}}},
        // What 9x may not take draws warnings, once, and only where 9x reads it.
        {"inf-limits", kW98Nt40Script, nullptr, {"DRV/"},
         {"DRV.INF:2 warning inf-signature", "DRV.INF:5 warning inf-section-name", "DRV.INF:0 warning inf-size"},
         {{"DRV/DRV.INF", limits}}},
    });
}

TEST(PkgCheck, DriverInfSuggestionsAndBadFiles) {
    TempDir dir("inf-hints");
    dir.Write("WIN95/", "");
    dir.Write("WIN95/DRV.INF", kDriverInf);
    dir.Write("SETUP.INI", "[Application]\nW98=DetectCard,Install\n[SubDir]\nW98=\\WIN95\n[DetectCard]\n"
                           "1=1234,5679,PCI,1,0\n2=22137,4660,PCI,1,0\n3=4660,1450704897,PCI,1,0\n"
                           "4=4660,22136,PCI,1,0\n5=--5,-,PCI,1,0\n[Message]\nNotSupport=n\nDetectCard=d\n");
    CheckResult r = CheckPackage(dir.Path(), CheckOptions());
    std::vector<std::string> hints;
    for (const Finding& f : r.findings)
        if (f.code == "card-not-in-inf" && f.line < 9) hints.push_back(f.fix.substr(f.fix.find(": ") + 2));
    EXPECT_EQ((std::vector<std::string>{"written in hexadecimal? use 4660,22137", "vendor and device are swapped: use 4660,22137",
                                        "the device id is off by its low 16 bits: only those of 1450704897 count, and "
                                        "the INF's id is its high 16 bits, so use 4660,22136"}),
              hints);
    // Every card with where the package names it.
    ASSERT_EQ(7u, r.cards.size());
    EXPECT_EQ(0x1234u, r.cards[5].vendor);
    EXPECT_EQ(0x9ABCu, r.cards[5].device);
    EXPECT_EQ((std::vector<std::string>{"WIN95/DRV.INF:9"}), r.cards[5].where);
    EXPECT_EQ((std::vector<std::string>{"SETUP.INI:9", "WIN95/DRV.INF:6"}), r.cards[3].where);

    // Any bytes are an INF without cards, or with the cards they name; a
    // substitution that would grow without bound is cut.
    EXPECT_TRUE(pkgcheck::ReadInfCards(std::string("\0\xff[\r\n\\\\\n%%%", 12)).empty());
    EXPECT_TRUE(pkgcheck::ReadInfCards("[Manufacturer]\nM\n[M]\nx=i,PCI\\VEN_12,PCI\\VEN_1234&DEV_56\n").empty());
    const std::string bomb = "[Manufacturer]\n%m%=M\n[M]\nx=i," + Repeat("%a%", 200000) + "\n[Strings]\na=" +
                             Repeat("b", 5000) + "\nm=M\n";
    EXPECT_TRUE(pkgcheck::ReadInfCards(bomb).empty());
    std::string utf16 = "\xff\xfe";
    for (char c : std::string("[Manufacturer]\r\nM\r\n[M]\r\nx=i,PCI\\VEN_10DE&DEV_0020\r\n")) utf16 += std::string(1, c) + '\0';
    std::vector<pkgcheck::InfCard> cards = pkgcheck::ReadInfCards(utf16);
    ASSERT_EQ(1u, cards.size());
    EXPECT_EQ(0x10DEu, cards[0].vendor);
    EXPECT_EQ(4, cards[0].line);
}

// A CD's root: AUTORUN.INF, and the package where the setup it starts reads its script.
TEST(PkgCheck, CdRoots) {
    const std::string script = "[Application]\nW98=End\n[Message]\nNotSupport=n\n";
    auto cd = [&](const std::string& autorun) {
        return std::vector<std::pair<std::string, std::string>>{{"AUTORUN.INF", autorun}, {"DRIVERS/SETUP.INI", script}};
    };
    const std::string good = "[autorun]\r\nopen=DRIVERS\\SETUP.EXE \\DRIVERS\r\nicon=DRIVERS\\SETUP.INI,0\r\n";
    ExpectFindings({
        // setup.exe itself comes from the front end's build.
        {"cd-clean", nullptr, nullptr, {"DRIVERS/"}, {}, cd(good)},
        {"cd-no-arguments", nullptr, nullptr, {"DRIVERS/"}, {"AUTORUN.INF:2 error autorun-no-script"},
         cd("[autorun]\r\nopen=DRIVERS\\SETUP.EXE\r\n")},
        {"cd-no-program", nullptr, nullptr, {"DRIVERS/"}, {"AUTORUN.INF:2 error autorun-no-program"},
         cd("[AutoRun]\r\nopen=DRIVRES\\SETUP.EXE \\DRIVERS\r\n")},
        {"cd-folder-as-program", nullptr, nullptr, {"DRIVERS/"}, {"AUTORUN.INF:2 error autorun-no-program"},
         cd("[autorun]\r\nopen=DRIVERS \\DRIVERS\r\n")},
        {"cd-no-icon", nullptr, nullptr, {"DRIVERS/"}, {"AUTORUN.INF:3 warning autorun-icon-missing"},
         cd("[autorun]\r\nopen=DRIVERS\\SETUP.EXE \\DRIVERS\r\nicon=CD.ICO\r\n")},
        {"cd-no-open", nullptr, nullptr, {"DRIVERS/"},
         {"AUTORUN.INF:0 error autorun-no-open", "AUTORUN.INF:1 warning outside-section"}, cd("open=SETUP.EXE\r\n")},
        // 95 and 98 find no section in it; the package is still checked as meant.
        {"cd-utf16", nullptr, nullptr, {"DRIVERS/"}, {"AUTORUN.INF:1 error byte-order-mark"}, cd(Utf16(good))},
        {"cd-package-checked", nullptr, nullptr, {"DRIVERS/"}, {"SETUP.INI:2 error unknown-command"},
         {{"AUTORUN.INF", good}, {"DRIVERS/SETUP.INI", "[Application]\nW98=Bogus\n[Message]\nNotSupport=n\n"}}},
        {"cd-root-package", script.c_str(), nullptr, {}, {}, {{"AUTORUN.INF", "[autorun]\nopen=setup\n"}}},
        // A package that AutoRun does not start is checked too.
        {"cd-second-package", nullptr, nullptr, {"DRIVERS/", "OTHER/"}, {"SETUP.INI:2 error unknown-command"},
         {{"AUTORUN.INF", good}, {"DRIVERS/SETUP.INI", script}, {"OTHER/SETUP.INI", "[Application]\nW98=Bogus\n"
                                                                                  "[Message]\nNotSupport=n\n"}}},
        {"cd-other-program", script.c_str(), nullptr, {"MENU.EXE"}, {"AUTORUN.INF:2 note autorun-other-program"},
         {{"AUTORUN.INF", "[autorun]\nopen=menu.exe /x\n"}}},
        // Sequor's list is followed to the setup it starts.
        {"cd-sequor", nullptr, "[ProcessList]\n1=\"[CWD]\\DRIVERS\\setup.exe\",[CWD]\\DRIVERS\n", {"DRIVERS/"}, {},
         {{"AUTORUN.INF", "[autorun]\nopen=Sequor.exe\n"}, {"DRIVERS/SETUP.INI", script}}},
        {"cd-sequor-no-script", nullptr, "[ProcessList]\n1=\"[CWD]\\DRIVERS\\setup.exe\",null\n", {"DRIVERS/"},
         {"AUTORUN.INF:2 error autorun-no-script"},
         {{"AUTORUN.INF", "[autorun]\nopen=Sequor.exe\n"}, {"DRIVERS/SETUP.INI", script}}},
    });
    TempDir dir("cd-fix");
    dir.Write("DRIVERS/", "");
    dir.Write("DRIVERS/SETUP.INI", script);
    dir.Write("AUTORUN.INF", "[autorun]\r\nopen=DRIVERS\\SETUP.EXE\r\n");
    std::vector<Finding> f = CheckPackage(dir.Path());
    ASSERT_EQ(1u, f.size()) << FormatFindingsText(f);
    EXPECT_NE(std::string::npos, f[0].message.find("\"D:\"")) << f[0].message;
    EXPECT_NE(std::string::npos, f[0].message.find("write open=DRIVERS\\SETUP.EXE \\DRIVERS")) << f[0].message;
    // Each finding names its package once the disc holds several.
    dir.Write("AUTORUN.INF", good);
    dir.Write("OTHER/", "");
    dir.Write("OTHER/SETUP.INI", "[Application]\nW98=Bogus\n[Message]\nNotSupport=n\n");
    f = CheckPackage(dir.Path());
    ASSERT_EQ(1u, f.size()) << FormatFindingsText(f);
    EXPECT_EQ("OTHER", f[0].package);
    EXPECT_NE(std::string::npos, FormatFindingsText(f).find("[unknown-command] (package OTHER)\n"));
}

TEST(PkgCheck, SmallerGaps) {
    ExpectFindings({
        // Windows tries the text up to each blank as the program, adding .exe.
        {"sequor-programs", nullptr,
         "[ProcessList]\n1=[CWD]\\tools\\setup2 /q,null\n2=\"[CWD]\\My Tools\\b.exe\" /x,null\n"
         "3=[CWD]\\Tool Box\\c.exe /y,null\n4=[CWD]\\nothere.exe,null\n5=[CWD]\\setup.exe,null\n",
         {"TOOLS/", "TOOLS/SETUP2.EXE", "My Tools/", "My Tools/b.exe", "Tool Box/", "Tool Box/c.exe"},
         {"sequor95.ini:2 warning unquoted-cwd", "sequor95.ini:4 warning unquoted-cwd",
          "sequor95.ini:5 warning missing-file", "sequor95.ini:5 warning unquoted-cwd",
          "sequor95.ini:6 warning unquoted-cwd"}},
        {"escapes-in-paths",
         "[Application]\nW98=ShowMsgA\nW95A=ShowMsgB\nW95B=ShowMsgC\n[Message]\nNotSupport=n\n"
         "ShowMsgA=Files go to C:\\new\\drv.\n"                           // 7
         "ShowMsgB=Open \\nt40 or \\temp first\n"                          // 8
         "ShowMsgC=Line one\\nLine two\\n\\nName:\\tValue \\nPress OK\\n\n", // 9
         nullptr, {},
         {"SETUP.INI:7 warning escape-in-path", "SETUP.INI:8 warning escape-in-path",
          "SETUP.INI:8 warning escape-in-path"}},
        {"prefix-rule", "[Application]\nW98=ShowMsgUSB\nW95A=ShowUSBMsgDone,ShowMsgDone\n[Message]\nNotSupport=n\n"
                        "ShowMsgUSB=u\nShowUSBMsgDone=q\nShowMsgDone=d\n",
         nullptr, {}, {"SETUP.INI:2 warning prefix-command"}},
    });
    {
        // The quotes go around the program Windows would find, arguments after them.
        TempDir dir("unquoted-cwd");
        dir.Write("Tool Box/", "");
        dir.Write("Tool Box/c.exe", "");
        dir.Write("sequor95.ini", "[ProcessList]\n1=[CWD]\\Tool Box\\c.exe /y,null\n");
        std::vector<Finding> f = CheckPackage(dir.Path());
        ASSERT_EQ(1u, f.size()) << FormatFindingsText(f);
        EXPECT_NE(std::string::npos, f[0].message.find("quote it: 1=\"[CWD]\\Tool Box\\c.exe\" /y,null")) << f[0].message;
    }
    TempDir dir("prefix-words");
    dir.Write("SETUP.INI", "[Application]\nW98=ShowMsgUSB\n[Message]\nNotSupport=n\nShowMsgUSB=C:\\new\n");
    std::vector<Finding> f = CheckPackage(dir.Path());
    ASSERT_EQ(2u, f.size()) << FormatFindingsText(f);
    EXPECT_NE(std::string::npos, f[0].message.find("\"ShowMsgUSB\" runs as ShowMsg, not as ShowUSBMsg")) << f[0].message;
    EXPECT_NE(std::string::npos, f[1].message.find("write \"C:\\New\"")) << f[1].message;
}

namespace {

// A driver INF for 1234:5678 (models line 7) whose install section and
// the sections after it begin at line 8; `version` adds lines to [Version]
// after line 3, moving the rest down.
std::string CopyInf(const std::string& body, const std::string& version = "",
                    const std::string& strings = "[Strings]\r\nM=\"Maker\"\r\n") {
    return "[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=Display\r\n" + version +
           "[Manufacturer]\r\n%M%=Maker\r\n[Maker]\r\nCard=Inst,PCI\\VEN_1234&DEV_5678\r\n" + body + strings;
}

const char* kNt40Script = "[Application]\nNT40=Install,ShowMsgNT\n[SubDir]\nNT40=\\DRV\n[Message]\nNotSupport=n\n"
                          "ShowMsgNT=nt\n";

} // namespace

// Every file the install copies, as Windows 95/98 (W98) and NT 4.0 (NT40)
// look for it in the same folder. Where both readers fail alike, other
// findings say so twice; a missing file is one finding that names both.
TEST(PkgCheck, DriverFilesAsEachTargetCopiesThem) {
    const std::string copy = "[Inst]\r\nCopyFiles=Inst.Copy\r\n[Inst.Copy]\r\nEXAMPLE.DRV\r\n"; // the copy line is 11
    const std::string disks = "[SourceDisksNames]\r\n1=\"Driver CD\",,0,\\BIN\r\n";
    ExpectFindings({
        // Names in any case, a source named apart from its target, @file, a
        // continued copy line, the destination sections.
        {"files-complete", kW98Nt40Script, nullptr, {"DRV/", "DRV/example.drv", "DRV/SOURCE.VX_", "DRV/Extra.Dll"}, {},
         {{"DRV/DRV.INF", CopyInf("[Inst]\r\nCopyFiles=Inst.Copy,@EXTRA.DLL\r\n[Inst.Copy]\r\nEXAMPLE.DRV\r\n"
                                  "TARGET.VXD,\\\r\n SOURCE.VX_\r\n[DestinationDirs]\r\nInst.Copy=11\r\n")}}},
        {"files-missing", kW98Nt40Script, nullptr, {"DRV/", "OLD/", "OLD/EXAMPLE.DRV"},
         {"DRV.INF:11 error driver-file-missing"},
         {{"DRV/DRV.INF", CopyInf(copy)}}},
        {"files-compressed", kW98Nt40Script, nullptr, {"DRV/", "DRV/EXAMPLE.DR_"},
         {"DRV.INF:11 note inf-compressed-source"}, {{"DRV/DRV.INF", CopyInf(copy)}}},
        {"files-disks", kW98Nt40Script, nullptr, {"DRV/", "DRV/BIN/", "DRV/BIN/SUB/", "DRV/BIN/SUB/EXAMPLE.DRV"}, {},
         {{"DRV/DRV.INF", CopyInf(copy + disks + "[SourceDisksFiles]\r\nEXAMPLE.DRV=1,SUB\r\n")}}},
        {"files-no-disk", kW98Nt40Script, nullptr, {"DRV/", "DRV/EXAMPLE.DRV"},
         {"DRV.INF:11 warning inf-no-source", "DRV.INF:11 warning inf-no-source"},
         {{"DRV/DRV.INF", CopyInf(copy + disks + "[SourceDisksFiles]\r\nEXAMPLE.DRV=2\r\n")}}},
        // Only NT 4.0 reads the .x86 sections.
        {"files-x86-only", kW98Nt40Script, nullptr, {"DRV/", "DRV/BIN/", "DRV/BIN/EXAMPLE.DRV"},
         {"DRV.INF:11 warning inf-no-source"},
         {{"DRV/DRV.INF", CopyInf(copy + disks + "[SourceDisksFiles.x86]\r\nEXAMPLE.DRV=1\r\n")}}},
        {"files-layout", kW98Nt40Script, nullptr, {"DRV/"}, {"DRV.INF:12 note inf-windows-file"},
         {{"DRV/DRV.INF", CopyInf(copy, "LayoutFile=LAYOUT.INF\r\n")}}},
        {"files-unlisted", kW98Nt40Script, nullptr, {"DRV/", "DRV/BIN/", "DRV/BIN/OTHER.DRV", "DRV/EXAMPLE.DRV"},
         {"DRV.INF:11 warning inf-unlisted-file", "DRV.INF:11 warning inf-unlisted-file"},
         {{"DRV/DRV.INF", CopyInf(copy + "OTHER.DRV\r\n" + disks + "[SourceDisksFiles]\r\nOTHER.DRV=1\r\n")}}},
        {"files-long-name", kW98Nt40Script, nullptr, {"DRV/", "DRV/ExampleDisplay.drv"},
         {"DRV.INF:11 error inf-long-name"},
         {{"DRV/DRV.INF", CopyInf("[Inst]\r\nCopyFiles=Inst.Copy\r\n[Inst.Copy]\r\nExampleDisplay.drv\r\n")}}},
        {"files-dotdot", kW98Nt40Script, nullptr, {"DRV/", "COMMON/", "COMMON/EXAMPLE.DRV"},
         {"DRV.INF:11 warning inf-dotdot"},
         {{"DRV/DRV.INF", CopyInf(copy + "[SourceDisksNames]\r\n1=\"CD\"\r\n[SourceDisksFiles]\r\n"
                                         "EXAMPLE.DRV=1,..\\COMMON\r\n")}}},
        // NT 4.0 reads a 9x volume label as a tag file.
        {"files-tag", kW98Nt40Script, nullptr, {"DRV/", "DRV/EXAMPLE.DRV"}, {"DRV.INF:13 warning inf-tag-file"},
         {{"DRV/DRV.INF", CopyInf(copy + "[SourceDisksNames]\r\n1=\"CD\",DRIVERS,0000\r\n[SourceDisksFiles]\r\n"
                                         "EXAMPLE.DRV=1\r\n")}}},
        // 95 and 98 leave the token raw and look for no file by it.
        {"files-localized-name", kW98Nt40Script, nullptr, {"DRV/", "DRV/EXAMPLE.DRV"},
         {"DRV.INF:11 error inf-token-file"},
         {{"DRV/DRV.INF", CopyInf("[Inst]\r\nCopyFiles=Inst.Copy\r\n[Inst.Copy]\r\n%File%\r\n", "",
                                  "[Strings]\r\nM=\"Maker\"\r\n[Strings.0409]\r\nFile=EXAMPLE.DRV\r\n")}}},
        {"files-self", kW98Nt40Script, nullptr, {"DRV/"},
         {"DRV.INF:9 warning inf-no-copy-section", "DRV.INF:9 warning inf-no-copy-section"},
         {{"DRV/DRV.INF", CopyInf("[Inst]\r\nCopyFiles=Inst\r\n")}}},
        {"files-nt-display", kNt40Script, nullptr, {"DRV/", "DRV/EXAMPLE.DLL", "DRV/EXAMPLE.SYS"},
         {"DRV.INF:15 error nt4-file-not-copied"},
         {{"DRV/DRV.INF", CopyInf("[Inst]\r\nCopyFiles=Inst.Copy\r\n[Inst.Copy]\r\nexample.dll\r\n"
                                  "[Inst.Services]\r\nAddService=example,2,Svc\r\n[Svc]\r\n"
                                  "ServiceBinary=%12%\\example.sys\r\n[Inst.SoftwareSettings]\r\nAddReg=Reg\r\n"
                                  "[Reg]\r\nHKR,,InstalledDisplayDrivers,0x10000,example\r\n")}}},
        {"files-no-section", kW98Nt40Script, nullptr, {"DRV/"},
         {"DRV.INF:7 error inf-no-install-section", "DRV.INF:7 error inf-no-install-section"},
         {{"DRV/DRV.INF", CopyInf("[Inst.NTx86]\r\nCopyFiles=Inst.Copy\r\n")}}},
        // The INF one folder too deep: beside one that lists another card, and alone.
        {"files-inf-elsewhere-too", kW98Script, nullptr, {"DRV/", "DRV/DRIVER/"},
         {"SETUP.INI:6 error card-not-in-inf", "OTHER.INF:6 warning card-turned-away"},
         {{"DRV/DRIVER/DRV.INF", CopyInf("[Inst]\r\n")},
          {"DRV/OTHER.INF", "[Version]\r\nSignature=\"$CHICAGO$\"\r\n[Manufacturer]\r\nM\r\n[M]\r\n"
                            "C=Inst,PCI\\VEN_1234&DEV_9999\r\n[Inst]\r\n"}}},
        {"files-inf-elsewhere", kW98Script, nullptr, {"DRV/", "DRV/DRIVER/"}, {"SETUP.INI:2 error driver-no-inf"},
         {{"DRV/DRIVER/DRV.INF", CopyInf("[Inst]\r\n")}}},
    });
    TempDir dir("files-messages");
    dir.Write("SETUP.INI", kW98Script);
    dir.Write("DRV/", "");
    dir.Write("DRV/DRV.INF", CopyInf(copy));
    dir.Write("OLD/", "");
    dir.Write("OLD/EXAMPLE.DRV", "");
    std::vector<Finding> f = CheckPackage(dir.Path());
    ASSERT_EQ(1u, f.size()) << FormatFindingsText(f);
    EXPECT_NE(std::string::npos, f[0].message.find("the package lacks DRV\\EXAMPLE.DRV")) << f[0].message;
    EXPECT_EQ("move OLD\\EXAMPLE.DRV to DRV\\EXAMPLE.DRV", f[0].fix);
    EXPECT_NE(std::string::npos, f[0].message.find("lies at OLD\\EXAMPLE.DRV")) << f[0].message;
}

// The install model on its own, as the dry run and the listing programs
// call it: what each copy records, and hostile files.
TEST(PkgCheck, InstallModel) {
    using pkgcheck::InfReader;
    const std::set<std::string> disk = {"BIN\\SUB\\A.DRV", "B.VX_", "C.DLL"};
    const pkgcheck::InfLookup lookup = [&](const std::string& p) { return disk.count(p) ? "/disk/" + p : ""; };
    const std::string inf =
        CopyInf("[Inst]\r\nCopyFiles=Drv,@C.DLL\r\n[Drv]\r\nA.DRV\r\nB.VXD\r\n[DestinationDirs]\r\nDrv=12,SUB\r\n"
                "[SourceDisksNames]\r\n1=\"CD\",LABEL,0,\\BIN\r\n[SourceDisksNames.x86]\r\n2=\"CD\"\r\n"
                "[SourceDisksFiles]\r\nA.DRV=1,SUB\r\nB.VXD=2\r\n[SourceDisksFiles.x86]\r\nB.VXD=2\r\n");
    for (InfReader r : {InfReader::kWin9x, InfReader::kNt4}) {
        const pkgcheck::InfInstall m = pkgcheck::ReadInfInstall(inf, r, {{0x1234, 0x5678}}, false, lookup);
        ASSERT_EQ(3u, m.files.size());
        EXPECT_EQ(std::vector<std::string>{"Inst"}, m.installSections);
        EXPECT_EQ(11, m.files[0].line);
        EXPECT_EQ("Drv", m.files[0].section);
        EXPECT_EQ("BIN\\SUB\\A.DRV", m.files[0].lookedFor);
        EXPECT_EQ("/disk/BIN\\SUB\\A.DRV", m.files[0].found);
        EXPECT_EQ(12, m.files[0].destDir);
        EXPECT_EQ("SUB", m.files[0].destSubdir);
        // Disk 2 is defined only in the .x86 section, which 95 and 98 skip.
        EXPECT_EQ(r == InfReader::kNt4 ? pkgcheck::InstallSource::kPackage : pkgcheck::InstallSource::kNone,
                  m.files[1].from);
        EXPECT_EQ(r == InfReader::kNt4, m.files[1].compressed);
        EXPECT_EQ("", m.files[2].section);
        EXPECT_EQ(r == InfReader::kWin9x ? 10 : -1, m.files[2].destDir);
        EXPECT_EQ(r == InfReader::kWin9x ? 1u : 0u, m.labels.size());
    }
    // Hostile files: finite, and a name with control bytes is said.
    std::string many = "[Inst]\r\nCopyFiles=";
    for (int i = 0; i < 10000; ++i) many += "S" + std::to_string(i) + ",";
    many += "Inst\r\n";
    for (int i = 0; i < 10000; ++i) many += "[S" + std::to_string(i) + "]\r\nF" + std::to_string(i % 100) + ".DRV\r\n";
    const std::string hostile[] = {
        CopyInf(many),
        CopyInf("[Inst]\r\nCopyFiles=A,A,B\r\n[A]\r\nCopyFiles=B\r\n[B]\r\nCopyFiles=A\r\n"),
        CopyInf("[Inst]\r\nCopyFiles=A\r\n[A]\r\n" + std::string(1 << 20, 'x') + "\r\n"),
        CopyInf("[Inst]\r\nCopyFiles=A\r\n[A]\r\nBAD\x01\x1b.DRV\r\n"),
    };
    for (const std::string& bytes : hostile) {
        const pkgcheck::InfInstall m = pkgcheck::ReadInfInstall(bytes, InfReader::kWin9x, {}, true, lookup);
        EXPECT_LE(m.files.size(), 20000u);
    }
    const pkgcheck::InfInstall bad = pkgcheck::ReadInfInstall(hostile[3], InfReader::kNt4, {}, true, lookup);
    ASSERT_EQ(1u, bad.notices.size());
    EXPECT_EQ("inf-file-name", bad.notices[0].code);
    EXPECT_NE(std::string::npos, bad.notices[0].message.find("BAD\\x01\\x1B.DRV")) << bad.notices[0].message;
    // The second byte 0x5C of 表 is no backslash in code page 932, and its two bytes fit 8.3.
    const std::string dbcs = CopyInf("[Inst]\r\nCopyFiles=A\r\n[A]\r\n\x95\x5c\x8e\xa6.DRV\r\n");
    for (int page : {932, 1252}) {
        pkgcheck::UseCodePage use(page);
        std::string codes;
        for (const auto& n : pkgcheck::ReadInfInstall(dbcs, InfReader::kWin9x, {}, true, lookup).notices)
            codes += n.code + " ";
        EXPECT_EQ(codes.find("inf-file-name") == std::string::npos, page == 932) << page << ": " << codes;
        EXPECT_EQ(codes.find("inf-long-name") == std::string::npos, page == 932) << page << ": " << codes;
    }
}

// check's reading of a DetectCard entry is the launcher's parser; what the
// genuine launcher then hands the install helper must agree with what check
// says of the entry, for every odd shape of entry.
TEST(PkgCheck, DetectCardEntriesReadAsTheLauncherReadsThem) {
    const char* entries[] = {
        "4139,1313,AGP,1",      "4139,1313,AGP,1,0",   "4139,1313,PCI",          "4139,1313",
        "4139,1313, AGP,1,0",   "4139,1313,agp,1x,0",  "4139,1313,AGP ,1,0",     "4139,1313,AGPAGPAGP,1,0",
        "4139,1313,,AGP,1,0",   "4139,1313,AGP, 1,0",  ",4139,1313,AgP,10,x",    "+4139,1313.5,AGP,1",
        "4139, 1313,A,0",       "4139,1313,AGP\t,1",   "4139,1313,PCIAGP,1,0,9",
    };
    for (const char* entry : entries) {
        const pkgcheck::CardEntryReading r = pkgcheck::ReadCardEntry(entry);
        ASSERT_TRUE(r.namesCard) << entry;
        const std::string script = "[Application]\nW98=DetectCard,Install\n[DetectCard]\n1=" + std::string(entry) +
                                   "\n[Message]\nDetectCard=d\n";
        sim::Machine m;
        ASSERT_TRUE(m.SetVersion("win98"));
        m.currentDirectory = "D:\\CD";
        m.files["D:\\CD\\SETUP.INI"] = script;
        m.AddPciFunction(1, 0, 0, 4139, 1313);
        sim::AddHelperProgram(m, sim::HelperBehaviour());
        sim::RunSetup(m);
        ASSERT_EQ(m.processes.size(), 1u) << entry;
        const std::string expected = std::string("fitter16.exe Enum\\PCI\\VEN_102B&DEV_0521 ") +
                                     (r.agp ? "000800" : "BUS_01&DEV_00&FUNC_00") + " D:\\CD " +
                                     std::to_string(r.helperFlag);
        EXPECT_EQ(m.processes[0].commandLine, expected) << entry;
        // Where check tells the reading, it tells this one.
        TempDir dir("entry");
        dir.Write("SETUP.INI", script);
        for (const Finding& f : CheckPackage(dir.Path()))
            if (f.code == "card-missing-fields")
                EXPECT_NE(f.message.find(r.Describe()), std::string::npos) << entry << ": " << f.message;
    }
}

// The [Message] keys the genuine launcher reads, over runs that reach each
// of its messages: check takes every one of them as shown.
TEST(PkgCheck, MessageKeysAreTheOnesTheLauncherReads) {
    const std::string script = "[Application]\nW98=DetectCard,CheckPCIKey,ShowUSBMsg,Install,ShowMsgDone\n"
                               "[DetectCard]\n1=4660,22136,PCI,1,0\n[Message]\nDetectCard=a\nCheckPCIKey=b\n"
                               "ShowUSBMsg=c\nHelperNotRun=d\nShowMsgDone=e\nNotSupport=f\n";
    const struct {
        const char* version;
        bool card, registered, helper;
        const char* shown; // the key of the last box
    } runs[] = {
        {"win98", false, false, true, "DetectCard"}, {"win98", true, false, true, "CheckPCIKey"},
        {"win98", true, true, false, "ShowMsgDone"}, {"win98", true, true, true, "ShowMsgDone"},
        {"win95", true, true, true, "NotSupport"},
    };
    std::set<std::string> read;
    for (const auto& r : runs) {
        sim::Machine m;
        ASSERT_TRUE(m.SetVersion(r.version));
        m.currentDirectory = "D:\\CD";
        m.files["D:\\CD\\SETUP.INI"] = script;
        m.recordReads = true;
        if (r.card) m.AddPciFunction(1, 0, 0, 0x1234, 0x5678);
        if (r.registered) m.Key("Enum\\PCI\\VEN_1234&DEV_5678\\BUS_01&DEV_00&FUNC_00");
        if (r.helper) sim::AddHelperProgram(m, sim::HelperBehaviour());
        sim::RunSetup(m);
        for (const std::string& e : m.events)
            if (e.rfind("read\tMessage\t", 0) == 0) read.insert(e.substr(13, e.find('\t', 13) - 13));
        ASSERT_FALSE(m.messageBoxes.empty()) << r.version;
    }
    EXPECT_EQ(read, (std::set<std::string>{"DetectCard", "CheckPCIKey", "ShowUSBMsg", "HelperNotRun", "ShowMsgDone",
                                           "NotSupport"}));
    TempDir dir("keys");
    dir.Write("SETUP.INI", script + "Bogus=x\n");
    std::vector<std::string> unused;
    for (const Finding& f : CheckPackage(dir.Path()))
        if (f.code == "unused-message" || f.code == "missing-message") unused.push_back(f.message);
    ASSERT_EQ(unused.size(), 1u) << ::testing::PrintToString(unused);
    EXPECT_NE(unused[0].find("\"Bogus\""), std::string::npos);
    // HelperNotRun is optional: without it the launcher shows no box, and check asks for none.
    TempDir without("nohelpermsg");
    std::string noHelper = script;
    noHelper.erase(noHelper.find("HelperNotRun=d\n"), 15);
    without.Write("SETUP.INI", noHelper);
    for (const Finding& f : CheckPackage(without.Path())) EXPECT_NE(f.code, "missing-message") << f.message;
}
