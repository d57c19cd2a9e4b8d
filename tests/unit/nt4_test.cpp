// The Windows NT 4.0 route on the simulated PC: the applet model keeps the
// dialog chain, owners and control ids the launcher relies on, answers each
// click that opens a modal dialog only when that dialog has ended, and the
// completions reach the launcher only while it retrieves messages.
#include "setup/nt4.h"
#include "setup/setupapp.h"
#include "simwin/programs.h"
#include "tests/support/run.h"
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct Nt4 : ::testing::Test {
    sim::Machine m;
    Nt4() {
        m.SetVersion("nt40");
        m.currentDirectory = "E:\\PKG";
        m.userAnswerMs = 60000; // the user reads long enough for the chain to finish
    }
    void Script(const std::string& list, const std::string& more = "") {
        m.files["E:\\PKG\\SETUP.INI"] = "[Application]\nNT40=" + list + "\n[SubDir]\nNT40=\\NT40\n[Message]\n"
                                        "ShowMsgNT=Follow the Display Properties dialog.\n" + more;
    }
    std::vector<std::string> Applet() const {
        std::vector<std::string> seen;
        for (const auto& e : m.events)
            if (e.rfind("applet: ", 0) == 0 || e.rfind("closed: ", 0) == 0) seen.push_back(e);
        return seen;
    }
    bool AppletRunning() const {
        for (const auto& p : m.processes)
            if (p.commandLine.rfind("rundll32.exe shell32.dll", 0) == 0) return p.running;
        return false;
    }
};

using Lines = std::vector<std::string>;

} // namespace

TEST_F(Nt4, WithAMessageAfterInstallTheChainRunsToTheAppletsOkAndTheQuitClosesTheBox) {
    Script("Install,ShowMsgNT");
    sim::AddAppletProgram(m);
    EXPECT_EQ(sim::RunSetup(m), 0);
    EXPECT_EQ(Applet(), (Lines{"applet: click 265", "applet: click 519", "applet: click 1567",
                               "applet: pasted E:\\PKG\\NT40", "applet: path OK with E:\\PKG\\NT40",
                               "applet: follow-up OK", "applet: question answered Yes", "applet: driver installed",
                               "applet: closing window closed", "applet: first dialog closed", "applet: OK"}));
    ASSERT_EQ(m.messageBoxes.size(), 1u);
    EXPECT_EQ(m.messageBoxes[0].answer, 0); // ended by the stage 7 quit, not by the user
    EXPECT_EQ(m.clipboard, "E:\\PKG\\NT40");
    EXPECT_FALSE(AppletRunning());
    EXPECT_EQ(m.hangs, 0);
    const sim::Process& applet = m.processes.at(0);
    EXPECT_EQ(applet.applicationName, "C:\\WINNT\\system32\\rundll32.exe"); // never one planted beside setup.exe
    EXPECT_EQ(applet.commandLine, "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3");
    EXPECT_EQ(applet.startup.dwFlags, (DWORD)(STARTF_USESTDHANDLES | STARTF_FORCEONFEEDBACK));
    EXPECT_TRUE(applet.inheritHandles);
    // The hidden edit window went in stage 1000.
    EXPECT_EQ(std::count_if(m.windows.begin(), m.windows.end(),
                            [](const auto& w) { return w.second.className == "EDIT" && !w.second.destroyed; }),
              0);
}

TEST_F(Nt4, WithoutALaterMessageTheLauncherEndsAndTheAppletStaysWhereTheChainStopped) {
    for (const char* list : {"Install", "Install,End"}) {
        sim::Machine run = m;
        run.files["E:\\PKG\\SETUP.INI"] = "[Application]\nNT40=" + std::string(list) + "\n";
        sim::AddAppletProgram(run);
        EXPECT_EQ(sim::RunSetup(run), 0) << list;
        std::swap(run, m);
        Lines seen = Applet();
        EXPECT_TRUE(AppletRunning()) << list;
        EXPECT_EQ(std::find(seen.begin(), seen.end(), "applet: OK"), seen.end()) << list;
        EXPECT_NE(std::find(seen.begin(), seen.end(), "applet: click 1567"), seen.end()) << list;
        EXPECT_EQ(m.hangs, 0);
        std::swap(run, m);
    }
}

