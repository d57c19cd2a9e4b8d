// The package tool's dry run: the PC it is told to build, and the transcript
// of the genuine programs on it. What the programs do is tested elsewhere;
// here, that the description reaches the simulated PC as meant and that the
// transcript keeps what happened, in order.
#include "tools/pkgtool/formats/cardnames.h"
#include "tools/pkgtool/check/check.h"
#include "tools/pkgtool/dryrun/dryrun.h"
#include "tools/pkgtool/report/transcript.h"
#include <algorithm>
#include <filesystem>
#include <fstream>
#include "tests/unit/schema.h"
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Package {
    fs::path dir;
    explicit Package(const std::string& setupIni, const std::string& sequorIni = "") {
        dir = fs::temp_directory_path() / ("pkgrun-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(dir / "WIN95");
        if (!setupIni.empty()) std::ofstream(dir / "SETUP.INI") << setupIni;
        if (!sequorIni.empty()) std::ofstream(dir / "sequor95.ini") << sequorIni;
    }
    ~Package() { fs::remove_all(dir); }
    static int counter;
};
int Package::counter = 0;

bool Explains(const TranscriptEvent& e) {
    return e.kind == "commands" || e.kind == "detect" || e.kind == "pcikey" || e.kind == "install";
}

// What the machine saw, without the steps' explanations.
std::vector<std::string> Kinds(const Transcript& t) {
    std::vector<std::string> k;
    for (const auto& e : t.events)
        if (!Explains(e)) k.push_back(e.kind + (e.kind == "applet" || e.kind == "helper" ? ":" + e.Field("what") : ""));
    return k;
}

// The first event of a kind; an empty one when there is none.
TranscriptEvent First(const Transcript& t, const std::string& kind) {
    for (const auto& e : t.events)
        if (e.kind == kind) return e;
    return TranscriptEvent();
}

const char* kScript = "[Application]\nW98=DetectCard,Install,ShowMsgDone\nW95A=DetectCard2,ShowMsgDone\n"
                      "NT40=Install,ShowMsgDone\n[SubDir]\nW98=\\WIN95\nNT40=\\NT40\n"
                      "[DetectCard]\n1=4660,22136,PCI,1,0\n[DetectCard2]\n1=4096,8192,AGP,0,0\n"
                      "[Message]\nShowMsgDone=Done.\nDetectCard2=No card.\n";

} // namespace

TEST(PkgRun, OptionsAndMachineFileErrorsAreSaid) {
    PcSpec spec;
    EXPECT_EQ(ApplyPcOption(spec, "card", "1234:5678@1:0:0"), "");
    EXPECT_EQ(ApplyPcOption(spec, "card", "4660,22136"), "");      // the script's decimal form
    EXPECT_NE(ApplyPcOption(spec, "card", "70196,22136"), "");     // beyond 16 bits
    EXPECT_NE(ApplyPcOption(spec, "card", "4660:22136").find("did you mean --card 4660,22136?"), std::string::npos);
    EXPECT_NE(ApplyPcOption(spec, "os", "W97").find("did you mean W98?"), std::string::npos);
    EXPECT_NE(ApplyPcOption(spec, "card", "1234:5678@1:32:0"), ""); // device numbers end at 31
    EXPECT_NE(ApplyPcOption(spec, "os", "W97"), "");
    EXPECT_NE(ApplyPcOption(spec, "answer", "OK,Maybe"), "");
    EXPECT_NE(ApplyPcOption(spec, "dir", "CD"), "");
    EXPECT_NE(ApplyPcOption(spec, "colour", "blue"), "");
    ASSERT_EQ(spec.cards.size(), 2u);
    EXPECT_EQ(spec.cards[0].vendor, 0x1234u);
    EXPECT_EQ(spec.cards[1].device, 0x5678u);

    Package p("");
    std::ofstream(p.dir / "pc.txt") << "# a PC\nos = NT40\nno-card\nanswer = Yes, No\nhelper-exit = nine\n";
    PcSpec fromFile;
    EXPECT_NE(ReadMachineFile(fromFile, (p.dir / "pc.txt").string()).find("pc.txt:5: helper-exit"), std::string::npos);
    EXPECT_EQ(fromFile.os, "NT40");
    EXPECT_TRUE(fromFile.cardsGiven);
    EXPECT_EQ(fromFile.answers, (std::vector<int>{IDYES, IDNO}));
}

