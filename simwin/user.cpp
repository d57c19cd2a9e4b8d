// user32 of the simulated PC: string resources, message boxes answered by
// the scripted user, the thread's message queue, formatting.
#include "simwin/machine.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

using sim::Current;

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size) {
    auto& strings = Current().stringResources;
    auto it = strings.find(id);
    if (it == strings.end() || size <= 0) {
        if (size > 0) buffer[0] = '\0';
        return 0;
    }
    int n = (int)it->second.size() < size ? (int)it->second.size() : size - 1;
    std::memcpy(buffer, it->second.data(), n);
    buffer[n] = '\0';
    return n;
}

static int DefaultButton(UINT style) {
    switch (style & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
    }
}

namespace sim {

void Machine::DeliverCompletions() {
    while (!completions.empty()) {
        Completion c = completions.front();
        completions.pop_front();
        ++completionsDelivered;
        Record("completion of stage " + std::to_string(c.data));
        c.callback(c.hwnd, c.message, c.data, c.result);
    }
}

} // namespace sim

// While the box is open its modal loop retrieves the thread's messages:
// completions run, and a quit message ends the box at once (the quit stays
// posted) with the result 0. Otherwise the user answers after reading it.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    sim::Machine& m = Current();
    sim::MessageBoxRecord box;
    box.text = text ? text : "";
    box.caption = caption ? caption : "Error";
    box.style = style;
    box.owned = owner != NULL;
    box.atMs = m.nowMs;
    uint64_t answerAt = m.nowMs + m.userAnswerMs;
    // Recorded as it opens: what happens while it is open comes after it.
    m.Record("message box: " + box.caption + ": " + box.text);
    for (;;) {
        m.DeliverCompletions();
        if (m.quitPosted || m.timeline.empty() || m.timeline.begin()->first > answerAt) break;
        m.RunNextEvent();
    }
    if (!m.quitPosted && m.nowMs < answerAt) m.nowMs = answerAt;
    if (m.quitPosted) {
        box.answer = 0;
    } else {
        int answer = 0;
        if (!m.answers.empty()) {
            answer = m.answers.front();
            m.answers.pop_front();
        }
        box.answer = answer ? answer : DefaultButton(style);
    }
    m.messageBoxes.push_back(box);
    return box.answer;
}

void PostQuitMessage(int code) {
    sim::Machine& m = Current();
    m.quitPosted = true;
    m.quitCode = code;
    ++m.quitRequests;
}

BOOL PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT remove) {
    sim::Machine& m = Current();
    m.DeliverCompletions();
    if (!m.posted.empty()) {
        *msg = m.posted.front();
        if (remove & PM_REMOVE) m.posted.pop_front();
        return TRUE;
    }
    if (m.quitPosted) {
        std::memset(msg, 0, sizeof *msg);
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM)m.quitCode;
        if (remove & PM_REMOVE) m.quitPosted = false;
        return TRUE;
    }
    return FALSE;
}

// Returns 0 on the quit message. With nothing queued the real call blocks
// until something arrives: the model runs the clock to its next event, and
// with none left that is a hang.
BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last) {
    sim::Machine& m = Current();
    while (!PeekMessageA(msg, hwnd, first, last, PM_REMOVE))
        if (!m.RunNextEvent()) m.Hung("GetMessage with an empty queue and nothing to come");
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG*) { return 0; }

// wsprintfA writes at most 1024 bytes.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, 1024, format, args);
    va_end(args);
    return n < 0 ? 0 : (n > 1023 ? 1023 : n);
}