TEST_F(Nt4, PathTypedIsTheLaunchDirectoryAloneWithoutASubDirValue) {
    m.files["E:\\PKG\\DISK2\\SETUP.INI"] = "[Application]\nNT40=Install,ShowMsg\n";
    sim::AddAppletProgram(m);
    sim::RunSetup(m, "\\DISK2");
    EXPECT_EQ(m.clipboard, "E:\\PKG\\DISK2");
}

TEST_F(Nt4, OsDirectoryThatDoesNotFitStartsNoAppletAndLeavesTheClipboardAlone) {
    // 7 + 255 characters exceed the 259 an OS directory holds.
    m.files["E:\\PKG\\SETUP.INI"] = "[Application]\nNT40=Install,ShowMsgNT\n[SubDir]\nNT40=\\" + std::string(254, 'D') +
                                    "\n[Message]\nHelperNotRun=Cannot install\nShowMsgNT=Follow.\n";
    m.clipboard = "what the user copied last";
    sim::AddAppletProgram(m);
    EXPECT_EQ(sim::RunSetup(m), kExitHelperNotRun);
    EXPECT_TRUE(m.processes.empty());
    EXPECT_EQ(m.clipboard, "what the user copied last");
    ASSERT_EQ(m.messageBoxes.size(), 2u);
    EXPECT_EQ(m.messageBoxes[0].text, "Cannot install");
}

TEST_F(Nt4, LeftoverAppletIsClosedDeepestDialogFirstBeforeTheNewOneStarts) {
    Script("Install,ShowMsgNT");
    sim::AddLeftoverApplet(m, 2);
    sim::AddAppletProgram(m);
    sim::RunSetup(m);
    Lines seen = Applet();
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(Lines(seen.begin(), seen.begin() + 4),
              (Lines{"closed: dialog 2", "closed: dialog 1", "closed: applet", "applet: click 265"}));
    EXPECT_EQ(seen.back(), "applet: OK");
}

