// Windows of the simulated PC: the top-level z-order, controls, queries,
// sent messages, the cursor and the screen; the shell and shut-down too.
#include "simwin/machine.h"
#include <algorithm>
#include <cstring>
#include <strings.h>

namespace sim {

static HWND NewHandle(Machine& m) {
    return (HWND)(uintptr_t)(0x10000 + 4 * (m.windows.size() + 1));
}

HWND Machine::CreateTopLevel(DWORD processId, const std::string& className, const RECT& rect, LONG style,
                             HWND owner) {
    Window w;
    w.handle = NewHandle(*this);
    w.processId = processId;
    Process* p = FindProcess(processId);
    w.threadId = p ? p->mainThreadId : 0;
    w.className = className;
    w.rect = rect;
    w.style = style;
    w.owner = owner;
    windows[w.handle] = w;
    zOrder.insert(zOrder.begin(), w.handle); // a new window comes to the top
    return w.handle;
}

HWND Machine::AddControl(HWND parent, int id, const std::string& className) {
    Window* p = FindWindowModel(parent);
    if (!p) return nullptr;
    Window w;
    w.handle = NewHandle(*this);
    w.processId = p->processId;
    w.threadId = p->threadId;
    w.className = className;
    w.style = WS_VISIBLE | WS_CHILD;
    w.owner = parent;
    w.controlId = id;
    w.isControl = true;
    HWND h = w.handle;
    windows[h] = w;
    FindWindowModel(parent)->controls.push_back(h);
    return h;
}

void Machine::DestroyWindowModel(HWND hwnd) {
    Window* w = FindWindowModel(hwnd);
    if (!w) return;
    w->destroyed = true;
    std::vector<HWND> controls = w->controls;
    for (HWND c : controls) DestroyWindowModel(c);
    zOrder.erase(std::remove(zOrder.begin(), zOrder.end(), hwnd), zOrder.end());
}

void Machine::Restack(HWND hwnd, bool toTop) {
    auto it = std::find(zOrder.begin(), zOrder.end(), hwnd);
    if (it == zOrder.end()) return;
    zOrder.erase(it);
    if (toTop) zOrder.insert(zOrder.begin(), hwnd);
    else zOrder.push_back(hwnd);
}

HWND Machine::OpenModal(DWORD processId, HWND owner, const std::string& className, const RECT& rect,
                        std::function<void(Machine&, int)> then) {
    HWND h = CreateTopLevel(processId, className, rect, WS_VISIBLE | WS_POPUP, owner);
    Window* w = FindWindowModel(h);
    w->modal = true;
    w->onEnd = std::move(then);
    return h;
}

void Machine::EndDialogModel(HWND dialog, int result) {
    Window* w = FindWindowModel(dialog);
    if (!w) return;
    auto then = std::move(w->onEnd);
    w->onEnd = nullptr;
    DestroyWindowModel(dialog);
    if (then) then(*this, result);
}

void Machine::Dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Window::Reply reply) {
    Window* w = FindWindowModel(hwnd);
    if (!w) return; // gone: no answer ever comes
    if (w->onMessageAsync) {
        auto handler = w->onMessageAsync; // the handler may destroy the window
        handler(*this, *w, msg, wParam, lParam, reply);
        return;
    }
    if (w->onMessage) {
        auto handler = w->onMessage;
        reply(handler(*this, *w, msg, wParam, lParam));
        return;
    }
    if (msg == WM_CLOSE && !w->isControl) {
        if (w->modal) EndDialogModel(hwnd, IDCANCEL);
        else DestroyWindowModel(hwnd);
    }
    reply(0);
}

Window* Machine::FindWindowModel(HWND hwnd) {
    auto it = windows.find(hwnd);
    if (it == windows.end() || it->second.destroyed) return nullptr;
    return &it->second;
}

} // namespace sim

using sim::Current;

static HWND const kDesktop = (HWND)(uintptr_t)0x10000;

HWND GetDesktopWindow() { return kDesktop; }

// Siblings of a window: the z-order for top-level windows, the parent's
// controls for a control.
static const std::vector<HWND>* SiblingsOf(sim::Machine& m, HWND hwnd) {
    sim::Window* w = m.FindWindowModel(hwnd);
    if (!w) return nullptr;
    if (!w->isControl) return &m.zOrder;
    sim::Window* parent = m.FindWindowModel(w->owner);
    return parent ? &parent->controls : nullptr;
}

