#include "simwin/programs.h"

namespace sim {

static bool Running(Machine& m, DWORD pid) {
    Process* p = m.FindProcess(pid);
    return p && p->running;
}

static void ShowHelperWindow(Machine& m, DWORD pid, const HelperBehaviour& b) {
    if (!Running(m, pid)) return;
    HWND window = m.CreateTopLevel(pid, "#32770", b.rect, WS_VISIBLE | WS_POPUP);
    if (b.onTaskThread) m.FindWindowModel(window)->threadId += 2;
    m.Record("helper: window shown");
    m.At(m.nowMs + b.buttonAfterMs, [pid, window, b](Machine& m) {
        if (!m.FindWindowModel(window)) return;
        HWND button = m.AddControl(window, 1);
        if (b.crashesOnClick) {
            m.FindWindowModel(button)->onMessageAsync = [pid, b](Machine& m, Window&, UINT msg, WPARAM, LPARAM,
                                                                 Window::Reply reply) {
                if (msg != BM_CLICK) return reply(0);
                m.Record("helper: crashed on the click");
                m.EndProcess(pid, b.exitCode);
            };
            return;
        }
        m.FindWindowModel(button)->onMessage = [pid, b](Machine& m, Window&, UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg != BM_CLICK) return 0;
            m.Record("helper: start clicked");
            m.At(m.nowMs + b.workMs, [pid, b](Machine& m) { m.EndProcess(pid, b.exitCode); });
            return 0;
        };
    });
}

void AddHelperProgram(Machine& m, const HelperBehaviour& b, const std::string& name) {
    m.programs[name].start = [b](Machine& m, Process& p) {
        DWORD pid = p.id;
        uint64_t t0 = m.nowMs;
        for (const DecoyWindow& d : b.decoys) {
            m.At(t0 + d.atMs, [pid, d, t0](Machine& m) {
                if (!Running(m, pid)) return;
                HWND w = m.CreateTopLevel(d.otherProgram ? kOtherProgramId : pid, "Decoy", d.rect, d.style);
                Window* model = m.FindWindowModel(w);
                if (d.otherProgram) model->threadId = kOtherProgramId + 1;
                if (d.otherThread) model->threadId += 1;
                model->vanishesWhenExamined = d.vanishesWhenExamined;
                if (d.control1) m.AddControl(w, 1);
                if (d.destroyAtMs >= 0) m.At(t0 + d.destroyAtMs, [w](Machine& m) { m.DestroyWindowModel(w); });
            });
        }
        if (b.showAfterMs >= 0) m.At(t0 + b.showAfterMs, [pid, b](Machine& m) { ShowHelperWindow(m, pid, b); });
        if (b.endsAfterMs >= 0) m.At(t0 + b.endsAfterMs, [pid, b](Machine& m) { m.EndProcess(pid, b.exitCode); });
        return true;
    };
}

void AddPlainProgram(Machine& m, const std::string& name, DWORD exitCode, int64_t runMs) {
    m.programs[name].start = [exitCode, runMs](Machine& m, Process& p) {
        DWORD pid = p.id;
        if (runMs >= 0) m.At(m.nowMs + runMs, [pid, exitCode](Machine& m) { m.EndProcess(pid, exitCode); });
        return true;
    };
}

} // namespace sim