TEST(PkgRun, OsKeysAreCapitalsAndWineNamesSmallLetters) {
    Package p("[Application]\nWIN95=ShowMsgKey\nW95A=ShowMsgWine\n[Message]\nShowMsgKey=key\nShowMsgWine=wine\n");
    for (auto c : {std::make_pair("WIN95", "key"), std::make_pair("win95", "wine"), std::make_pair("1.4.0", "wine"),
                   std::make_pair("1.4.0: A", "key")}) {
        PcSpec spec;
        ASSERT_EQ(ApplyPcOption(spec, "os", c.first), "");
        Transcript t = DryRun("setup", spec, p.dir.string());
        EXPECT_EQ(First(t, "box").Field("text"), c.second) << c.first;
    }
}

TEST(PkgRun, DefaultPcHasTheCardOfTheListsFirstDetectCardEntry) {
    Package p(kScript);
    for (auto c : {std::make_pair("W98", 0x1234u), std::make_pair("W95A", 0x1000u)}) {
        PcSpec spec;
        spec.os = c.first;
        AddCardFromPackage(spec, p.dir.string());
        ASSERT_EQ(spec.cards.size(), 1u) << c.first;
        EXPECT_EQ(spec.cards[0].vendor, c.second);
    }
    PcSpec nt;
    nt.os = "NT40";
    AddCardFromPackage(nt, p.dir.string());
    EXPECT_TRUE(nt.cards.empty()); // its list has no DetectCard

    PcSpec w98;
    AddCardFromPackage(w98, p.dir.string());
    Transcript t = DryRun("setup", w98, p.dir.string());
    // The package's WIN95 folder holds no INF: the helper's install stops there.
    EXPECT_EQ(Kinds(t), (std::vector<std::string>{"started", "helper:window shown", "helper:start clicked",
                                                  "install-stops", "ended", "box"}));
    EXPECT_EQ(First(t, "install-stops").Field("code"), "driver-no-inf");
    EXPECT_EQ(RunExitStatus(t), 1);
    EXPECT_EQ(First(t, "started").Field("command line"),
              "fitter16.exe Enum\\PCI\\VEN_1234&DEV_5678 BUS_01&DEV_00&FUNC_00 D:\\CD\\WIN95 1");
    EXPECT_EQ(t.exitCode, 0);
}

