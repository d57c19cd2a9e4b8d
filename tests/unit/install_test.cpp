// The Install command: the route by version, and the Windows 95/98 helper
// route on the simulated PC with helper models of chosen timing and windows.
#include "setup/setupapp.h"
#include "setup/mainwindow.h"
#include "setup/win9x.h"
#include "simwin/programs.h"
#include "tests/support/run.h"
#include <gtest/gtest.h>

namespace {

const char* kCardScript =
    "[Application]\n"
    "W98=DetectCard,Install,End\n"
    "W95B=DetectCardAGP,Install,End\n"
    "W95A=Install,End\n"
    "[SubDir]\n"
    "W98=\\DRIVERS\\W98\n"
    "[DetectCard]\n"
    "1=4660,22136,PCI,1,0\n"
    "[DetectCardAGP]\n"
    "1=4660,22136,agp,0,0\n"
    "[Message]\n"
    "NotSupport=No route\n";

// A PC with the script and its card.
void LayOut(sim::Machine& pc) {
    pc.currentDirectory = "D:";
    pc.files["D:\\SETUP.INI"] = kCardScript;
    pc.AddPciFunction(1, 0, 0, 0x1234, 0x5678);
}

struct Install : ::testing::Test {
    sim::Machine m;
    Install() { LayOut(m); }
    const sim::Process* Helper() const {
        for (const auto& p : m.processes)
            if (p.commandLine.rfind("fitter16.exe", 0) == 0) return &p;
        return nullptr;
    }
    int Clicks() const {
        int n = 0;
        for (const auto& e : m.events) n += e == "helper: start clicked";
        return n;
    }
};

} // namespace

TEST_F(Install, HelperGetsTheCardAndTheOsDirectoryAndItsExitCodeIsOurs) {
    sim::HelperBehaviour b;
    b.exitCode = 3;
    sim::AddHelperProgram(m, b);
    EXPECT_EQ(sim::RunSetup(m), 3);
    const sim::Process* helper = Helper();
    ASSERT_TRUE(helper);
    EXPECT_EQ(helper->commandLine, "fitter16.exe Enum\\PCI\\VEN_1234&DEV_5678 BUS_01&DEV_00&FUNC_00 D:\\DRIVERS\\W98 1");
    EXPECT_EQ(helper->startup.cb, sizeof(STARTUPINFOA));
    EXPECT_EQ(helper->startup.dwFlags, (DWORD)(STARTF_USESTDHANDLES | STARTF_FORCEONFEEDBACK));
    EXPECT_EQ(helper->startup.wShowWindow, 0);
    EXPECT_EQ(helper->startup.hStdInput, nullptr);
    EXPECT_TRUE(helper->inheritHandles);
    EXPECT_EQ(helper->creationFlags, 0u);
    EXPECT_EQ(helper->currentDirectory, "D:");
    EXPECT_EQ(Clicks(), 1);
    EXPECT_EQ(m.cursor, LoadCursorA(NULL, IDC_WAIT));
    EXPECT_EQ(m.openHandles, 0);
    EXPECT_EQ(m.hangs, 0);
}

TEST_F(Install, AgpEntryAndNoSubDirValue) {
    m.SetVersion("win95");
    m.csdVersion = " B";
    sim::AddHelperProgram(m, sim::HelperBehaviour());
    EXPECT_EQ(sim::RunSetup(m), 0);
    ASSERT_TRUE(Helper());
    EXPECT_EQ(Helper()->commandLine, "fitter16.exe Enum\\PCI\\VEN_1234&DEV_5678 000800 D: 0");
}

TEST_F(Install, KindsWithoutARouteShowNotSupportAndQuitButTheListGoesOn) {
    m.files["D:\\SETUP.INI"] =
        "[Application]\nWIN95=Install,ShowMsg\nNT35X=Install,ShowMsg\nWINNT=Install,ShowMsg\n"
        "NT31=Install,ShowMsg\n=Install,ShowMsg\n[Message]\nNotSupport=No route\nShowMsg=After\n";
    sim::AddHelperProgram(m, sim::HelperBehaviour());
    struct {
        DWORD platform, major, minor;
        const char* csd;
    } kinds[] = {{1, 4, 0, " A"}, {2, 3, 51, ""}, {2, 5, 0, ""}, {2, 3, 1, ""}, {0, 3, 1, ""}};
    for (const auto& k : kinds) {
        sim::Machine run = m;
        run.platformId = k.platform;
        run.majorVersion = k.major;
        run.minorVersion = k.minor;
        run.csdVersion = k.csd;
        EXPECT_EQ(sim::RunSetup(run), 0);
        ASSERT_EQ(run.messageBoxes.size(), 2u) << k.platform << " " << k.major << "." << k.minor;
        EXPECT_EQ(run.messageBoxes[0].text, "No route");
        EXPECT_EQ(run.messageBoxes[0].style, (UINT)(MB_OK | MB_ICONEXCLAMATION));
        // The next entry still runs; its box meets the pending quit and closes at once.
        EXPECT_EQ(run.messageBoxes[1].text, "After");
        EXPECT_EQ(run.messageBoxes[1].answer, 0);
        EXPECT_TRUE(run.processes.empty());
    }
}