HWND GetWindow(HWND hwnd, UINT command) {
    sim::Machine& m = Current();
    if (command == GW_CHILD) {
        if (hwnd == kDesktop) return m.zOrder.empty() ? nullptr : m.zOrder.front();
        sim::Window* w = m.FindWindowModel(hwnd);
        return w && !w->controls.empty() ? w->controls.front() : nullptr;
    }
    if (command == GW_OWNER) {
        sim::Window* w = m.FindWindowModel(hwnd);
        return w && !w->isControl ? w->owner : nullptr;
    }
    const std::vector<HWND>* s = SiblingsOf(m, hwnd);
    if (!s || s->empty()) return nullptr;
    auto it = std::find(s->begin(), s->end(), hwnd);
    switch (command) {
    case GW_HWNDFIRST: return s->front();
    case GW_HWNDLAST: return s->back();
    case GW_HWNDNEXT: return (it == s->end() || it + 1 == s->end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == s->end() || it == s->begin()) ? nullptr : *(it - 1);
    }
    return nullptr;
}

// Hands the listed windows to the callback. The list is taken before the
// first call, as the system does, so a callback that opens or closes
// windows changes the walk no more than on Windows. No order is documented
// for either enumeration: the machine gives the z-order, top first, or with
// enumReversed its reverse.
static BOOL EnumListed(sim::Machine& m, std::vector<HWND> list, WNDENUMPROC proc, LPARAM param) {
    if (m.enumReversed) std::reverse(list.begin(), list.end());
    for (HWND h : list) {
        if (!m.FindWindowModel(h)) continue;
        if (!proc(h, param)) return FALSE;
    }
    return !list.empty();
}

BOOL EnumThreadWindows(DWORD threadId, WNDENUMPROC proc, LPARAM param) {
    sim::Machine& m = Current();
    std::vector<HWND> list;
    for (HWND h : m.zOrder) {
        sim::Window* w = m.FindWindowModel(h);
        if (w && w->threadId == threadId) list.push_back(h);
    }
    return EnumListed(m, list, proc, param);
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM param) {
    sim::Machine& m = Current();
    return EnumListed(m, m.zOrder, proc, param);
}

// As Win32: a control's parent; a pop-up's owner; nothing for others.
HWND GetParent(HWND hwnd) {
    sim::Window* w = Current().FindWindowModel(hwnd);
    if (!w) return nullptr;
    if (w->isControl) return w->owner;
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int size) {
    sim::Window* w = Current().FindWindowModel(hwnd);
    if (!w || size <= 0) {
        if (size > 0) buffer[0] = '\0';
        return 0;
    }
    int n = std::min((int)w->className.size(), size - 1);
    std::memcpy(buffer, w->className.data(), n);
    buffer[n] = '\0';
    return n;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    sim::Window* w = Current().FindWindowModel(hwnd);
    if (!w) return FALSE;
    *rect = w->rect;
    return TRUE;
}

LONG GetWindowLongA(HWND hwnd, int index) {
    sim::Window* w = Current().FindWindowModel(hwnd);
    return (w && index == GWL_STYLE) ? w->style : 0;
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    sim::Machine& m = Current();
    sim::Window* w = m.FindWindowModel(hwnd);
    if (processId) *processId = w ? w->processId : 0;
    DWORD thread = w ? w->threadId : 0;
    if (w && w->vanishesWhenExamined) m.DestroyWindowModel(hwnd);
    return thread;
}

HWND GetDlgItem(HWND dialog, int id) {
    sim::Machine& m = Current();
    sim::Window* w = m.FindWindowModel(dialog);
    if (!w) return nullptr;
    for (HWND c : w->controls) {
        sim::Window* cw = m.FindWindowModel(c);
        if (cw && cw->controlId == id) return c;
    }
    return nullptr;
}

HWND FindWindowExA(HWND parent, HWND after, LPCSTR className, LPCSTR title) {
    sim::Machine& m = Current();
    const std::vector<HWND>* list = &m.zOrder;
    if (parent && parent != kDesktop) {
        sim::Window* p = m.FindWindowModel(parent);
        if (!p) return nullptr;
        list = &p->controls;
    }
    bool started = after == nullptr;
    for (HWND h : *list) {
        if (!started) {
            started = h == after;
            continue;
        }
        sim::Window* w = m.FindWindowModel(h);
        if (!w) continue;
        if (className && strcasecmp(className, w->className.c_str()) != 0) continue;
        if (title && w->text != title) continue;
        return h;
    }
    return nullptr;
}

BOOL IsWindow(HWND hwnd) { return Current().FindWindowModel(hwnd) != nullptr; }

// The launcher's own windows belong to process 0 and are handled at once;
// another program handles a message when its thread comes to it, which the
// model puts on the clock at the present moment.
static bool IsOwnWindow(sim::Window* w) { return w->processId == 0; }

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    sim::Machine& m = Current();
    sim::Window* w = m.FindWindowModel(hwnd);
    if (!w) return 0;
    DWORD pid = w->processId;
    bool answered = false;
    LRESULT result = 0;
    auto reply = [&answered, &result](LRESULT r) {
        answered = true;
        result = r;
    };
    m.Dispatch(hwnd, msg, wParam, lParam, reply);
    // Blocked until the other thread answers; it answers nothing once it has ended.
    while (!answered) {
        sim::Process* p = m.FindProcess(pid);
        if (!p || !p->running) return 0;
        if (!m.RunNextEvent()) m.Hung("SendMessage to a window that never answers");
    }
    return result;
}

