// Faults of the outside world, injected into the simulated PC, and what the
// programs do about each. The rule throughout: a wait ends once what it
// waits for can no longer come (the awaited process has ended), nothing
// crashes, and a program that still runs is waited for without a time
// limit, as the programs promise their callers.
//
//  - Install helper that never shows its window: the launcher waits for it
//    while it runs, never clicks, and passes on its exit code once it ends.
//    One that ends at once, even before its start has returned: the same,
//    at once. One that crashes on the click (the click is never answered):
//    the click returns, and its crash code becomes the launcher's exit code.
//  - Display applet that never opens its first dialog: the launcher waits
//    for it while it runs. One whose user closes it at any moment of the
//    chain: every wait of the chain ends, the script goes on with its next
//    entry, the exit code is 0.
//  - Program of the runner's list that the system refuses to start: skipped
//    as a missing one is. One that ends while being started: its exit code
//    counts like any other.
//  - Registry names longer than the enumeration's 256-character buffer end
//    that enumeration: the card counts as not in the registry. Keys that
//    cannot be opened are in detect_test and usb_test.
//  - Script or list that vanishes between two reads (the medium taken out):
//    every later read sees a missing file, so the run takes the path of an
//    empty value from there on; no crash, no hang.
// Programs that never end (helper, applet) and a list program that never
// ends (sequor_test) hold the run: here that shows as the model's hang with
// the awaited program still running.
#include "setup/setupapp.h"
#include "simwin/programs.h"
#include "tests/support/run.h"
#include <gtest/gtest.h>
#include <set>

namespace {

const char* kCardScript =
    "[Application]\n"
    "W98=DetectCard,Install,End\n"
    "NT40=Install,ShowMsgNT\n"
    "[SubDir]\n"
    "W98=\\W98\n"
    "NT40=\\NT40\n"
    "[DetectCard]\n"
    "1=4660,22136,PCI,1,0\n"
    "[Message]\n"
    "ShowMsgNT=Follow the Display Properties dialog.\n";

sim::Machine CardPc() {
    sim::Machine m;
    m.currentDirectory = "D:";
    m.files["D:\\SETUP.INI"] = kCardScript;
    m.AddPciFunction(1, 0, 0, 0x1234, 0x5678);
    return m;
}

int Count(const sim::Machine& m, const std::string& event) {
    int n = 0;
    for (const auto& e : m.events) n += e == event;
    return n;
}

const sim::Process* Started(const sim::Machine& m, const std::string& prefix) {
    for (const auto& p : m.processes)
        if (p.commandLine.rfind(prefix, 0) == 0) return &p;
    return nullptr;
}

} // namespace

// A helper that never shows its window but ends later, and one that ends
// before control 1 appears, are in install_test.
TEST(Faults, HelperThatEndsAtOnceEndsTheWait) {
    struct {
        const char* what;
        sim::HelperBehaviour b;
        bool endsWhileStarting;
    } cases[] = {
        {"ends at once", {300, 0, 200, 0, 7}, false},
        {"ends while it is being started", {300, 0, 200, -1, 7}, true},
    };
    for (const auto& c : cases) {
        sim::Machine m = CardPc();
        sim::AddHelperProgram(m, c.b);
        if (c.endsWhileStarting) {
            auto start = m.programs["fitter16.exe"].start;
            m.programs["fitter16.exe"].start = [start](sim::Machine& m, sim::Process& p) {
                bool started = start(m, p);
                m.EndProcess(p.id, 7);
                return started;
            };
        }
        EXPECT_EQ(sim::RunSetup(m), 7) << c.what;
        EXPECT_EQ(m.hangs, 0) << c.what;
        EXPECT_EQ(Count(m, "helper: start clicked"), 0) << c.what;
        EXPECT_EQ(m.openHandles, 0) << c.what;
    }
}