TEST(PkgRun, TranscriptKeepsTheOrderAndSaysWhatClosedABox) {
    Package p(kScript);
    PcSpec spec;
    spec.os = "NT40";
    spec.launchDir = "C:\\pkg";
    Transcript t = DryRun("setup", spec, p.dir.string());
    std::vector<std::string> k = Kinds(t);
    auto box = std::find(k.begin(), k.end(), "box");
    auto pathOk = std::find(k.begin(), k.end(), "applet:path OK with C:\\pkg\\NT40");
    ASSERT_NE(box, k.end());
    ASSERT_NE(pathOk, k.end());
    EXPECT_EQ(k[0], "started");
    EXPECT_LT(box, pathOk); // the chain goes on in the box's modal loop
    EXPECT_EQ(First(t, "box").Field("answer").rfind("none", 0), 0u); // the chain's quit closed it
    EXPECT_NE(FormatTranscriptJson(t).find("\"kind\": \"box\""), std::string::npos);
    EXPECT_EQ(SchemaProblems(FormatTranscriptJson(t)), "");

    spec.helper = false;
    spec.os = "W98";
    AddCardFromPackage(spec, p.dir.string());
    Transcript noHelper = DryRun("setup", spec, p.dir.string());
    ASSERT_FALSE(noHelper.events.empty());
    EXPECT_EQ(Kinds(noHelper)[0], "start-failed");
    EXPECT_NE(noHelper.exitCode, 0);
    EXPECT_EQ(RunExitStatus(noHelper), 1);

    // Entries that leave no trace on the machine still get their step, and
    // the result names what stopped the list.
    const struct {
        const char* usb;
        const char* answer;
        const char* steps; // each step's entry and the start of its text, in order
        const char* outcome;
    } lists[] = {
        {"", "Cancel", "Install,ExecReadme,End: not reached, since the user answered Cancel on ShowUSBMsg|",
         "the user answered Cancel on ShowUSBMsg, so the W95B command list stopped before its Install"},
        {"USB Supplement", "", "ShowUSBMsg: no box: setup finds the USB supplement installed|End: ends|",
         "the install helper installed"},
        // Not "USB..." is no supplement to the launcher: the box comes.
        {"Supplement", "OK", "End: ends|", "the install helper installed"},
    };
    for (const auto& c : lists) {
        PcSpec w95b;
        ASSERT_EQ(ApplyPcOption(w95b, "os", "W95B"), "");
        if (*c.usb) ASSERT_EQ(ApplyPcOption(w95b, "usb", c.usb), "");
        if (*c.answer) ASSERT_EQ(ApplyPcOption(w95b, "answer", c.answer), "");
        AddCardFromPackage(w95b, EXAMPLE_PACKAGE_DIR);
        Transcript r = DryRun("setup", w95b, EXAMPLE_PACKAGE_DIR);
        std::string steps;
        for (const auto& e : r.events)
            if (e.kind == "step") steps += e.Field("entry") + ": " + e.Field("what") + "|";
        std::string want = c.steps;
        for (size_t at = 0, got = 0; at < want.size(); at = want.find('|', at) + 1) {
            const std::string one = want.substr(at, want.find('|', at) - at);
            got = steps.find(one, got);
            EXPECT_NE(got, std::string::npos) << c.usb << c.answer << ": " << one << " in " << steps;
        }
        EXPECT_NE(r.outcome.find(c.outcome), std::string::npos) << r.outcome;
        EXPECT_EQ(SchemaProblems(FormatTranscriptJson(r)), "");
    }
}

TEST(PkgRun, SequorProgramsTakeTheirExitCodesAndMissingOnesFail) {
    Package p("", "[ProcessList]\n1=[CWD]\\a.exe,[CWD]\n2=[CWD]\\b.exe,null\n3=[CWD]\\c.exe,null\n");
    std::ofstream(p.dir / "a.exe") << "";
    std::ofstream(p.dir / "b.exe") << "";
    PcSpec spec;
    ASSERT_EQ(ApplyPcOption(spec, "exit", "a.exe=1"), "");
    ASSERT_EQ(ApplyPcOption(spec, "missing", "b.exe"), "");
    ASSERT_EQ(ApplyPcOption(spec, "answer", "No"), "");
    Transcript t = DryRun("sequor", spec, p.dir.string());
    EXPECT_EQ(Kinds(t), (std::vector<std::string>{"started", "ended", "start-failed", "start-failed", "prompt", "box"}));
    EXPECT_EQ(t.events.back().Field("caption"), "Sequor");
    EXPECT_EQ(t.events.back().Field("answer"), "No");
    EXPECT_EQ(SchemaProblems(FormatTranscriptJson(t)), "");
}

