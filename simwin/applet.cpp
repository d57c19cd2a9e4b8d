#include "simwin/programs.h"
#include <algorithm>
#include <memory>

namespace sim {

namespace {

struct Applet {
    DWORD pid;
    AppletBehaviour b;
    HWND applet = nullptr, first = nullptr, second = nullptr;
};

const RECT kDialogRect = {200, 150, 600, 450};

void Busy(Machine& m, DWORD pid, int64_t ms) {
    if (Process* p = m.FindProcess(pid)) p->idleAtMs = std::max<uint64_t>(p->idleAtMs, m.nowMs + ms);
}

bool Alive(Machine& m, DWORD pid) {
    Process* p = m.FindProcess(pid);
    return p && p->running;
}

// A button whose click does `click`, which answers through the reply.
HWND Button(Machine& m, HWND parent, int id, std::function<void(Machine&, Window::Reply)> click) {
    HWND h = m.AddControl(parent, id);
    m.FindWindowModel(h)->onMessageAsync = [click](Machine& m, Window&, UINT msg, WPARAM, LPARAM, Window::Reply r) {
        if (msg == BM_CLICK) click(m, r);
        else r(0);
    };
    return h;
}

// A button that ends its dialog with result.
void EndButton(Machine& m, HWND dialog, int id, int result, const std::string& what) {
    Button(m, dialog, id, [dialog, result, what](Machine& m, Window::Reply r) {
        m.Record("applet: " + what);
        r(0);
        m.EndDialogModel(dialog, result);
    });
}

// Opens a modal dialog after the applet's dialog delay; built by `fill`.
void Later(Machine& m, std::shared_ptr<Applet> a, std::function<void(Machine&)> open) {
    Busy(m, a->pid, a->b.dialogMs);
    m.At(m.nowMs + a->b.dialogMs, [a, open](Machine& m) {
        if (Alive(m, a->pid)) open(m);
    });
}

void OpenClosingWindow(Machine& m, std::shared_ptr<Applet> a, Window::Reply reply519) {
    Later(m, a, [a, reply519](Machine& m) {
        HWND w = m.OpenModal(a->pid, a->first, "#32770", kDialogRect, [reply519](Machine&, int) { reply519(0); });
        m.AddControl(w, 10);
        EndButton(m, w, 2, IDCANCEL, "closing window closed");
    });
}

void OpenQuestion(Machine& m, std::shared_ptr<Applet> a, Window::Reply reply1567) {
    Later(m, a, [a, reply1567](Machine& m) {
        HWND w = m.OpenModal(a->pid, a->first, "#32770", kDialogRect, [a, reply1567](Machine& m, int result) {
            m.Record(result == IDYES ? "applet: driver installed" : "applet: driver not installed");
            reply1567(0);
            m.EndDialogModel(a->second, IDOK);
        });
        EndButton(m, w, 6, IDYES, "question answered Yes");
        EndButton(m, w, 7, IDNO, "question answered No");
    });
}

void OpenFollowUp(Machine& m, std::shared_ptr<Applet> a, Window::Reply reply1567) {
    Later(m, a, [a, reply1567](Machine& m) {
        HWND w = m.OpenModal(a->pid, a->second, "#32770", kDialogRect, [a, reply1567](Machine& m, int) {
            OpenQuestion(m, a, reply1567);
        });
        EndButton(m, w, 1, IDOK, "follow-up OK");
    });
}

void OpenPathDialog(Machine& m, std::shared_ptr<Applet> a, Window::Reply reply1567) {
    Later(m, a, [a, reply1567](Machine& m) {
        HWND w = m.OpenModal(a->pid, a->second, "#32770", kDialogRect, [a, reply1567](Machine& m, int result) {
            if (result == IDOK) OpenFollowUp(m, a, reply1567);
            else reply1567(0);
        });
        HWND box = m.AddControl(w, 107, "Edit");
        m.FindWindowModel(box)->onMessage = [](Machine& m, Window& box, UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg == WM_PASTE) {
                box.text += m.clipboard;
                m.Record("applet: pasted " + m.clipboard);
            }
            return 0;
        };
        Button(m, w, 1, [w, box](Machine& m, Window::Reply r) {
            Window* bw = m.FindWindowModel(box);
            m.Record("applet: path OK with " + (bw ? bw->text : std::string()));
            r(0);
            m.EndDialogModel(w, IDOK);
        });
    });
}

void OpenSecondDialog(Machine& m, std::shared_ptr<Applet> a, Window::Reply reply519) {
    Later(m, a, [a, reply519](Machine& m) {
        a->second = m.OpenModal(a->pid, a->first, "#32770", kDialogRect, [a, reply519](Machine& m, int result) {
            if (result == IDOK) OpenClosingWindow(m, a, reply519);
            else reply519(0);
        });
        Button(m, a->second, 1567, [a](Machine& m, Window::Reply r) {
            m.Record("applet: click 1567");
            OpenPathDialog(m, a, r);
        });
    });
}

void OpenFirstDialog(Machine& m, std::shared_ptr<Applet> a, Window::Reply reply265) {
    Later(m, a, [a, reply265](Machine& m) {
        a->first = m.OpenModal(a->pid, a->applet, "#32770", kDialogRect, [reply265](Machine&, int) { reply265(0); });
        Button(m, a->first, 519, [a](Machine& m, Window::Reply r) {
            m.Record("applet: click 519");
            OpenSecondDialog(m, a, r);
        });
        EndButton(m, a->first, 2, IDCANCEL, "first dialog closed");
    });
}

void ShowApplet(Machine& m, std::shared_ptr<Applet> a) {
    HWND owner = m.CreateTopLevel(a->pid, "RunDLL", RECT{0, 0, 0, 0}, 0);
    a->applet = m.CreateTopLevel(a->pid, "#32770", RECT{100, 100, 520, 560}, WS_VISIBLE | WS_POPUP, owner);
    DWORD pid = a->pid;
    Button(m, a->applet, 1, [pid](Machine& m, Window::Reply r) {
        m.Record("applet: OK");
        r(0);
        m.EndProcess(pid, 0);
    });
    HWND page = m.AddControl(a->applet, 0, "#32770");
    Button(m, page, 265, [a](Machine& m, Window::Reply r) {
        m.Record("applet: click 265");
        if (a->b.pageOpensDialog) OpenFirstDialog(m, a, r);
        else r(0);
    });
}

} // namespace