TEST_F(Nt4, LeftoverThatSurvivesItsCloseBelowTheTopIsGivenUpOn) {
    // A leftover applet window that refuses WM_CLOSE and, when asked, stays
    // where it is, comes to the top or drops to the bottom.
    enum Move { kStays, kRises, kSinks };
    auto survivor = [](sim::Machine& m, const std::string& name, Move move) {
        sim::AddLeftoverApplet(m, 0);
        HWND w = m.zOrder.front();
        m.FindWindowModel(w)->onMessage = [name, move, w](sim::Machine& m, sim::Window&, UINT msg, WPARAM,
                                                          LPARAM) -> LRESULT {
            if (msg != WM_CLOSE) return 0;
            m.Record("closed: " + name);
            if (move != kStays) m.Restack(w, move == kRises);
            return 0;
        };
    };
    struct {
        const char* what;
        std::function<void(sim::Machine&)> layOut;
        Lines closed;
    } cases[] = {
        // Each pass came back to it from the window on top and closed it
        // again, for ever.
        {"one that stays, below another window",
         [&](sim::Machine& m) {
             survivor(m, "applet (it stays)", kStays);
             m.CreateTopLevel(0x7000, "Other", {0, 0, 50, 50}, WS_VISIBLE);
         },
         {"closed: applet (it stays)"}},
        // The two took turns on top: thousands of closes.
        {"two that bring themselves to the top",
         [&](sim::Machine& m) {
             survivor(m, "applet A (it rises)", kRises);
             survivor(m, "applet B (it rises)", kRises);
         },
         {"closed: applet B (it rises)", "closed: applet A (it rises)"}},
        // The walk went on below it, at the bottom: the leftover under it
        // stayed open.
        {"one that drops to the bottom, above one that closes",
         [&](sim::Machine& m) {
             sim::AddLeftoverApplet(m, 0);
             survivor(m, "applet (it sinks)", kSinks);
         },
         {"closed: applet (it sinks)", "closed: applet"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Machine run = m;
        run.files["E:\\PKG\\SETUP.INI"] = "[Application]\nNT40=Install,ShowMsgNT\n[Message]\nShowMsgNT=Follow.\n";
        c.layOut(run);
        sim::AddAppletProgram(run);
        run.callLimit = 1000000;
        sim::RunSetup(run);
        std::swap(run, m);
        EXPECT_EQ(m.hangs, 0);
        Lines seen = Applet();
        Lines want = c.closed;
        want.push_back("applet: click 265");
        ASSERT_GE(seen.size(), want.size());
        EXPECT_EQ(Lines(seen.begin(), seen.begin() + want.size()), want);
        std::swap(run, m);
    }
}

TEST_F(Nt4, OwnerClassInOtherLetterCaseIsLeftAlone) {
    Script("Install,ShowMsgNT");
    sim::AddLeftoverApplet(m, 1, "rundll");
    sim::AddAppletProgram(m);
    sim::RunSetup(m);
    for (const auto& e : Applet()) EXPECT_NE(e.rfind("closed: ", 0), 0u) << e;
}

TEST_F(Nt4, AppletThatEndsHalfwayOrNeverStartsEndsEveryWait) {
    // Whatever the path, the applet's process and thread handles are closed
    // by the end, a first applet's too when a second Install starts another.
    struct {
        const char* what;
        bool install;
        sim::AppletBehaviour b;
        std::string systemDirectory;
        size_t starts;
        const char* list;
    } cases[] = {
        {"user closes it while the chain waits for the first dialog", true, {500, 100, false, 3000}, "C:\\WINNT\\system32", 1, "Install,ShowMsgNT"},
        {"user closes it in the middle of the chain", true, {500, 100, true, 1700}, "C:\\WINNT\\system32", 1, "Install,ShowMsgNT"},
        {"rundll32 cannot be started", false, {}, "C:\\WINNT\\system32", 0, "Install,ShowMsgNT"},
        {"the system directory cannot be read", true, {}, "", 0, "Install,ShowMsgNT"},
        // 248 characters and \rundll32.exe exceed the 259 a path holds.
        {"the system directory leaves no room for the name", true, {}, "C:\\" + std::string(245, 'S'), 0, "Install,ShowMsgNT"},
        {"the chain runs to its end", true, {}, "C:\\WINNT\\system32", 1, "Install,ShowMsgNT"},
        {"a second Install, each applet closed by the user", true, {500, 100, true, 1700}, "C:\\WINNT\\system32", 2, "Install,Install,ShowMsgNT"},
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.systemDirectory = c.systemDirectory;
        run.files["E:\\PKG\\SETUP.INI"] = "[Application]\nNT40=" + std::string(c.list) + "\n";
        if (c.install) sim::AddAppletProgram(run, c.b);
        EXPECT_EQ(sim::RunSetup(run), 0) << c.what;
        EXPECT_EQ(run.hangs, 0) << c.what;
        EXPECT_EQ(run.messageBoxes.size(), 1u) << c.what;
        EXPECT_EQ(run.processes.size(), c.starts) << c.what;
        EXPECT_EQ(run.openHandles, 0) << c.what;
    }
}

TEST_F(Nt4, FindingAnOwnedWindowTakesAtLeast200msEvenWhenItIsThere) {
    sim::AddPlainProgram(m, "app.exe", 0, -1);
    sim::UseMachine use(m);
    g_applet = AppletState();
    char line[] = "app.exe";
    STARTUPINFOA si = {};
    ASSERT_TRUE(CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &g_applet.process));
    HWND owner = m.CreateTopLevel(g_applet.process.dwProcessId, "#32770", RECT{0, 0, 10, 10}, WS_VISIBLE);
    HWND owned = m.CreateTopLevel(g_applet.process.dwProcessId, "#32770", RECT{0, 0, 10, 10}, WS_VISIBLE | WS_POPUP, owner);
    uint64_t t0 = m.nowMs;
    EXPECT_EQ(FindOwnedWindow(owner), owned);
    EXPECT_EQ(m.nowMs - t0, 200u);
    EXPECT_EQ(FindOwnedWindow(NULL), nullptr); // never "owned by nothing"
}