// A setup.exe in Sequor's list runs the launcher's code: the helper's exit
// code is setup's, and so Sequor's highest; the prompt step names where it
// came from. A code of 3 or -1 anywhere gives no prompt, and says so.
TEST(PkgRun, SequorRunsTheSetupOfItsListWithTheLaunchersCode) {
    Package p(kScript, "[ProcessList]\n1=\"[CWD]\\setup.exe\",[CWD]\n2=\"[CWD]\\TOOLS\\util.exe\",[CWD]\\TOOLS\n");
    std::ofstream(p.dir / "setup.exe") << "MZ";
    fs::create_directories(p.dir / "TOOLS");
    std::ofstream(p.dir / "TOOLS" / "util.exe") << "MZ";
    fs::copy(fs::path(EXAMPLE_PACKAGE_DIR) / "WIN95", p.dir / "WIN95", fs::copy_options::recursive);
    const struct {
        const char* helperExit;
        const char* utilExit; // --exit, as the list names the program
        const char* answer;   // setup's ShowMsgDone first, then Sequor's prompt
        const char* highest;  // the prompt step's start
        bool prompt, installed, declined;
        const char* shutdown;
    } cases[] = {
        {"2", "TOOLS\\util.exe=0", "OK,Yes", "2, from [ProcessList] 1: \"D:\\CD\\setup.exe\"", true, true, false, "reboot"},
        {"0", "util=2", "OK,Yes", "2, from [ProcessList] 2", true, true, false, "reboot"},
        {"0", "util.exe=2", "OK,No", "2, from [ProcessList] 2", true, false, true, ""},
        {"1", "util=0", "OK,No", "1, from [ProcessList] 1", true, false, true, ""},
        {"1", "util=3", "OK", "3, from [ProcessList] 2", false, true, false, ""},
        {"0", "util=4294967295", "OK", "4294967295 (-1 as a signed number)", false, true, false, ""},
    };
    for (const auto& c : cases) {
        PcSpec spec;
        ASSERT_EQ(ApplyPcOption(spec, "helper-exit", c.helperExit), "");
        ASSERT_EQ(ApplyPcOption(spec, "exit", c.utilExit), "");
        ASSERT_EQ(ApplyPcOption(spec, "answer", c.answer), "");
        AddCardFromPackage(spec, p.dir.string());
        Transcript t = DryRun("sequor", spec, p.dir.string());
        const std::string at = std::string(c.helperExit) + " " + c.utilExit + " " + c.answer;
        ASSERT_EQ(t.runs.size(), 1u) << at;
        EXPECT_EQ(t.runs[0].exitCode, atoi(c.helperExit)) << at;
        EXPECT_TRUE(t.runs[0].installed) << at << ": " << t.runs[0].outcome;
        const TranscriptEvent prompt = First(t, "prompt");
        EXPECT_EQ(prompt.Field("highest exit code").rfind(c.highest, 0), 0u) << at << ": " << prompt.Field("highest exit code");
        EXPECT_EQ(!prompt.Field("yes").empty(), c.prompt) << at;
        EXPECT_EQ(First(t, "box").kind.empty(), !c.prompt) << at;
        EXPECT_EQ(t.installed, c.installed) << at << ": " << t.outcome;
        EXPECT_EQ(t.declined, c.declined) << at;
        EXPECT_EQ(RunExitStatus(t), c.installed ? 0 : 1) << at;
        EXPECT_EQ(First(t, "shutdown").Field("request"), c.shutdown) << at;
        EXPECT_TRUE(t.warnings.empty()) << at << ": " << (t.warnings.empty() ? "" : t.warnings[0]);
        EXPECT_EQ(SchemaProblems(FormatTranscriptJson(t)), "") << at;
    }
}

TEST(PkgRun, ByteOrderMarksAreReadAsTheVersionReadsThem) {
    const std::string script = "[Application]\r\nW98=ShowMsgHi\r\nNT40=ShowMsgHi\r\n[Message]\r\nShowMsgHi=hi\r\n"
                               "NotSupport=no\r\n";
    std::string utf16 = "\xff\xfe";
    for (char c : script) utf16 += std::string(1, c) + '\0';
    // UTF-8 mark: [Application] is no header on 98 and NT 4.0; UTF-16: no section on 98.
    const struct {
        std::string bytes, os, text;
        bool noted;
    } cases[] = {
        {"\xef\xbb\xbf" + script, "W98", "no", true},   {"\xef\xbb\xbf" + script, "NT40", "no", true},
        {"\xef\xbb\xbf" + script, "win10", "no", false}, {utf16, "W98", "", true},
        {utf16, "NT40", "hi", false},                    {script, "W98", "hi", false},
    };
    for (const auto& c : cases) {
        Package p(c.bytes);
        PcSpec spec;
        ASSERT_EQ(ApplyPcOption(spec, "os", c.os), "");
        Transcript t = DryRun("setup", spec, p.dir.string());
        EXPECT_EQ(First(t, "box").Field("text"), c.text) << c.os << " " << c.bytes.size();
        bool noted = false;
        for (const std::string& n : t.notes) noted = noted || n.find("Wine reads the file differently") != std::string::npos;
        EXPECT_EQ(noted, c.noted) << c.os << " " << c.bytes.size();
    }
}