BOOL SendNotifyMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    sim::Machine& m = Current();
    sim::Window* w = m.FindWindowModel(hwnd);
    if (!w) return FALSE;
    m.Record("notify " + std::to_string(msg) + " to control " + std::to_string(w->controlId));
    if (IsOwnWindow(w)) {
        m.Dispatch(hwnd, msg, wParam, lParam, [](LRESULT) {});
        return TRUE;
    }
    m.At(m.nowMs, [hwnd, msg, wParam, lParam](sim::Machine& m) { m.Dispatch(hwnd, msg, wParam, lParam, [](LRESULT) {}); });
    return TRUE;
}

BOOL SendMessageCallbackA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, SENDASYNCPROC callback, ULONG_PTR data) {
    sim::Machine& m = Current();
    sim::Window* w = m.FindWindowModel(hwnd);
    if (!w) return FALSE;
    m.Record("send " + std::to_string(msg) + " to control " + std::to_string(w->controlId) + " with stage " +
             std::to_string(data));
    auto dispatch = [hwnd, msg, wParam, lParam, callback, data](sim::Machine& m) {
        m.Dispatch(hwnd, msg, wParam, lParam, [&m, hwnd, msg, callback, data](LRESULT r) {
            m.completions.push_back({callback, hwnd, msg, data, r});
        });
    };
    if (IsOwnWindow(w)) dispatch(m);
    else m.At(m.nowMs, dispatch);
    return TRUE;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width, int height,
                     HWND parent, HMENU, HINSTANCE, LPVOID) {
    sim::Machine& m = Current();
    RECT r = {x == CW_USEDEFAULT ? 0 : x, y == CW_USEDEFAULT ? 0 : y, 0, 0};
    r.right = r.left + (width == CW_USEDEFAULT ? 100 : width);
    r.bottom = r.top + (height == CW_USEDEFAULT ? 100 : height);
    HWND owner = parent == GetDesktopWindow() ? nullptr : parent;
    HWND h = m.CreateTopLevel(0, className ? className : "", r, (LONG)style, owner);
    sim::Window* w = m.FindWindowModel(h);
    w->text = windowName ? windowName : "";
    if (className && strcasecmp(className, "EDIT") == 0) {
        // Enough of an edit control for selecting all and copying it. As a
        // real one, an empty selection copies nothing: the clipboard keeps
        // whatever was copied before.
        w->onMessage = [](sim::Machine& m, sim::Window& w, UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg == WM_COPY && !w.text.empty()) {
                m.clipboard = w.text;
                m.Record("clipboard: " + w.text);
            }
            return 0;
        };
    }
    return h;
}

BOOL DestroyWindow(HWND hwnd) {
    sim::Machine& m = Current();
    if (!m.FindWindowModel(hwnd)) return FALSE;
    m.DestroyWindowModel(hwnd);
    return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd) {
    sim::Machine& m = Current();
    m.Record("foreground: " + std::to_string((uintptr_t)hwnd));
    return m.FindWindowModel(hwnd) != nullptr;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return instance ? nullptr : (HCURSOR)(uintptr_t)name;
}

HCURSOR SetCursor(HCURSOR cursor) {
    sim::Machine& m = Current();
    HCURSOR old = m.cursor;
    m.cursor = cursor;
    return old;
}

int GetSystemMetrics(int index) {
    sim::Machine& m = Current();
    if (index == SM_CXSCREEN) return m.screenWidth;
    if (index == SM_CYSCREEN) return m.screenHeight;
    return 0;
}

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show) {
    sim::Machine& m = Current();
    sim::ShellOpen o;
    o.verb = verb ? verb : "";
    o.file = file ? file : "";
    o.parameters = parameters ? parameters : "";
    o.directory = directory ? directory : "";
    o.show = show;
    m.shellOpens.push_back(o);
    m.Record("shell " + o.verb + ": " + o.file + " in " + o.directory);
    bool found = m.FindFile(o.file) || m.programs.count(o.file);
    return (HINSTANCE)(uintptr_t)(found ? 42 : 2);
}

BOOL ExitWindowsEx(UINT flags, DWORD) {
    sim::Machine& m = Current();
    if (m.platformId == VER_PLATFORM_WIN32_NT && !m.shutdownPrivilegeEnabled) {
        m.lastError = ERROR_PRIVILEGE_NOT_HELD;
        m.Record("exit windows refused: " + std::to_string(flags));
        return FALSE;
    }
    m.exitWindowsRequests.push_back(flags);
    m.Record("exit windows: " + std::to_string(flags));
    return TRUE;
}