TEST_F(Install, OnlyAVisibleOnScreenWindowOfTheMainThreadIsTaken) {
    // Each decoy fails one rule; the real window comes last, so a wrong
    // pick would click a window without control 1 and never end.
    sim::HelperBehaviour b;
    b.showAfterMs = 1000;
    auto decoy = [](LONG l, LONG t, LONG r, LONG style, bool other = false) {
        sim::DecoyWindow d;
        d.atMs = 100;
        d.rect = {l, t, r, t + 50};
        d.style = style;
        d.otherThread = other;
        return d;
    };
    b.decoys = {decoy(10, 10, 90, 0), decoy(-1, 10, 90, WS_VISIBLE), decoy(10, -1, 90, WS_VISIBLE),
                decoy(1025, 10, 1100, WS_VISIBLE), decoy(10, 769, 90, WS_VISIBLE),
                decoy(-100, 10, 0, WS_VISIBLE), decoy(10, 10, 90, WS_VISIBLE, true)};
    sim::AddHelperProgram(m, b);
    EXPECT_EQ(sim::RunSetup(m), 0);
    EXPECT_EQ(Clicks(), 1);
    EXPECT_EQ(m.hangs, 0);
}

TEST_F(Install, UnderWineA16BitHelpersWindowOnItsTasksThreadIsTaken) {
    // The main thread shows nothing; a window of another thread without
    // control 1 (the decoy) is passed over, the one with it is clicked.
    sim::HelperBehaviour b;
    b.onTaskThread = true;
    b.showAfterMs = 500;
    sim::DecoyWindow other;
    other.atMs = 100;
    other.rect = {10, 10, 90, 90};
    other.otherThread = true;
    b.decoys = {other};
    sim::AddHelperProgram(m, b);
    EXPECT_EQ(sim::RunSetup(m), 0);
    EXPECT_EQ(Clicks(), 1);
    EXPECT_EQ(m.hangs, 0);
}

TEST_F(Install, WindowWhoseLeftEdgeIsTheScreenWidthPassesAndTheTopmostWins) {
    // Every other window here is shown at the same moment as the real one
    // but before it, so it lies below; were it taken, the helper would never
    // be clicked. No order is documented for EnumThreadWindows or
    // EnumWindows: the topmost must win when they hand the windows out
    // bottom first, too.
    auto at500 = [](bool otherThread = false, bool control1 = false) {
        sim::DecoyWindow d;
        d.atMs = 500;
        d.rect = {10, 10, 90, 90};
        d.otherThread = otherThread;
        d.control1 = control1;
        return d;
    };
    auto otherProgram = [](int64_t atMs, bool vanishes = false) {
        sim::DecoyWindow d;
        d.atMs = atMs;
        d.rect = {20, 20, 300, 300};
        d.otherProgram = true;
        d.control1 = true;
        d.vanishesWhenExamined = vanishes;
        return d;
    };
    sim::DecoyWindow banner = at500();
    banner.atMs = 100;
    banner.destroyAtMs = 700;
    struct {
        const char* what;
        std::vector<sim::DecoyWindow> others;
        bool onTaskThread;
        int64_t showAfterMs;
    } cases[] = {
        {"a lower window that passes too", {at500()}, false, 500},
        // A walk up that stopped at the first window failing the rule
        // would keep the lower one.
        {"another program's window between the helper's two", {at500(), otherProgram(500)}, false, 500},
        // The walk stood on it as it went: nothing above a dead window.
        {"the window between them destroyed as the walk reaches it", {at500(), otherProgram(500, true)}, false,
         500},
        // Under Wine: two task threads, each with a control 1; the walk
        // must not keep to the thread of the window the enumeration gave.
        {"the helper's two windows on two threads, another program's between", {at500(true, true), otherProgram(500)},
         true, 500},
        // A window of another program with control 1, there all along,
        // while the helper's own comes late from its task's thread.
        {"another program's window with control 1 while the helper's comes late", {otherProgram(0)}, true, 3000},
        // The helper's start-up banner, found first, is gone before its
        // main window comes.
        {"a found window that the helper replaces", {banner}, false, 1000},
    };
    for (const auto& c : cases) {
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (reversed ? ", enumerated bottom first" : ", enumerated top first"));
            sim::Machine pc;
            LayOut(pc);
            pc.enumReversed = reversed;
            sim::HelperBehaviour b;
            b.rect = {1024, 768, 1100, 800};
            b.showAfterMs = c.showAfterMs;
            b.onTaskThread = c.onTaskThread;
            b.decoys = c.others;
            sim::AddHelperProgram(pc, b);
            EXPECT_EQ(sim::RunSetup(pc), 0);
            int clicks = 0;
            for (const auto& e : pc.events) clicks += e == "helper: start clicked";
            EXPECT_EQ(clicks, 1);
            EXPECT_EQ(pc.hangs, 0);
        }
    }
}