TEST(Faults, HelperThatCrashesOnTheClickGivesItsCrashCode) {
    sim::Machine m = CardPc();
    sim::HelperBehaviour b;
    b.crashesOnClick = true;
    b.exitCode = 0xC0000005u;
    sim::AddHelperProgram(m, b);
    EXPECT_EQ((DWORD)sim::RunSetup(m), 0xC0000005u);
    EXPECT_EQ(Count(m, "helper: crashed on the click"), 1);
    EXPECT_EQ(m.hangs, 0);
    EXPECT_EQ(m.openHandles, 0);
}

// Waiting without a limit is the promise; what matters is that the run is
// held by the program that still runs, not by a wait on one that ended.
TEST(Faults, HelperOrAppletThatNeverEndsHoldsTheRunWhileItRuns) {
    struct {
        const char* what;
        const char* version;
        const char* program;
    } cases[] = {
        {"helper that never shows its window", "win98", "fitter16.exe"},
        {"applet that never opens its first dialog", "nt40", "rundll32.exe"},
    };
    for (const auto& c : cases) {
        sim::Machine m = CardPc();
        m.SetVersion(c.version);
        m.clockLimitMs = 10 * 60 * 1000; // ten virtual minutes stand for ever
        sim::HelperBehaviour helper;
        helper.showAfterMs = -1;
        sim::AddHelperProgram(m, helper);
        sim::AppletBehaviour applet;
        applet.pageOpensDialog = false;
        sim::AddAppletProgram(m, applet);
        EXPECT_EQ(sim::RunSetup(m), sim::kHung) << c.what;
        const sim::Process* p = Started(m, c.program);
        ASSERT_TRUE(p) << c.what;
        EXPECT_TRUE(p->running) << c.what;
    }
}

TEST(Faults, AppletClosedAtAnyMomentOfTheChainEndsEveryWait) {
    // Undisturbed, the chain ends with the applet's OK at 2 s; the user
    // closes the applet every 25 ms until a little after that.
    std::set<int> stagesReached;
    for (int64_t at = 0; at <= 2500; at += 25) {
        sim::Machine m = CardPc();
        m.SetVersion("nt40");
        m.userAnswerMs = 60000;
        sim::AppletBehaviour b;
        b.userClosesAtMs = at;
        sim::AddAppletProgram(m, b);
        EXPECT_EQ(sim::RunSetup(m), 0) << at;
        EXPECT_EQ(m.hangs, 0) << at;
        ASSERT_EQ(m.messageBoxes.size(), 1u) << at; // the entry after Install still runs
        const sim::Process* applet = Started(m, "rundll32.exe");
        ASSERT_TRUE(applet) << at;
        EXPECT_FALSE(applet->running) << at;
        int stages = 0;
        for (const auto& e : m.events) stages += e.rfind("applet: ", 0) == 0 && e != "applet: closed by the user";
        stagesReached.insert(stages);
    }
    // Closed before the first click, between the steps of the chain (some
    // come at one virtual moment and are never apart), and after its OK.
    EXPECT_EQ(*stagesReached.begin(), 0);
    EXPECT_EQ(*stagesReached.rbegin(), 11);
    EXPECT_GE(stagesReached.size(), 7u);
}

TEST(Faults, ListProgramThatIsRefusedOrEndsWhileStarting) {
    struct {
        const char* what;
        std::function<bool(sim::Machine&, sim::Process&)> start;
        size_t started; // processes the list leaves behind
        size_t prompts; // a.exe's exit code 1 asks for a restart
    } cases[] = {
        {"refused by the system", [](sim::Machine&, sim::Process&) { return false; }, 1, 0},
        {"ends while being started",
         [](sim::Machine& m, sim::Process& p) {
             m.EndProcess(p.id, 1);
             return true;
         },
         2, 1},
    };
    for (const auto& c : cases) {
        sim::Machine m;
        m.files["C:\\PKG\\sequor95.ini"] = "[ProcessList]\n1=a.exe,null\n2=b.exe,null\n";
        m.programs["a.exe"].start = c.start;
        sim::AddPlainProgram(m, "b.exe", 0);
        m.answers = {IDNO};
        EXPECT_EQ(sim::RunSequor(m), 0) << c.what;
        EXPECT_EQ(m.processes.size(), c.started) << c.what;
        EXPECT_EQ(m.processes.back().commandLine, "b.exe") << c.what;
        EXPECT_EQ(m.messageBoxes.size(), c.prompts) << c.what;
        EXPECT_EQ(m.openHandles, 0) << c.what;
        EXPECT_EQ(m.hangs, 0) << c.what;
    }
}