void AddAppletProgram(Machine& m, const AppletBehaviour& b) {
    m.programs["rundll32.exe"].start = [b](Machine& m, Process& p) {
        auto a = std::make_shared<Applet>();
        a->pid = p.id;
        a->b = b;
        p.idleAtMs = m.nowMs + b.startMs;
        m.At(m.nowMs + b.startMs, [a](Machine& m) {
            if (Alive(m, a->pid)) ShowApplet(m, a);
        });
        if (b.userClosesAtMs >= 0) {
            DWORD pid = p.id;
            m.At(m.nowMs + b.userClosesAtMs, [pid](Machine& m) {
                m.Record("applet: closed by the user");
                m.EndProcess(pid, 0);
            });
        }
        return true;
    };
}

void AddLeftoverApplet(Machine& m, int dialogs, const std::string& ownerClass) {
    Process p;
    p.id = m.nextId;
    p.mainThreadId = m.nextId + 1;
    m.nextId += 4;
    p.commandLine = "rundll32.exe (left over)";
    m.processes.push_back(p);
    DWORD pid = p.id;
    HWND owner = m.CreateTopLevel(pid, ownerClass, RECT{0, 0, 0, 0}, 0);
    HWND applet = m.CreateTopLevel(pid, "#32770", RECT{100, 100, 520, 560}, WS_VISIBLE | WS_POPUP, owner);
    m.FindWindowModel(applet)->onMessage = [pid, applet](Machine& m, Window&, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_CLOSE) {
            m.Record("closed: applet");
            m.DestroyWindowModel(applet);
        }
        return 0;
    };
    HWND below = applet;
    for (int i = 1; i <= dialogs; ++i) {
        std::string name = "dialog " + std::to_string(i);
        HWND d = m.OpenModal(pid, below, "#32770", kDialogRect, [](Machine&, int) {});
        m.FindWindowModel(d)->onMessage = [d, name](Machine& m, Window&, UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg == WM_CLOSE) {
                m.Record("closed: " + name);
                m.EndDialogModel(d, IDCANCEL);
            }
            return 0;
        };
        below = d;
    }
}

} // namespace sim
