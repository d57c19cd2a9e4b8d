// The launcher's spine on the simulated PC: launch directory, script path,
// OS key and directory, the command walk and its messages, and the limits of
// every path buffer. What a run shows is read back from the machine.
#include "setup/setupapp.h"
#include "setup/win9x.h"
#include "tests/support/run.h"
#include <gtest/gtest.h>

extern CSetupApp theApp;

namespace {

struct Launcher : ::testing::Test {
    sim::Machine m;
    Launcher() { m.currentDirectory = "D:\\CD"; }
    void Script(const std::string& text, const std::string& dir = "D:\\CD") { m.files[dir + "\\SETUP.INI"] = text; }
    std::vector<std::string> Shown() const {
        std::vector<std::string> t;
        for (const auto& b : m.messageBoxes) t.push_back(b.text);
        return t;
    }
};

const char* kMessages =
    "[Message]\n"
    "NotSupport=Not supported\n"
    "ShowMsg=Hello\n"
    "ShowMsgBye=Bye\\nnow\n"
    "ShowMsg2=Second\n";

using Texts = std::vector<std::string>;

} // namespace

TEST_F(Launcher, CommandListOfTheRunningVersionIsWalked) {
    Script(std::string("[Application]\nW98=ShowMsgBye\nW95A=ShowMsg\nNT40=ShowMsg2\nWINNT=ShowMsg\n") + kMessages);
    struct {
        const char* version;
        const char* key;
        const char* shown;
    } cases[] = {{"win98", "W98", "Bye\r\nnow"}, {"win95", "W95A", "Hello"}, {"nt40", "NT40", "Second"},
                 {"win10", "WINNT", "Hello"},    {"nt351", "NT35X", "Not supported"}};
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.SetVersion(c.version);
        EXPECT_EQ(sim::RunSetup(run), 0) << c.version;
        EXPECT_STREQ(theApp.m_szOsKey, c.key) << c.version;
        ASSERT_EQ(run.messageBoxes.size(), 1u) << c.version;
        EXPECT_EQ(run.messageBoxes[0].text, c.shown) << c.version;
        EXPECT_EQ(run.messageBoxes[0].caption, "SETUP");
        EXPECT_EQ(run.messageBoxes[0].style, (UINT)(MB_OK | MB_ICONEXCLAMATION));
        EXPECT_FALSE(run.messageBoxes[0].owned);
    }
}

TEST_F(Launcher, MissingListScriptOrKeyGivesNotSupportOnceAndExitCodeZero) {
    sim::Machine noScript = m;
    EXPECT_EQ(sim::RunSetup(noScript), 0);
    ASSERT_EQ(noScript.messageBoxes.size(), 1u);
    EXPECT_EQ(noScript.messageBoxes[0].text, ""); // no script, no NotSupport text: an empty box

    Script(std::string("[Application]\nW98=\nW95A=ShowMsg\n") + kMessages);
    EXPECT_EQ(sim::RunSetup(m), 0);
    EXPECT_EQ(Shown(), Texts{"Not supported"});
    EXPECT_EQ(m.quitRequests, 2); // the empty list's own request, then the loop's
}

TEST_F(Launcher, WalkRulesOfTheCommandTable) {
    // This PC has no card, no PCI enumeration and no install helper: each
    // command that runs leaves its own trace (a message, or the exit code
    // of a helper that could not be started).
    const int kNoHelper = kExitHelperNotRun;
    struct {
        const char* list;
        Texts shown;
        int quitRequests;
        int exitCode;
    } cases[] = {
        {",,Install,,End,", {}, 2, kNoHelper},
        {"Ending,End2,ShowMsg2", {"Second"}, 1, 0},
        {"end,ShowMsg", {}, 2, 0},
        {"ShowMsg,ShowMsg2", {"Hello"}, 1, 0},              // ShowMsg ends the list even after OK
        {"Nothing, ShowMsg,ShowMsgBye", {"Bye\r\nnow"}, 1, 0}, // a leading blank matches nothing
        {"Exec,Install,ShowMsg2", {"Second"}, 1, kNoHelper}, // commands go on to the next entry
        {"detectcard2,ShowMsg2", {"Second2"}, 1, 0},         // DetectCard fails with its own key and stops
        {"CheckPCIKey,ShowMsg2", {"Check"}, 1, 0},           // so does CheckPCIKey, with its fixed key
        {"showmsgbye", {"Bye\r\nnow"}, 1, 0}, // the entry is the key; the reader finds keys in any case
        {"Nothing,Else", {}, 1, 0},
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.files["D:\\CD\\SETUP.INI"] =
            std::string("[Application]\nW98=") + c.list + "\n" + kMessages + "detectcard2=Second2\nCheckPCIKey=Check\n";
        EXPECT_EQ(sim::RunSetup(run), c.exitCode) << c.list;
        Texts shown;
        for (auto& b : run.messageBoxes) shown.push_back(b.text);
        EXPECT_EQ(shown, c.shown) << c.list;
        EXPECT_EQ(run.quitRequests, c.quitRequests) << c.list;
    }
}