TEST(PkgRun, CardsAreNamedFromThePciIdDatabaseWhenThereIsOne) {
    Package p("[Application]\nW98=End\n");
    std::ofstream(p.dir / "pci.ids") << "# test list\nfffe  Test Vendor\n\t0001  Test Card\nfffd  Other\n";
    std::ofstream(p.dir / "bad.ids") << "fffe  Test Vendor\n\t\tgarbage\nzz\n";
    const bool named = PciNamesBuiltIn();
    UsePciIdsFile((p.dir / "pci.ids").string());
    EXPECT_EQ(PciCardLabel(0xFFFE, 0x0001), named ? "FFFE:0001 Test Vendor Test Card" : "FFFE:0001");
    EXPECT_EQ(PciCardLabel(0xFFFD, 0x0002), named ? "FFFD:0002 Other" : "FFFD:0002");
    PcSpec spec;
    ASSERT_EQ(ApplyPcOption(spec, "card", "fffe:1@0:2:0"), "");
    EXPECT_NE(DryRun("setup", spec, p.dir.string()).pc.Line().find(named ? "FFFE:0001 Test Vendor Test Card at bus 0 device 2"
                                                                   : "FFFE:0001 at bus 0 device 2"),
              std::string::npos);
    // A database that cannot be parsed, or none: no names, no failure.
    for (const char* file : {"bad.ids", "absent.ids"}) {
        UsePciIdsFile((p.dir / file).string());
        EXPECT_EQ(PciCardLabel(0xFFFE, 0x0001), "FFFE:0001") << file;
        EXPECT_EQ(PciCardLabel(0xFFFE, 0x0001), "FFFE:0001") << file;
    }
    UsePciIdsFile("");
}

