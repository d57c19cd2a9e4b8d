// The sequence runner on the simulated PC: how the list is read and split,
// how each program is started and waited for, the highest-code rule with its
// prompts, and paths that would not fit. The real processes, boxes and
// restarts are the Wine tier's.
#include "sequor/sequorapp.h"
#include "simwin/programs.h"
#include "tests/support/run.h"
#include <gtest/gtest.h>

extern CSequorApp theSequorApp;

namespace {

const char* kRestart = "System need to restart Windows.\n\nDo you want to RESTART Windows now?";
const char* kReboot = "System need to reboot.\n\nDo you want to REBOOT Windows now?";

struct Sequor : ::testing::Test {
    sim::Machine m;
    Sequor() {
        m.currentDirectory = "C:\\PKG";
        m.directories = {"C:\\work", "C:\\PKG\\tools"};
        for (const char* name : {"a.exe", "b.exe", "c.exe", "first.exe"}) sim::AddPlainProgram(m, name, 0);
    }
    void List(const std::string& lines, const std::string& dir = "C:\\PKG") {
        m.files[dir + "\\sequor95.ini"] = "[ProcessList]\n" + lines;
    }
    std::vector<std::string> Started() const {
        std::vector<std::string> s;
        for (const auto& p : m.processes) s.push_back(p.commandLine + " @ " + p.currentDirectory);
        return s;
    }
};

using Texts = std::vector<std::string>;

} // namespace

TEST_F(Sequor, ProgramIsStartedWithTheDocumentedArguments) {
    List("1=[CWD]\\tools\\first.exe /q,[CWD]\\tools\n");
    EXPECT_EQ(sim::RunSequor(m), 0);
    ASSERT_EQ(m.processes.size(), 1u);
    const sim::Process& p = m.processes[0];
    EXPECT_EQ(p.commandLine, "C:\\PKG\\tools\\first.exe /q");
    EXPECT_EQ(p.currentDirectory, "C:\\PKG\\tools");
    EXPECT_TRUE(p.inheritHandles);
    EXPECT_EQ(p.creationFlags, 0u);
    EXPECT_EQ(p.startup.cb, sizeof(STARTUPINFOA));
    EXPECT_EQ(p.startup.dwFlags, 0x140u);
    EXPECT_EQ(p.startup.wShowWindow, 0);
    EXPECT_EQ(p.startup.hStdInput, nullptr);
    EXPECT_EQ(p.startup.hStdOutput, nullptr);
    EXPECT_EQ(p.startup.hStdError, nullptr);
    EXPECT_EQ(p.startup.lpDesktop, nullptr);
    EXPECT_EQ(m.openHandles, 0);
    EXPECT_TRUE(m.messageBoxes.empty());
    EXPECT_STREQ(theSequorApp.m_szLaunchDir, "C:\\PKG");
}

TEST_F(Sequor, ValuesAreSplitAndNullMeansNone) {
    struct {
        const char* value;
        Texts started;
    } cases[] = {
        {"a.exe,,C:\\work", {"a.exe @ C:\\work"}},
        {",a.exe,C:\\work", {"a.exe @ C:\\work"}},
        {"a.exe,C:\\work,extra", {"a.exe @ C:\\work"}},
        {"a.exe /x y,C:\\work", {"a.exe /x y @ C:\\work"}},
        {"a.exe", {"a.exe @ C:\\PKG"}}, // one field: our own directory
        {"a.exe,null", {"a.exe @ C:\\PKG"}},
        {"a.exe,NULL", {"a.exe @ C:\\PKG"}},
        {"a.exe,Null", {"a.exe @ C:\\PKG"}},
        {"a.exe, null", {}}, // a directory named " null" does not exist
        {"a.exe,null ,x", {}},
        {"a.exe, C:\\work", {}},
        {"null,C:\\work", {}},
        {"NuLL", {}},
        {",,,", {}},
        {"missing.exe,null", {}},
        {"[cwd]\\a.exe,null", {"[cwd]\\a.exe @ C:\\PKG"}}, // the model finds programs by file name
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.files["C:\\PKG\\sequor95.ini"] = std::string("[ProcessList]\n1=") + c.value + "\n2=b.exe\n";
        EXPECT_EQ(sim::RunSequor(run), 0) << c.value;
        Texts expected = c.started;
        expected.push_back("b.exe @ C:\\PKG"); // the next key runs whatever became of this one
        Texts started;
        for (const auto& p : run.processes) started.push_back(p.commandLine + " @ " + p.currentDirectory);
        EXPECT_EQ(started, expected) << c.value;
        EXPECT_EQ(run.hangs, 0) << c.value;
    }
}