TEST_F(Launcher, NamesAreFoundWithoutRegardToCase) {
    Script("[application]\nw98=showmsg\n[MESSAGE]\nSHOWMSG=found\n");
    sim::RunSetup(m);
    EXPECT_EQ(Shown(), Texts{"found"});
}

TEST_F(Launcher, CommandListIsCutAfter255Characters) {
    std::string list(250, 'x');
    list += ",ShowMsg2"; // "Show" survives the cut and is no command
    Script("[Application]\nW98=" + list + "\n" + kMessages);
    sim::RunSetup(m);
    EXPECT_TRUE(m.messageBoxes.empty());

    std::string cut(247, 'x');
    cut += ",ShowMsg2"; // cut to "ShowMsg", which then names its key
    Script("[Application]\nW98=" + cut + "\n" + kMessages);
    sim::RunSetup(m);
    EXPECT_EQ(Shown(), Texts{"Hello"});
}

TEST_F(Launcher, LaunchDirectoryScriptPathAndOsDirectory) {
    const char* script = "[Application]\nW98=End\n[SubDir]\nW98=\\WIN95\nWIN95=\\OTHER\nW95A=WIN95\n";
    struct {
        const char* cwd;
        const char* args;
        const char* version;
        const char* launch;
        const char* ini;
        const char* osdir;
        UINT codePage = 1252;
    } cases[] = {
        {"D:\\CD", "", "win98", "D:\\CD", "D:\\CD\\SETUP.INI", "D:\\CD\\WIN95"},
        {"D:\\CD\\", "", "win98", "D:\\CD", "D:\\CD\\SETUP.INI", "D:\\CD\\WIN95"},
        {"D:\\", "", "win98", "D:", "D:\\SETUP.INI", "D:\\WIN95"},
        {"D:\\CD", "\\DISK1", "win98", "D:\\CD\\DISK1", "D:\\CD\\DISK1\\SETUP.INI", "D:\\CD\\DISK1\\WIN95"},
        {"D:\\CD", "\\DISK1 ", "win98", "D:\\CD\\DISK1 ", "D:\\CD\\DISK1 \\SETUP.INI", "D:\\CD\\DISK1 \\WIN95"},
        {"D:\\DISK1", "", "win95", "D:\\DISK1", "D:\\DISK1\\SETUP.INI", "D:\\DISK1WIN95"},
        {"D:\\CD", "", "nt351", "D:\\CD", "D:\\CD\\SETUP.INI", "D:\\CD"},
        // A folder whose name ends in a double-byte character with 0x5C as
        // its second byte (Japanese Windows): that byte is no backslash.
        {"D:\\\x95\x5C", "", "win98", "D:\\\x95\x5C", "D:\\\x95\x5C\\SETUP.INI", "D:\\\x95\x5C\\WIN95", 932},
        {"D:\\\x95\x5C\\", "", "win98", "D:\\\x95\x5C", "D:\\\x95\x5C\\SETUP.INI", "D:\\\x95\x5C\\WIN95", 932},
    };
    for (const auto& c : cases) {
        sim::Machine run;
        run.SetVersion(c.version);
        run.codePage = c.codePage;
        run.currentDirectory = c.cwd;
        run.files[c.ini] = script;
        sim::RunSetup(run, c.args);
        EXPECT_STREQ(theApp.m_szLaunchDir, c.launch) << c.cwd << c.args;
        EXPECT_STREQ(theApp.m_szIniPath, c.ini) << c.cwd << c.args;
        EXPECT_STREQ(theApp.m_szOsDirectory, c.osdir) << c.cwd << c.args << c.version;
    }
}