TEST(Faults, RegistryNamesTooLongForTheEnumerationEndIt) {
    const std::string tooLong(256, 'Z'); // and its terminator: 257 characters
    struct {
        const char* what;
        std::vector<std::string> keys; // under Enum\PCI
        bool found;
    } cases[] = {
        {"a device name before the card's", {"A" + tooLong, "VEN_1234&DEV_5678\\BUS_01&DEV_00&FUNC_00"}, false},
        {"a device name after the card's", {"VEN_1234&DEV_5678\\BUS_01&DEV_00&FUNC_00", "Z" + tooLong}, true},
        {"an instance name before the card's",
         {"VEN_1234&DEV_5678\\A" + tooLong, "VEN_1234&DEV_5678\\BUS_01&DEV_00&FUNC_00"}, false},
        {"exactly 255 characters", {"VEN_1234&DEV_5678" + std::string(238, 'S') + "\\BUS_01&DEV_00&FUNC_00"}, true},
    };
    for (const auto& c : cases) {
        sim::Machine m = CardPc();
        m.files["D:\\SETUP.INI"] = "[Application]\nW98=DetectCard,CheckPCIKey,ShowMsg\n[DetectCard]\n1=4660,22136\n"
                                   "[Message]\nCheckPCIKey=not in registry\nShowMsg=reached\n";
        for (const auto& k : c.keys) m.Key("Enum\\PCI\\" + k);
        sim::RunSetup(m);
        ASSERT_EQ(m.messageBoxes.size(), 1u) << c.what;
        EXPECT_EQ(m.messageBoxes[0].text, c.found ? "reached" : "not in registry") << c.what;
        EXPECT_EQ(m.openRegistryKeys, 0) << c.what;
    }
}

// SETUP.INI is read at start-up ([SubDir]), for the list, then for the
// DetectCard entry; after that the run needs nothing more from it.
TEST(Faults, ScriptThatVanishesBetweenReads) {
    struct {
        int readsBefore;
        const char* box; // NULL: none
        bool helper;
    } cases[] = {
        {0, "", false}, // no list: "NotSupport", itself missing
        {1, "", false},
        {2, "", false}, // no DetectCard entry: its message, missing too
        {3, nullptr, true},
    };
    for (const auto& c : cases) {
        sim::Machine m = CardPc();
        sim::AddHelperProgram(m, sim::HelperBehaviour());
        m.filesVanishAfterReads = c.readsBefore;
        EXPECT_EQ(sim::RunSetup(m), 0) << c.readsBefore;
        EXPECT_EQ(m.hangs, 0) << c.readsBefore;
        ASSERT_EQ(m.messageBoxes.size(), c.box ? 1u : 0u) << c.readsBefore;
        if (c.box) EXPECT_EQ(m.messageBoxes[0].text, c.box) << c.readsBefore;
        EXPECT_EQ(Started(m, "fitter16.exe") != nullptr, c.helper) << c.readsBefore;
    }
}

TEST(Faults, ListThatVanishesBetweenReadsEndsThere) {
    for (int reads = 0; reads <= 4; ++reads) {
        sim::Machine m;
        m.files["C:\\PKG\\sequor95.ini"] = "[ProcessList]\n1=a.exe\n2=b.exe\n3=c.exe\n";
        for (const char* name : {"a.exe", "b.exe", "c.exe"}) sim::AddPlainProgram(m, name, 2);
        m.filesVanishAfterReads = reads;
        m.answers = {IDNO};
        EXPECT_EQ(sim::RunSequor(m), 0) << reads;
        EXPECT_EQ(m.processes.size(), (size_t)std::min(reads, 3)) << reads;
        EXPECT_EQ(m.messageBoxes.size(), reads > 0 ? 1u : 0u) << reads; // exit code 2 asks for a reboot
        EXPECT_EQ(m.hangs, 0) << reads;
    }
}