TEST_F(Sequor, ListEndsAtTheFirstAbsentOrEmptyKey) {
    struct {
        const char* lines;
        Texts started;
    } cases[] = {
        {"1=a.exe\n2=b.exe\n4=c.exe\n", {"a.exe @ C:\\PKG", "b.exe @ C:\\PKG"}},
        {"01=a.exe\n", {}},
        {"1=a.exe\n2=\n3=c.exe\n", {"a.exe @ C:\\PKG"}},
        {"2=b.exe\n", {}},
        {"1=missing.exe\n2=b.exe\n", {"b.exe @ C:\\PKG"}},
        {"3=c.exe\n1=a.exe\n2=b.exe\n", {"a.exe @ C:\\PKG", "b.exe @ C:\\PKG", "c.exe @ C:\\PKG"}},
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.files["C:\\PKG\\sequor95.ini"] = std::string("[ProcessList]\n") + c.lines;
        sim::RunSequor(run);
        Texts started;
        for (const auto& p : run.processes) started.push_back(p.commandLine + " @ " + p.currentDirectory);
        EXPECT_EQ(started, c.started) << c.lines;
    }
}

TEST_F(Sequor, EachProgramStartsAfterThePreviousEndedAndKeysAreReadInTurn) {
    sim::AddPlainProgram(m, "a.exe", 0, 500);
    sim::AddPlainProgram(m, "b.exe", 0, 300);
    // a.exe adds the second key while it runs: the runner reads it only now.
    auto plain = m.programs["a.exe"].start;
    m.programs["a.exe"].start = [plain](sim::Machine& m, sim::Process& p) {
        m.files["C:\\PKG\\sequor95.ini"] += "2=b.exe\n";
        return plain(m, p);
    };
    List("1=a.exe\n");
    sim::RunSequor(m);
    ASSERT_EQ(m.processes.size(), 2u);
    EXPECT_EQ(m.processes[0].endedMs, 500u);
    EXPECT_GE(m.processes[1].startedMs, m.processes[0].endedMs);
    EXPECT_EQ(m.processes[1].endedMs, 800u);
    EXPECT_EQ(m.openHandles, 0);
}

TEST_F(Sequor, WaitHasNoTimeLimit) {
    sim::AddPlainProgram(m, "forever.exe", 0, -1);
    List("1=forever.exe\n2=b.exe\n");
    EXPECT_EQ(sim::RunSequor(m), sim::kHung);
    EXPECT_EQ(m.hangs, 1);
    EXPECT_EQ(m.processes.size(), 1u);
}

TEST_F(Sequor, HighestExitCodeComparedUnsignedChoosesThePrompt) {
    struct {
        std::vector<DWORD> codes;
        const char* prompt; // NULL: none
    } cases[] = {
        {{0}, nullptr},
        {{1}, kRestart},
        {{2}, kReboot},
        {{1, 2}, kReboot},
        {{2, 1, 0}, kReboot},
        {{1, 3}, nullptr},
        {{0xFFFFFFFFu}, nullptr},
        {{1, 0x80000000u}, nullptr},
        {{259}, nullptr},
        {{}, nullptr}, // every start failed
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        std::string lines = "[ProcessList]\n";
        int key = 1;
        for (DWORD code : c.codes) {
            std::string name = "p" + std::to_string(key) + ".exe";
            sim::AddPlainProgram(run, name, code);
            lines += std::to_string(key++) + "=" + name + ",null\n";
        }
        lines += std::to_string(key) + "=missing.exe\n";
        run.files["C:\\PKG\\sequor95.ini"] = lines;
        run.answers = {IDNO};
        EXPECT_EQ(sim::RunSequor(run), 0) << lines;
        if (!c.prompt) {
            EXPECT_TRUE(run.messageBoxes.empty()) << lines;
            continue;
        }
        ASSERT_EQ(run.messageBoxes.size(), 1u) << lines;
        const sim::MessageBoxRecord& box = run.messageBoxes[0];
        EXPECT_EQ(box.text, c.prompt) << lines;
        EXPECT_EQ(box.caption, "Sequor");
        EXPECT_EQ(box.style, 0x34u);
        EXPECT_FALSE(box.owned);
        EXPECT_TRUE(run.exitWindowsRequests.empty()) << "No leaves the machine alone";
    }
}

TEST_F(Sequor, YesRestartsOrRebootsAndTheExitCodeStaysZero) {
    struct {
        DWORD code;
        int answer;
        std::vector<UINT> requests;
    } cases[] = {
        {1, IDYES, {0x42}}, {2, IDYES, {0x43}}, {1, IDNO, {}}, {2, IDNO, {}}, {2, 0, {0x43}}, // 0: the default, Yes
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        sim::AddPlainProgram(run, "a.exe", c.code);
        run.files["C:\\PKG\\sequor95.ini"] = "[ProcessList]\n1=a.exe\n";
        run.answers = {c.answer};
        EXPECT_EQ(sim::RunSequor(run), 0);
        EXPECT_EQ(run.exitWindowsRequests, c.requests) << c.code << " " << c.answer;
    }
}

