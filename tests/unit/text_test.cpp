// Comma splitting, bounded copies, keyword matching, token replacement and
// the argument text: the platform-free pieces every script read goes through.
#include "framework/cmdline.h"
#include "framework/fields.h"
#include "framework/text.h"
#include "framework/tokens.h"
#include "setup/commands.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

static std::vector<std::string> Split(const char* value, size_t size = 256) {
    std::vector<std::string> fields;
    std::vector<char> field(size);
    const char* pos = value;
    while (NextField(&pos, field.data(), size)) fields.push_back(field.data());
    return fields;
}

TEST(Fields, RunsOfCommasAreOneSeparatorAndNothingIsTrimmed) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split(",,Install,,End,"), (V{"Install", "End"}));
    EXPECT_EQ(Split("a.exe,,,x,,dir"), (V{"a.exe", "x", "dir"}));
    EXPECT_EQ(Split("4660,22136, AGP, 1,0"), (V{"4660", "22136", " AGP", " 1", "0"}));
    EXPECT_EQ(Split(""), V{});
    EXPECT_EQ(Split(",,,"), V{});
    EXPECT_EQ(Split(" "), V{" "});
}

TEST(Fields, LongFieldIsCutButTheWalkStillMovesPastIt) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split("ABCDEFGHIJ,K", 4), (V{"ABC", "K"}));
    // A field of size 1 holds nothing, yet is still a field.
    EXPECT_EQ(Split("AB,C", 1).size(), 2u);
}

TEST(Text, CopiesAreBoundedAndReportWhetherEverythingFitted) {
    char buf[8];
    EXPECT_TRUE(CopyText(buf, sizeof buf, "1234567"));
    EXPECT_STREQ(buf, "1234567");
    EXPECT_FALSE(CopyText(buf, sizeof buf, "12345678"));
    EXPECT_STREQ(buf, "1234567");
    CopyText(buf, sizeof buf, "abc");
    EXPECT_TRUE(AppendText(buf, sizeof buf, "defg"));
    EXPECT_FALSE(AppendText(buf, sizeof buf, "h"));
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_TRUE(CopyTextN(buf, sizeof buf, "abcdef", 3));
    EXPECT_STREQ(buf, "abc");
}

TEST(Text, CaseRulesOfComparisons) {
    EXPECT_TRUE(EqualNoCase("End", "eND"));
    EXPECT_FALSE(EqualNoCase("End", "End2"));
    EXPECT_FALSE(EqualNoCase("En", "End"));
    EXPECT_TRUE(StartsWithNoCase("detectcardAGP", "DetectCard"));
    EXPECT_FALSE(StartsWithNoCase("Detect", "DetectCard"));
    EXPECT_EQ(FindText("VEN_1234&DEV_5678&SUBSYS", "DEV_5678") - "VEN_1234&DEV_5678&SUBSYS", 9);
    EXPECT_EQ(FindText("ven_1234", "VEN_1234"), nullptr);
    EXPECT_NE(FindText("", ""), nullptr);
}

TEST(Commands, MatchedInTableOrderByPrefixEndAsWholeEntry) {
    struct {
        const char* entry;
        ScriptCommand command;
    } cases[] = {
        {"DetectCard", kCmdDetectCard}, {"detectcard2", kCmdDetectCard}, {"DETECTCARDAGP", kCmdDetectCard},
        {"CheckPCIKey", kCmdCheckPciKey}, {"checkpcikeyX", kCmdCheckPciKey}, {"ShowMsg", kCmdShowMsg},
        {"ShowMsgBye", kCmdShowMsg}, {"ShowUSBMsg", kCmdShowUsbMsg}, {"showusbmsg2", kCmdShowUsbMsg},
        {"Install", kCmdInstall}, {"InstallNow", kCmdInstall}, {"Exec", kCmdExec}, {"ExecReadme", kCmdExec},
        {"End", kCmdEnd}, {"end", kCmdEnd}, {"Ending", kCmdNone}, {"End2", kCmdNone}, {" Exec", kCmdNone},
        {"Detect", kCmdNone}, {"Show", kCmdNone}, {"", kCmdNone}, {"Exe", kCmdNone},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchCommand(c.entry), c.command) << c.entry;
}

TEST(Tokens, EveryOccurrenceReplacedAndInsertedTextNeverSearchedAgain) {
    char v[256] = "[CWD]\\SETUP\\README.TXT,x,[CWD]\\SETUP";
    EXPECT_TRUE(ExpandToken(v, sizeof v, "[CWD]", "D:\\CD"));
    EXPECT_STREQ(v, "D:\\CD\\SETUP\\README.TXT,x,D:\\CD\\SETUP");

    char w[256] = "[CWD]\\a.exe [cwd]";
    EXPECT_TRUE(ExpandToken(w, sizeof w, "[CWD]", "C:\\[CWD]"));
    EXPECT_STREQ(w, "C:\\[CWD]\\a.exe [cwd]");

    char x[32] = "[OS]x[OS]";
    EXPECT_TRUE(ExpandToken(x, sizeof x, "[OS]", ""));
    EXPECT_STREQ(x, "x");
}

TEST(Tokens, ResultThatDoesNotFitIsRefusedAndTheValueKept) {
    char v[16] = "[CWD]\\a.exe";
    EXPECT_FALSE(ExpandToken(v, sizeof v, "[CWD]", "C:\\A\\LONG\\DIR"));
    EXPECT_STREQ(v, "[CWD]\\a.exe");
    char w[16] = "[CWD]\\a";
    EXPECT_TRUE(ExpandToken(w, sizeof w, "[CWD]", "C:\\ABCDEF"));
    EXPECT_STREQ(w, "C:\\ABCDEF\\a"); // 11 of 15 characters
}

TEST(CommandLine, ArgumentTextFollowsTheProgramName) {
    EXPECT_STREQ(SkipProgramName("setup.exe"), "");
    EXPECT_STREQ(SkipProgramName("setup.exe \\DISK1"), "\\DISK1");
    EXPECT_STREQ(SkipProgramName("\"C:\\My Disk\\setup.exe\"\\DISK1  "), "\\DISK1  ");
    EXPECT_STREQ(SkipProgramName("setup.exe \t\r\n x y "), "x y ");
    EXPECT_STREQ(SkipProgramName("\"unterminated"), "");
    EXPECT_STREQ(SkipProgramName("setup\t-x"), "-x");
}