TEST(PkgRun, CapturesOfARealPc) {
    const struct {
        const char* text;
        size_t cards;
        const char* error; // start of the error text, or null
    } lspci[] = {
        {"00:02.0 0300: 1013:00b8 (rev 02)\n00:03.0 Class 0200: 8086:100e\n", 2, nullptr},
        {"00:02.0 VGA compatible controller [0300]: Maker Card [1013:00b8] (rev 02) (prog-if 00 [VGA controller])\n"
         "\tSubsystem: Maker [1af4:1100]\n\n0000:01:00.0 0300: 1002:5046\n0001:00:00.0 0300: 1234:1111\n",
         2, nullptr},
        {"00:02.0 0300: 1013:00b8\n00:02.0 0300: 1013:00b8\n", 0, "line 2: a second function"},
        {"00:20.0 0300: 1013:00b8\n", 0, "line 1: device number"},
        {"\x7f" "ELF\x01\x01\0\0", 0, "line 1: not a line of lspci"},
        {"00:02.0 0300 1013 00b8\n", 0, "line 1: no VENDOR:DEVICE"},
        {"\n\n", 0, "no function line: the capture is empty"},
        {"0001:00:02.0 0300: 1013:00b8\n", 0, "every function of the capture sits outside PCI domain 0"},
        {"Slot:\t00:02.0\nClass:\t0300\nVendor:\t1013\nDevice:\t00b8\n", 0, "line 1: lspci -vmm output"},
    };
    for (const auto& c : lspci) {
        std::vector<PciCard> cards;
        std::vector<std::string> notes;
        std::string error = ReadLspci(c.text, cards, notes);
        EXPECT_EQ(error.rfind(c.error ? c.error : "", 0), 0u) << c.text << ": " << error;
        if (!c.error) EXPECT_EQ(cards.size(), c.cards) << c.text;
    }

    const struct {
        std::string text;
        size_t entries;
        const char* error;
        const char* note = nullptr; // the start of the one note it gives
    } exports[] = {
        {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_1013&DEV_00B8\\BUS_00&DEV_02&FUNC_00]\r\n"
         "\"DeviceDesc\"=\"A \\\"card\\\"\"\r\n\"Flags\"=hex:00,\\\r\n  01\r\n@=dword:00000014\r\n"
         "\"Path\"=hex(2):43,3a,00\r\n[HKEY_CURRENT_USER\\X]\r\n\"y\"=\"z\"\r\n",
         5, nullptr},
        {"[HKEY_LOCAL_MACHINE\\Enum]\r\n", 0, "line 1: not a registry export: its first line is \"[HKEY_LOCAL_MACHINE"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_1013&DEV_00b8\\BUS_00&DEV_02&FUNC_00]\n", 1, nullptr,
         "Enum\\PCI keys of the export have small letters (VEN_1013&DEV_00b8\\BUS_00&DEV_02&FUNC_00)"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\X]\n", 1, nullptr, "The export holds no key under Enum\\PCI"},
        {"", 0, "not a registry export"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=\"open\n", 0, "line 3: a text value"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=dword:123\n", 0, "line 3: dword:"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X\n", 0, "line 2: a key"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\ngarbage\n", 0, "line 3: neither"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=hex:zz\n", 0, "line 3: hex:"},
    };
    for (const auto& c : exports) {
        std::vector<RegistryEntry> entries;
        std::vector<std::string> notes;
        std::string error = ReadRegistryExport(c.text, entries, &notes);
        EXPECT_EQ(error.rfind(c.error ? c.error : "", 0), 0u) << c.text << ": " << error;
        if (!c.error) EXPECT_EQ(entries.size(), c.entries) << c.text;
        EXPECT_EQ(notes.size(), c.note ? 1u : 0u) << c.text;
        if (c.note && !notes.empty()) EXPECT_EQ(notes[0].rfind(c.note, 0), 0u) << notes[0];
    }

    // The registry of the export, not one derived from the cards: CheckPCIKey
    // finds the card only where the export knows its location.
    Package p("[Application]\nW98=DetectCard,CheckPCIKey,ShowMsgDone\n[DetectCard]\n1=4115,184,PCI,1,0\n"
              "[Message]\nCheckPCIKey=Not detected.\nShowMsgDone=Done.\n");
    std::ofstream(p.dir / "lspci.txt") << "00:02.0 0300: 1013:00b8\n";
    for (auto c : {std::make_pair("BUS_00&DEV_02&FUNC_00", "Done."), std::make_pair("BUS_00&DEV_03&FUNC_00", "Not detected.")}) {
        std::ofstream(p.dir / "pc.reg") << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_1013&DEV_00B8&SUBSYS_00000000\\"
                                        << c.first << "]\r\n\"Class\"=\"Display\"\r\n";
        PcSpec spec;
        ASSERT_EQ(ApplyPcOption(spec, "lspci", (p.dir / "lspci.txt").string()), "");
        ASSERT_EQ(ApplyPcOption(spec, "registry", (p.dir / "pc.reg").string()), "");
        Transcript t = DryRun("setup", spec, p.dir.string());
        ASSERT_FALSE(t.events.empty());
        std::string last;
        for (const auto& e : t.events)
            if (e.kind == "box") last = e.Field("text");
        EXPECT_EQ(last, c.second) << c.first;
        // Where the card is registered instead, and why the launcher looked elsewhere.
        EXPECT_EQ(First(t, "pcikey").Field("why").empty(), c.second == std::string("Done.")) << c.first;
        if (c.second != std::string("Done."))
            EXPECT_NE(First(t, "pcikey").Field("why").find(c.first), std::string::npos) << First(t, "pcikey").Field("why");
    }
    PcSpec spec;
    EXPECT_NE(ApplyPcOption(spec, "lspci", (p.dir / "absent.txt").string()), "");
}

