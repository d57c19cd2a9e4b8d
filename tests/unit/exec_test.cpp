// Exec entries on the simulated PC: the program value's tokens and fields,
// the shell request it makes, and values whose expansion would not fit.
// What the opened program then does is left to the Wine tier.
#include "framework/text.h"
#include "setup/setupapp.h"
#include "tests/support/run.h"
#include <gtest/gtest.h>

extern CSetupApp theApp;

namespace {

// A machine whose script runs Exec, then shows "After" (the walk went on).
sim::Machine WithProgram(const std::string& value, const std::string& cwd = "D:\\CD",
                         const std::string& scriptDir = "") {
    sim::Machine m;
    m.currentDirectory = cwd;
    m.files[(scriptDir.empty() ? cwd : scriptDir) + "\\SETUP.INI"] =
        "[Application]\nW98=Exec,ShowMsg\n[Exec]\nprogram=" + value + "\n[Message]\nShowMsg=After\n";
    return m;
}

bool WalkWentOn(const sim::Machine& m) {
    return m.messageBoxes.size() == 1 && m.messageBoxes[0].text == "After";
}

} // namespace

TEST(Exec, ValueIsExpandedSplitAndOpenedThroughTheShell) {
    struct {
        const char* value;
        const char* file;
        const char* directory;
    } cases[] = {
        {"[CWD]\\SETUP\\README.TXT,x,[CWD]\\SETUP", "D:\\CD\\SETUP\\README.TXT", "D:\\CD\\SETUP"},
        {"[CWD][CWD],x,d", "D:\\CDD:\\CD", "d"},
        {"a.exe,x, dir", "a.exe", " dir"},
        {"a.exe,,,x,,dir", "a.exe", "dir"},
        {",,a.exe,x,dir,extra", "a.exe", "dir"},
        {"a.exe ,x , dir", "a.exe ", " dir"}, // the reader trims only the value's ends
        {"[cwd]\\a.exe,x,[Cwd]", "[cwd]\\a.exe", "[Cwd]"},
        {"[CWD\\a.exe,x,[X]", "[CWD\\a.exe", "[X]"},
        {"[[CWD]]\\a.exe,x,d", "[D:\\CD]\\a.exe", "d"},
        // [OS] stands for nothing, as scripts written for the launcher expect.
        {"[CWD][OS]\\a.exe,x,[OS]d", "D:\\CD\\a.exe", "d"},
        {"[os]\\a.exe,x,d", "[os]\\a.exe", "d"},
        // Without a third field the file still opens, in no set directory.
        {"a.exe", "a.exe", ""},
        {"a.exe,C:\\dir", "a.exe", ""},
    };
    for (const auto& c : cases) {
        sim::Machine m = WithProgram(c.value);
        EXPECT_EQ(sim::RunSetup(m), 0) << c.value;
        ASSERT_EQ(m.shellOpens.size(), 1u) << c.value;
        const sim::ShellOpen& o = m.shellOpens[0];
        EXPECT_EQ(o.verb, "open") << c.value;
        EXPECT_EQ(o.file, c.file) << c.value;
        EXPECT_EQ(o.parameters, "") << c.value;
        EXPECT_EQ(o.directory, c.directory) << c.value;
        EXPECT_EQ(o.show, SW_SHOWNORMAL) << c.value;
        EXPECT_TRUE(WalkWentOn(m)) << c.value;
    }
}

TEST(Exec, NothingToOpenOpensNothingAndTheWalkGoesOn) {
    for (const char* value : {"", ",,,", ","}) {
        sim::Machine m = WithProgram(value);
        sim::RunSetup(m);
        EXPECT_TRUE(m.shellOpens.empty()) << value;
        EXPECT_TRUE(WalkWentOn(m)) << value;
    }
    sim::Machine noSection;
    noSection.currentDirectory = "D:\\CD";
    noSection.files["D:\\CD\\SETUP.INI"] = "[Application]\nW98=ExecMissing,End\n";
    sim::RunSetup(noSection);
    EXPECT_TRUE(noSection.shellOpens.empty());
}