TEST_F(Install, AWaitingPassCostsTheSameWhateverElseIsOnTheScreen) {
    // A pass that walked every top-level window cost a slow PC several
    // calls per window of every program on each 40 ms pass. Only the look
    // at the helper's other threads, once a second, walks them all, at one
    // call per window of another program: twice in this 2 s wait.
    auto callsWhileWaiting = [](int otherWindows) {
        sim::Machine pc;
        LayOut(pc);
        for (int i = 0; i < otherWindows; ++i)
            pc.CreateTopLevel(0x7000, "Other", {10, 10, 90, 90}, WS_VISIBLE);
        sim::HelperBehaviour b;
        b.showAfterMs = 2000;
        sim::AddHelperProgram(pc, b);
        EXPECT_EQ(sim::RunSetup(pc), 0);
        return pc.platformCalls;
    };
    uint64_t alone = callsWhileWaiting(0), crowded = callsWhileWaiting(300);
    EXPECT_LT(crowded - alone, 2u * 300 + 100) << alone << " calls alone, " << crowded << " beside 300 windows";
}

TEST_F(Install, ControlOneIsLookedForEvery100msAfterAFirstSleep) {
    sim::HelperBehaviour b;
    b.showAfterMs = 0;
    b.buttonAfterMs = 250;
    b.workMs = 0;
    sim::AddHelperProgram(m, b);
    sim::RunSetup(m);
    ASSERT_EQ(Clicks(), 1);
    // The window comes during the first scan's pause and is found when the
    // pause ends; control 1 comes later, and the third look, 300 ms after
    // the window was found, is the first to see it.
    static_assert(kScanPauseMs + 200 < 250 + 10 && 250 < kScanPauseMs + 300, "the case assumes this pause");
    EXPECT_EQ(Helper()->endedMs - Helper()->startedMs, (uint64_t)kScanPauseMs + 300);
}

TEST_F(Install, HelperThatEndsBeforeItsWindowEndsTheWait) {
    sim::HelperBehaviour noWindow;
    noWindow.showAfterMs = -1;
    noWindow.endsAfterMs = 2000;
    noWindow.exitCode = 0xC0000005u; // a crash
    sim::AddHelperProgram(m, noWindow);
    EXPECT_EQ((DWORD)sim::RunSetup(m), 0xC0000005u);
    EXPECT_EQ(m.hangs, 0);
    EXPECT_EQ(Clicks(), 0);

    sim::Machine beforeButton;
    LayOut(beforeButton);
    sim::HelperBehaviour b;
    b.buttonAfterMs = 100000;
    b.endsAfterMs = 1500;
    b.exitCode = 9;
    sim::AddHelperProgram(beforeButton, b);
    EXPECT_EQ(sim::RunSetup(beforeButton), 9);
    EXPECT_EQ(beforeButton.hangs, 0);
}

TEST_F(Install, HelperThatCannotRunIsNotWaitedFor) {
    // Not found at all.
    EXPECT_EQ(sim::RunSetup(m), kExitHelperNotRun);
    EXPECT_EQ(m.hangs, 0);
    EXPECT_TRUE(m.messageBoxes.empty()); // the script has no HelperNotRun message

    // A command line that would not fit its 256 characters: never started.
    std::string dir = "D:\\" + std::string(230, 'P');
    sim::Machine run;
    run.currentDirectory = dir;
    run.files[dir + "\\SETUP.INI"] = std::string(kCardScript) + "HelperNotRun=Cannot run the helper\n";
    run.AddPciFunction(1, 0, 0, 0x1234, 0x5678);
    sim::AddHelperProgram(run, sim::HelperBehaviour());
    EXPECT_EQ(sim::RunSetup(run), kExitHelperNotRun);
    EXPECT_TRUE(run.processes.empty());
    ASSERT_EQ(run.messageBoxes.size(), 1u);
    EXPECT_EQ(run.messageBoxes[0].text, "Cannot run the helper");
}

TEST_F(Install, InstallerIsReleasedAfterTheWalkAndASecondInstallStartsAfresh) {
    m.files["D:\\SETUP.INI"] = std::string(kCardScript) + "[Application]\n";
    m.files["D:\\SETUP.INI"].replace(m.files["D:\\SETUP.INI"].find("W98=DetectCard,Install,End"), 26,
                                     "W98=DetectCard,Install,Install");
    sim::HelperBehaviour b;
    b.exitCode = 5;
    sim::AddHelperProgram(m, b);
    EXPECT_EQ(sim::RunSetup(m), 5);
    EXPECT_EQ(Clicks(), 2);
    extern CSetupApp theApp;
    EXPECT_EQ(theApp.m_pInstaller, nullptr);
}