TEST(PkgRun, CdRootRunsWhatAutoRunStarts) {
    Package p("");
    fs::create_directories(p.dir / "DRIVERS");
    std::ofstream(p.dir / "DRIVERS" / "SETUP.INI") << "[Application]\nW98=ShowMsgHi\n[Message]\nShowMsgHi=hi\nNotSupport=no\n";
    const struct {
        const char* open;
        bool explorer;
        const char* text; // of the first box; null: nothing runs
    } cases[] = {
        {"DRIVERS\\SETUP.EXE \\DRIVERS", false, "hi"},
        {"DRIVERS\\SETUP.EXE", false, ""}, // launch directory D:, which holds no script
        {"DRIVERS\\SETUP.EXE", true, "hi"},
        {"DRIVERS\\MENU.EXE", false, nullptr},
        {"Sequor.exe", false, "hi"}, // its list starts the package's setup
    };
    std::ofstream(p.dir / "sequor95.ini") << "[ProcessList]\n1=\"[CWD]\\DRIVERS\\SETUP.EXE\",[CWD]\\DRIVERS\n";
    for (const auto& c : cases) {
        std::ofstream(p.dir / "autorun.inf") << "[AutoRun]\r\nopen=" << c.open << "\r\n";
        PcSpec spec;
        if (c.explorer) ASSERT_EQ(ApplyPcOption(spec, "started-by", "explorer"), "");
        AddCardFromPackage(spec, p.dir.string());
        Transcript t = DryRun("setup", spec, p.dir.string());
        ASSERT_FALSE(t.events.empty()) << c.open;
        EXPECT_EQ(t.ran, c.text != nullptr) << c.open;
        EXPECT_EQ(Kinds(t)[0], c.text ? "box" : "start-failed") << c.open;
        if (c.text) EXPECT_EQ(First(t, "box").Field("text"), c.text) << c.open;
        bool assumed = false;
        for (const std::string& n : t.notes) assumed = assumed || n.find("is assumed") != std::string::npos;
        EXPECT_EQ(assumed, c.text && !c.explorer) << c.open;
    }
}

// The example package, whole and with the slips a newcomer makes: the run
// installs where check finds nothing in its way, and where the real install
// stops it stops with the code check gives.
TEST(PkgRun, RunInstallsThroughTheModelCheckUses) {
    const fs::path example = EXAMPLE_PACKAGE_DIR;
    const struct {
        const char* os;
        const char* card;  // --card, or null for the default
        const char* slip;  // what is done to the copy
        const char* stops; // the code, or null: installed
        const char* box = nullptr;   // the run ends at a box that begins so, not at the install
        const char* model = nullptr; // in the install's models line
        const char* check = nullptr; // check's code for the slip, when it is not `stops`
    } cases[] = {
        {"W98", "1234:5679", "", nullptr}, // the AGP card, registered at 000800
        // Placed in a slot, Windows registers it there: the AGP entry's 000800 is not found.
        {"W98", "1234:5679@1:0:0", "", nullptr, "Windows has not yet detected"},
        // One chip, lines for two subsystems in two languages: the card's own line, or none.
        {"W98", "1234:5678:00021234@1:0:0", "subsys", nullptr, nullptr, "SUBSYS_00021234"},
        {"W98", "1234:5678@1:0:0", "subsys", nullptr, nullptr, "SUBSYS_00011234"}, // the first line's, assumed
        {"W98", "1234:5678:00031234@1:0:0", "subsys", "card-not-in-inf", nullptr, nullptr, "card-subsys-only"},
        {"W98", nullptr, "", nullptr},
        {"NT40", nullptr, "", nullptr},
        {"NT40", nullptr, "rm NT40", "subdir-folder-missing"},
        {"NT40", nullptr, "signature NT40", "driver-no-inf"},
        {"W98", "1234:5678", "rm WIN95/EXAMPLE.DRV", "driver-file-missing"},
    };
    for (const auto& c : cases) {
        Package p("");
        fs::remove_all(p.dir);
        fs::copy(example, p.dir, fs::copy_options::recursive);
        const std::string slip = c.slip;
        if (slip.rfind("rm ", 0) == 0) fs::remove_all(p.dir / slip.substr(3));
        if (slip == "signature NT40") std::ofstream(p.dir / "NT40" / "EXAMPLE.INF") << "[Version]\nSignature=$FOO$\n";
        if (slip == "subsys")
            std::ofstream(p.dir / "WIN95" / "EXAMPLE.INF")
                << "[Version]\nSignature=$CHICAGO$\nClass=Display\n[Manufacturer]\nMaker=Maker\n[Maker]\n"
                   "English=Example.Install, PCI\\VEN_1234&DEV_5678&SUBSYS_00011234\n"
                   "Deutsch=Example.Install, PCI\\VEN_1234&DEV_5678&SUBSYS_00011234\n"
                   "Second=Second.Install, PCI\\VEN_1234&DEV_5678&SUBSYS_00021234\n"
                   "AGP=Example.Install, PCI\\VEN_1234&DEV_5679\nStd=Example.Install, PCI\\VEN_1234&DEV_1111\n"
                   "[Example.Install]\nCopyFiles=Example.Copy\n[Second.Install]\nCopyFiles=Example.Copy\n"
                   "[DestinationDirs]\nExample.Copy=11\n[Example.Copy]\nexample.drv\n";
        PcSpec spec;
        ASSERT_EQ(ApplyPcOption(spec, "os", c.os), "");
        if (c.card) ASSERT_EQ(ApplyPcOption(spec, "card", c.card), "");
        if (!spec.cardsGiven) AddCardFromPackage(spec, p.dir.string());
        Transcript t = DryRun("setup", spec, p.dir.string());
        const std::string what = std::string(c.os) + " " + c.slip;
        EXPECT_EQ(SchemaProblems(FormatTranscriptJson(t)), "") << what;
        EXPECT_EQ(RunExitStatus(t), c.stops || c.box ? 1 : 0) << what << ": " << t.outcome;
        EXPECT_EQ(t.installed, !c.stops && !c.box) << what;
        if (c.box) {
            EXPECT_EQ(First(t, "box").Field("text").rfind(c.box, 0), 0u) << what;
            EXPECT_EQ(First(t, "install").kind, "") << what;
            continue;
        }
        if (c.model) EXPECT_NE(First(t, "install").Field("models line").find(c.model), std::string::npos)
            << what << ": " << First(t, "install").Field("models line");
        if (!c.stops) continue;
        EXPECT_EQ(First(t, "install-stops").Field("code"), c.stops) << what;
        bool checkSaysSo = false;
        for (const Finding& f : CheckPackage(p.dir.string()))
            checkSaysSo = checkSaysSo || (c.check ? f.code == c.check : f.code == c.stops && f.severity == "error");
        EXPECT_TRUE(checkSaysSo) << what;
    }
}