TEST_F(Launcher, SubDirIsReadOnlyForKindsThatHaveOne) {
    Script("[Application]\nW95B=End\nWIN95=End\nNT40=End\nWINNT=End\n"
           "[SubDir]\nW95B=\\W95B\nWIN95=\\X\nNT40=\\NT40\nWINNT=\\X\nNT35X=\\X\nNT31=\\X\n");
    struct {
        DWORD platform, major, minor;
        const char* csd;
        const char* osdir;
    } cases[] = {
        {1, 4, 0, " B", "D:\\CD\\W95B"}, {1, 4, 0, " A", "D:\\CD"}, {2, 4, 0, "", "D:\\CD\\NT40"},
        {2, 5, 0, "", "D:\\CD"},          {2, 3, 51, "", "D:\\CD"},  {2, 3, 1, "", "D:\\CD"},
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.platformId = c.platform;
        run.majorVersion = c.major;
        run.minorVersion = c.minor;
        run.csdVersion = c.csd;
        sim::RunSetup(run);
        EXPECT_STREQ(theApp.m_szOsDirectory, c.osdir) << c.major << "." << c.minor << c.csd;
    }
}

TEST_F(Launcher, VersionOutsideTheTableReadsTheEmptyKey) {
    m.platformId = 3;
    Script(std::string("[Application]\n=ShowMsg2\n") + kMessages);
    sim::RunSetup(m);
    EXPECT_STREQ(theApp.m_szOsKey, "");
    EXPECT_STREQ(theApp.m_szOsDirectory, "D:\\CD");
}

TEST_F(Launcher, UnreadableCurrentDirectoryReadsTheScriptInTheDriveRoot) {
    m.currentDirectoryFails = true;
    m.files["D:\\SETUP.INI"] = std::string("[Application]\nW98=ShowMsg\n") + kMessages;
    sim::RunSetup(m, "\\DISK1");
    EXPECT_STREQ(theApp.m_szLaunchDir, "");
    EXPECT_STREQ(theApp.m_szIniPath, "\\SETUP.INI");
}

// Paths that would not fit their buffers are never cut: a cut script path
// would read some other file, so the script counts as one that cannot be
// opened; a cut OS directory would install from the wrong place.
TEST_F(Launcher, OverlongPathsNeverOverrunAndNeverNameAnotherPlace) {
    std::string dir249 = "D:\\" + std::string(246, 'A'); // launch directory of 249: script path of 259
    std::string dir250 = dir249 + "B";
    struct {
        std::string cwd, args;
        bool readable;
    } cases[] = {
        {dir249, "", true},
        {dir250, "", false},
        {"D:\\CD", "\\" + std::string(300, 'x'), false},
        {"D:\\" + std::string(256, 'Z'), "", false}, // current directory longer than the launch buffer
        {"D:\\CD", std::string(252, 'y'), false},
    };
    for (const auto& c : cases) {
        sim::Machine run;
        run.currentDirectory = c.cwd;
        std::string launch = c.cwd + c.args;
        run.files[launch + "\\SETUP.INI"] = std::string("[Application]\nW98=ShowMsg\n") + kMessages;
        sim::RunSetup(run, c.args);
        ASSERT_EQ(run.messageBoxes.size(), 1u);
        EXPECT_EQ(run.messageBoxes[0].text, c.readable ? "Hello" : "") << c.cwd.size() << "+" << c.args.size();
        EXPECT_LT(strlen(theApp.m_szLaunchDir), sizeof theApp.m_szLaunchDir);
        EXPECT_LT(strlen(theApp.m_szIniPath), sizeof theApp.m_szIniPath);
    }
}

TEST_F(Launcher, OsDirectoryThatWouldNotFitIsRefused) {
    std::string dir = "D:\\" + std::string(200, 'A');
    sim::Machine run;
    run.currentDirectory = dir;
    run.files[dir + "\\SETUP.INI"] = "[Application]\nW98=End\n[SubDir]\nW98=\\" + std::string(58, 'S') + "\n";
    sim::RunSetup(run);
    EXPECT_FALSE(theApp.m_bOsDirectoryFits); // 203 + 59 characters
    EXPECT_STREQ(theApp.m_szOsDirectory, "");
    run.files[dir + "\\SETUP.INI"] = "[Application]\nW98=End\n[SubDir]\nW98=\\" + std::string(55, 'S') + "\n";
    sim::RunSetup(run);
    EXPECT_TRUE(theApp.m_bOsDirectoryFits);
    EXPECT_EQ(strlen(theApp.m_szOsDirectory), 259u);
}