TEST(Exec, EachEntryNamesItsOwnSectionAndNoneIsWaitedFor) {
    sim::Machine m;
    m.currentDirectory = "D:\\CD";
    m.files["D:\\CD\\SETUP.INI"] = "[Application]\nW98=Exec1,exec2,Exec1\n"
                                   "[Exec1]\nprogram=one.exe,x,[CWD]\n[EXEC2]\nprogram=two.txt,x,C:\\\n";
    sim::RunSetup(m);
    ASSERT_EQ(m.shellOpens.size(), 3u);
    EXPECT_EQ(m.shellOpens[0].file, "one.exe");
    EXPECT_EQ(m.shellOpens[1].file, "two.txt");
    EXPECT_EQ(m.shellOpens[1].directory, "C:\\");
    EXPECT_EQ(m.shellOpens[2].file, "one.exe");
    EXPECT_EQ(m.nowMs, 0u);
    EXPECT_TRUE(m.processes.empty());
}

TEST(Exec, CwdIsTheLaunchDirectoryWithItsArgumentTextNeverTheOsDirectory) {
    sim::Machine m = WithProgram("[CWD]\\a.exe,x,[CWD]", "D:\\CD", "D:\\CD\\DISK1");
    m.files["D:\\CD\\DISK1\\SETUP.INI"] += "[SubDir]\nW98=\\WIN98\n";
    sim::RunSetup(m, "\\DISK1");
    ASSERT_EQ(m.shellOpens.size(), 1u);
    EXPECT_EQ(m.shellOpens[0].file, "D:\\CD\\DISK1\\a.exe");
    EXPECT_EQ(m.shellOpens[0].directory, "D:\\CD\\DISK1");
    EXPECT_STREQ(theApp.m_szOsDirectory, "D:\\CD\\DISK1\\WIN98");

    sim::Machine root = WithProgram("[CWD]\\a.exe,x,[CWD]\\", "D:\\", "D:");
    sim::RunSetup(root);
    ASSERT_EQ(root.shellOpens.size(), 1u);
    EXPECT_EQ(root.shellOpens[0].file, "D:\\a.exe");
    EXPECT_EQ(root.shellOpens[0].directory, "D:\\");
}

// Inserted text is never searched again, so a launch directory holding the
// token itself ends; a result longer than the 255 characters of the value
// buffer opens nothing rather than a path cut short.
TEST(Exec, ExpansionEndsAndNeverOutgrowsTheValue) {
    sim::Machine self = WithProgram("[CWD]\\a.exe,x,[CWD]", "D:\\[CWD]");
    sim::RunSetup(self);
    ASSERT_EQ(self.shellOpens.size(), 1u);
    EXPECT_EQ(self.shellOpens[0].file, "D:\\[CWD]\\a.exe");
    EXPECT_EQ(self.shellOpens[0].directory, "D:\\[CWD]");

    const std::string tail = "\\a.exe,x,d"; // 10 characters after the launch directory
    struct {
        size_t launchLength;
        bool opened;
    } cases[] = {{245, true}, {246, false}, {249, false}};
    for (const auto& c : cases) {
        std::string dir = "D:\\" + std::string(c.launchLength - 3, 'A');
        sim::Machine m = WithProgram("[CWD]" + tail, dir);
        sim::RunSetup(m);
        ASSERT_EQ(m.shellOpens.size(), c.opened ? 1u : 0u) << c.launchLength;
        if (c.opened) EXPECT_EQ(m.shellOpens[0].file, dir + "\\a.exe");
        EXPECT_TRUE(WalkWentOn(m)) << c.launchLength;
    }

    // Many short tokens growing past the buffer: refused, not cut.
    std::string many;
    for (int i = 0; i < 40; ++i) many += "[CWD]";
    sim::Machine m = WithProgram(many + ",x,d", "D:\\ABCDEFG");
    sim::RunSetup(m);
    EXPECT_TRUE(m.shellOpens.empty());
}

// A result that fits the work buffer but not the caller's value: FALSE, and
// the value is not left cut (found by fuzz_tokens).
TEST(Exec, ExpansionThatDoesNotFitLeavesTheValueAsItWas) {
    CopyText(theApp.m_szLaunchDir, sizeof theApp.m_szLaunchDir, std::string(200, 'L').c_str());
    theApp.m_szOsTokenText[0] = '\0';
    char value[256] = "[CWD]\\a.exe,x,[CWD]";
    EXPECT_FALSE(theApp.ExpandPathTokens(value, sizeof value));
    EXPECT_STREQ(value, "[CWD]\\a.exe,x,[CWD]");
    char wide[512] = "[CWD]\\a.exe,x,[CWD]";
    EXPECT_TRUE(theApp.ExpandPathTokens(wide, sizeof wide));
    EXPECT_EQ(std::string(wide), std::string(200, 'L') + "\\a.exe,x," + std::string(200, 'L'));
}
