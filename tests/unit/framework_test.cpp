// The application shell: error mode, title, argument text, the message loop
// with no main window, and ExitInstance as the exit code.
#include "framework/host_program.h"
#include "framework/program.h"
#include "tests/support/run.h"
#include <gtest/gtest.h>

namespace {

struct Seen {
    UINT errorMode;
    std::string title, arguments;
    bool quitAtInit;
    int posted;
} seen;
bool g_initResult;
int g_exitCode;

class CProbeApp : public CWinApp {
public:
    BOOL InitInstance() override {
        seen.errorMode = sim::Current().errorMode;
        seen.title = m_pszAppName;
        seen.arguments = m_lpCmdLine;
        seen.quitAtInit = sim::Current().quitPosted;
        // Something waiting for the thread: the loop dispatches it before it ends.
        MSG msg = {};
        msg.message = WM_USER;
        sim::Current().posted.push_back(msg);
        return g_initResult;
    }
    int ExitInstance() override {
        seen.posted = (int)sim::Current().posted.size();
        return g_exitCode;
    }
};

} // namespace

IMPLEMENT_APPLICATION(CProbeApp, probeApp, "probe");

static int RunProbe(sim::Machine& m, bool init, int code) {
    g_initResult = init;
    g_exitCode = code;
    seen = Seen{};
    sim::UseMachine use(m);
    return HostRunProgram("probe");
}

TEST(Framework, StartUpSetsErrorModeTitleAndArguments) {
    sim::Machine m;
    m.errorMode = SEM_NOGPFAULTERRORBOX;
    m.commandLine = "\"C:\\A B\\Probe.Tool.EXE\"  \\DISK1 ";
    m.moduleFileName = "C:\\A B\\Probe.Tool.EXE";
    EXPECT_EQ(RunProbe(m, true, 0), 0);
    EXPECT_EQ(seen.errorMode, (UINT)(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
    EXPECT_EQ(seen.title, "Probe.Tool"); // no string 57344: file name without directory and extension
    EXPECT_EQ(seen.arguments, "\\DISK1 ");

    // Code page 932: 表 is 0x95 0x5C, its second byte a backslash.
    m.codePage = 932;
    m.moduleFileName = "C:\\\x95\\\x95\\.EXE";
    RunProbe(m, true, 0);
    EXPECT_EQ(seen.title, "\x95\\\x95\\");

    m.stringResources[57344] = "TITLE";
    RunProbe(m, true, 0);
    EXPECT_EQ(seen.title, "TITLE");
}

TEST(Framework, LoopRequestsQuitAtOnceButDispatchesWhatIsWaiting) {
    sim::Machine m;
    EXPECT_EQ(RunProbe(m, true, 7), 7);
    EXPECT_FALSE(seen.quitAtInit);
    EXPECT_EQ(m.quitRequests, 1);
    EXPECT_EQ(seen.posted, 0);
    EXPECT_FALSE(m.quitPosted); // the loop retrieved its quit message
}

TEST(Framework, NoLoopWhenInitInstanceFails) {
    sim::Machine m;
    EXPECT_EQ(RunProbe(m, false, 3), 3);
    EXPECT_EQ(m.quitRequests, 0);
    EXPECT_EQ(seen.posted, 1);
}