// Options the run had no use for are named, and so is a card written in
// hexadecimal with the digits of a DetectCard entry's decimal numbers.
TEST(PkgRun, OptionsThatDoNotApplyAreNamed) {
    Package p(std::string(kScript) + "[DetectCard3]\n1=4634,5,PCI,1,0\n");
    const struct {
        std::vector<std::pair<const char*, const char*>> options;
        const char* warning; // the start of the one warning; null: none
    } cases[] = {
        {{{"os", "NT40"}, {"helper-exit", "3"}}, "--helper-exit concerns the install helper"},
        {{{"answer", "OK,OK,OK"}}, "--answer: the run showed 1 box, so 2 of the answers"},
        {{{"exit", "never.exe=1"}}, "--exit never.exe=1: no program of the package has that name"},
        {{{"card", "4634:5"}}, "--card 4634:5 is read in hexadecimal; the card of [DetectCard3] 1 = 4634,5,PCI,1,0 is 121A:0005"},
        {{{"card", "4634,5"}}, nullptr},
        {{{"os", "1.4.0:C"}}, "--os 1.4.0:C: the service-pack text \"C\" has no second character"},
        {{{"started-by", "explorer"}}, "--started-by concerns a CD's root"},
    };
    for (const auto& c : cases) {
        PcSpec spec;
        for (const auto& o : c.options) ASSERT_EQ(ApplyPcOption(spec, o.first, o.second), "") << o.first;
        if (!spec.cardsGiven) AddCardFromPackage(spec, p.dir.string());
        Transcript t = DryRun("setup", spec, p.dir.string());
        const std::string first = c.options[0].first;
        if (!c.warning) {
            EXPECT_TRUE(t.warnings.empty()) << first << ": " << (t.warnings.empty() ? "" : t.warnings[0]);
            continue;
        }
        ASSERT_EQ(t.warnings.size(), 1u) << first << ": " << (t.warnings.empty() ? "none" : t.warnings.back());
        EXPECT_EQ(t.warnings[0].rfind(c.warning, 0), 0u) << t.warnings[0];
    }
}
