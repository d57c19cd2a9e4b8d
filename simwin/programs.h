// Models of the outside programs the launcher and the runner start, with
// the timing and windows a test can set.
#pragma once
#include "simwin/machine.h"

namespace sim {

// A window the helper shows before its real one, to test the on-screen rules.
struct DecoyWindow {
    uint64_t atMs = 0;
    RECT rect = {0, 0, 100, 100};
    LONG style = WS_VISIBLE;
    bool otherThread = false; // created by another thread of the helper
    bool otherProgram = false; // a window of another program, shown at the same moment
    bool control1 = false;     // holds a control 1 that does nothing when clicked
    int64_t destroyAtMs = -1;  // the helper destroys it then
    bool vanishesWhenExamined = false; // destroyed as soon as asked for its thread
};

// The Windows 95/98 install helper: after showAfterMs it shows a visible
// top-level window with control 1 (after a further buttonAfterMs); a click
// on it starts workMs of work, then the helper ends with exitCode. With
// endsAfterMs >= 0 it ends by itself at that time, window or not; with
// showAfterMs < 0 it never shows its window. With crashesOnClick the click
// kills it at once: the click is never answered, the exit code is exitCode.
struct HelperBehaviour {
    int64_t showAfterMs = 300;
    int64_t buttonAfterMs = 0;
    int64_t workMs = 200;
    int64_t endsAfterMs = -1;
    DWORD exitCode = 0;
    bool crashesOnClick = false;
    // Its window comes from another thread than the main one, as Wine runs
    // a 16-bit program: on a thread of its own inside winevdm.exe.
    bool onTaskThread = false;
    RECT rect = {100, 100, 500, 400};
    std::vector<DecoyWindow> decoys;
};
void AddHelperProgram(Machine& m, const HelperBehaviour& behaviour, const std::string& name = "fitter16.exe");

// A plain program that runs runMs and ends with exitCode.
void AddPlainProgram(Machine& m, const std::string& name, DWORD exitCode, int64_t runMs = 10);

} // namespace sim

namespace sim {

// The Display applet of Windows NT 4.0 as the launcher's chain relies on it,
// started as rundll32.exe: a hidden "RunDLL" window owning the applet window
// ("#32770", OK = 1) whose page (a child of the same class) has control 265.
// 265 opens the first dialog (519, 2); 519 the second (1567); 1567 the path
// dialog (107 the path box, 1 OK); after its OK a follow-up window (1) owned
// by the second dialog, then a question (6 Yes) owned by the first; then the
// second dialog ends and a closing window (10, 2) owned by the first comes.
// Every click that opens a modal dialog is answered once that dialog ends.
// What the applet sees is recorded as "applet: ..." events.
struct AppletBehaviour {
    int64_t startMs = 500;   // until its window is shown and it is idle
    int64_t dialogMs = 100;  // each dialog takes this long to appear
    bool pageOpensDialog = true;
    int64_t userClosesAtMs = -1; // the user closes the applet at this time
};
void AddAppletProgram(Machine& m, const AppletBehaviour& behaviour = AppletBehaviour());

// An applet left open by an earlier run: a running process with an owner
// window of class ownerClass, the applet window, and a chain of `dialogs`
// dialogs open on it. Closing each is recorded as "closed: <name>".
void AddLeftoverApplet(Machine& m, int dialogs, const std::string& ownerClass = "RunDLL");

} // namespace sim