TEST_F(Sequor, OnTheNtFamilyTheShutdownPrivilegeIsEnabledBeforeTheRequest) {
    struct {
        const char* version;
        bool held;
        Texts calls;
    } cases[] = {
        {"nt40", true, {"load library: ADVAPI32.DLL", "token: opened for 40", "privilege: looked up SeShutdownPrivilege",
                        "privilege: enabled", "exit windows: 67"}},
        {"nt40", false, {"load library: ADVAPI32.DLL", "token: opened for 40", "privilege: looked up SeShutdownPrivilege",
                         "privilege: not held", "exit windows refused: 67"}},
        // Their token functions are stubs: never called.
        {"win95", true, {"exit windows: 67"}},
        {"win98", true, {"exit windows: 67"}},
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.SetVersion(c.version);
        run.shutdownPrivilegeHeld = c.held;
        sim::AddPlainProgram(run, "a.exe", 2);
        run.files["C:\\PKG\\sequor95.ini"] = "[ProcessList]\n1=a.exe\n";
        run.answers = {IDYES};
        EXPECT_EQ(sim::RunSequor(run), 0);
        Texts calls;
        for (const auto& e : run.events)
            if (e.rfind("load library", 0) == 0 || e.rfind("token", 0) == 0 || e.rfind("privilege", 0) == 0 ||
                e.rfind("exit windows", 0) == 0)
                calls.push_back(e);
        EXPECT_EQ(calls, c.calls) << c.version << " " << c.held;
        EXPECT_EQ(run.openHandles, 0) << c.version;
    }
}

TEST_F(Sequor, LaunchDirectoryAndCwdExpansion) {
    struct {
        const char* cwd;
        const char* value;
        const char* launch;
        Texts started;
        UINT codePage = 1252;
    } cases[] = {
        {"C:\\", "[CWD]\\a.exe,[CWD]\\", "C:", {"C:\\a.exe @ C:\\"}},
        {"C:\\work\\", "[CWD]\\a.exe [CWD],[CWD]", "C:\\work", {"C:\\work\\a.exe C:\\work @ C:\\work"}},
        // Expansion comes before splitting: the comma splits the directory.
        {"D:\\x,y", "[CWD]\\a.exe,null", "D:\\x,y", {"D:\\x @ y\\a.exe"}},
        // Inserted text is not expanded again.
        {"C:\\[CWD]", "[CWD]\\a.exe,[CWD]", "C:\\[CWD]", {"C:\\[CWD]\\a.exe @ C:\\[CWD]"}},
        // The second byte of a double-byte character is no backslash.
        {"C:\\\x95\x5C", "[CWD]\\a.exe,[CWD]", "C:\\\x95\x5C", {"C:\\\x95\x5C\\a.exe @ C:\\\x95\x5C"}, 932},
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.currentDirectory = c.cwd;
        run.codePage = c.codePage;
        run.directories.push_back(c.launch);
        run.directories.push_back("y\\a.exe");
        run.directories.push_back("C:\\[CWD]");
        sim::AddPlainProgram(run, "x", 0);
        std::string launch = c.launch;
        run.files[launch + "\\sequor95.ini"] = std::string("[ProcessList]\n1=") + c.value + "\n";
        sim::RunSequor(run);
        EXPECT_STREQ(theSequorApp.m_szLaunchDir, c.launch) << c.cwd;
        Texts started;
        for (const auto& p : run.processes) started.push_back(p.commandLine + " @ " + p.currentDirectory);
        EXPECT_EQ(started, c.started) << c.cwd;
        EXPECT_EQ(run.hangs, 0);
    }
}

// An expanded value that would outgrow its 255 characters is not run with a
// cut path: that entry is skipped and the list goes on.
TEST_F(Sequor, ExpansionThatWouldNotFitSkipsTheEntry) {
    const std::string tail = "\\a.exe,null"; // 11 characters after the launch directory
    struct {
        size_t launchLength;
        bool runs;
    } cases[] = {{244, true}, {245, false}};
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.currentDirectory = "C:\\" + std::string(c.launchLength - 3, 'L');
        run.files[run.currentDirectory + "\\sequor95.ini"] = "[ProcessList]\n1=[CWD]" + tail + "\n2=b.exe\n";
        sim::RunSequor(run);
        ASSERT_EQ(run.processes.size(), c.runs ? 2u : 1u) << c.launchLength;
        if (c.runs) EXPECT_EQ(run.processes[0].commandLine, run.currentDirectory + "\\a.exe");
        EXPECT_EQ(run.processes.back().commandLine, "b.exe");
    }
}

// The launch directory fills at most 259 characters and the list path
// "\sequor95.ini" needs 13 more: a path that would not fit is not cut into
// the name of some other file, and nothing is read.
TEST_F(Sequor, DirectoryOrListPathThatDoesNotFitReadsNothing) {
    struct {
        size_t cwdLength;
        bool fails;
        bool reads;
    } cases[] = {{246, false, true}, {247, false, false}, {259, false, false}, {300, false, false}, {6, true, false}};
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.currentDirectory = "C:\\" + std::string(c.cwdLength - 3, 'D');
        run.currentDirectoryFails = c.fails;
        run.files[run.currentDirectory + "\\sequor95.ini"] = "[ProcessList]\n1=a.exe\n";
        EXPECT_EQ(sim::RunSequor(run), 0);
        EXPECT_EQ(run.profileReads > 0, c.reads) << c.cwdLength;
        EXPECT_EQ(run.processes.size(), c.reads ? 1u : 0u) << c.cwdLength;
        EXPECT_LT(strlen(theSequorApp.m_szLaunchDir), sizeof theSequorApp.m_szLaunchDir);
    }
}
