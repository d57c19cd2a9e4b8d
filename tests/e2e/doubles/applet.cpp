// applet.exe, placed next to setup.exe as rundll32.exe: the Display applet of
// Windows NT 4.0 as the launcher's click chain relies on it, with real modal
// dialogs (class "#32770") owned as the chain expects.
//
//   hidden "RunDLL" window
//     applet window (OK = 1), owned by it; its page, a child of the same class (265)
//       first dialog (519, Cancel = 2), owned by the applet window
//         second dialog (1567), owned by the first
//           path dialog (edit 107, OK = 1), owned by the second
//           then a follow-up window (OK = 1), owned by the second
//         question (Yes = 6, No = 7), owned by the first; then the second ends
//         closing window (10, Cancel = 2), owned by the first
//
// A click that opens a modal dialog returns only when that dialog has closed,
// so the launcher's asynchronous click completes then. Every click, the paste
// and every WM_CLOSE is appended as one JSON line (with the process id) to the
// file named by APPLET_LOG, which the launcher passes on in its environment.
//
// applet.exe leftover <n> [owner-class]: an applet left open by an earlier
// run, with <n> dialogs opened on it one above the other; the owner window's
// class is owner-class (default "RunDLL").
#include <windows.h>

#include "doublelog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Log(const std::string& event, const std::string& text = "") {
    const char* log = getenv("APPLET_LOG");
    if (!log || !*log) return;
    std::string line = "{\"pid\":" + std::to_string(GetCurrentProcessId()) + ",\"event\":\"" + JsonEscape(event) +
                       "\",\"text\":\"" + JsonEscape(text) + "\",\"tick\":" + std::to_string(GetTickCount()) + "}\n";
    AppendLogLine(log, line);
}

// In-memory dialog templates, so that the double needs no resource script.
struct Item {
    WORD id;
    WORD cls; // 0x0080 button, 0x0081 edit, 0x0082 static
    const char* text;
    short x, y, cx, cy;
    DWORD style;
};

class Template {
public:
    Template(const char* title, DWORD style, short cx, short cy, const std::vector<Item>& items) {
        Align();
        DLGTEMPLATE t = {};
        t.style = style | DS_SETFONT;
        t.cdit = static_cast<WORD>(items.size());
        t.x = 20;
        t.y = 20;
        t.cx = cx;
        t.cy = cy;
        Put(&t, sizeof t);
        Word(0); // no menu
        Word(0); // the dialog class
        Text(title);
        Word(8);
        Text("MS Sans Serif");
        for (const Item& i : items) {
            Align();
            DLGITEMTEMPLATE it = {};
            it.style = WS_CHILD | WS_VISIBLE | i.style;
            it.x = i.x;
            it.y = i.y;
            it.cx = i.cx;
            it.cy = i.cy;
            it.id = i.id;
            Put(&it, sizeof it);
            Word(0xFFFF);
            Word(i.cls);
            Text(i.text);
            Word(0);
        }
    }
    LPCDLGTEMPLATEA get() const { return reinterpret_cast<LPCDLGTEMPLATEA>(buffer_.data()); }

private:
    void Put(const void* p, size_t n) {
        const char* c = static_cast<const char*>(p);
        buffer_.insert(buffer_.end(), c, c + n);
        while (buffer_.size() % 2) buffer_.push_back(0);
    }
    void Word(WORD w) { Put(&w, 2); }
    void Text(const char* s) {
        for (; *s; ++s) Word(static_cast<unsigned char>(*s));
        Word(0);
    }
    void Align() {
        while (buffer_.size() % 4) buffer_.push_back(0);
    }
    std::vector<char> buffer_;
};

const DWORD kPopup = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

Item Button(WORD id, const char* text, short x, short y) {
    return Item{id, 0x0080, text, x, y, 60, 14, BS_PUSHBUTTON | WS_TABSTOP};
}

INT_PTR Modal(const Template& t, HWND owner, DLGPROC proc, LPARAM param = 0) {
    return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.get(), owner, proc, param);
}

// Dialog procedures. WM_CLOSE is logged and ends the dialog as Cancel.
BOOL Closing(HWND dlg, UINT msg, const char* name) {
    if (msg != WM_CLOSE) return FALSE;
    Log(std::string("closed ") + name);
    EndDialog(dlg, IDCANCEL);
    return TRUE;
}

INT_PTR CALLBACK ClosingWindowProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
        Log("closing window closed");
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    }
    return Closing(dlg, msg, "closing window");
}

INT_PTR CALLBACK QuestionProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_COMMAND && (LOWORD(wp) == IDYES || LOWORD(wp) == IDNO)) {
        Log(LOWORD(wp) == IDYES ? "question Yes" : "question No");
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return Closing(dlg, msg, "question");
}

INT_PTR CALLBACK FollowUpProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
        Log("follow-up OK");
        EndDialog(dlg, IDOK);
        return TRUE;
    }
    return Closing(dlg, msg, "follow-up");
}

WNDPROC g_editProc;

LRESULT CALLBACK PathBoxProc(HWND box, UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT r = CallWindowProcA(g_editProc, box, msg, wp, lp);
    if (msg == WM_PASTE) {
        char text[512] = "";
        GetWindowTextA(box, text, sizeof text);
        Log("pasted", text);
    }
    return r;
}

INT_PTR CALLBACK PathProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) {
        g_editProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(GetDlgItem(dlg, 107), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PathBoxProc)));
        return TRUE;
    }
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        char text[512] = "";
        GetDlgItemTextA(dlg, 107, text, sizeof text);
        Log(LOWORD(wp) == IDOK ? "path OK" : "path Cancel", text);
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return Closing(dlg, msg, "path dialog");
}

HWND g_first;

INT_PTR CALLBACK SecondProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_COMMAND && LOWORD(wp) == 1567) {
        Log("click 1567");
        Template path("Install From Disk", kPopup, 220, 80,
                      {Item{107, 0x0081, "", 10, 10, 200, 14, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
                       Button(IDOK, "OK", 80, 40), Button(IDCANCEL, "Cancel", 150, 40)});
        if (Modal(path, dlg, PathProc) == IDOK) {
            Template followUp("Installing", kPopup, 160, 60, {Button(IDOK, "OK", 50, 30)});
            Modal(followUp, dlg, FollowUpProc);
            Template question("Change Display", kPopup, 160, 60, {Button(IDYES, "Yes", 10, 30), Button(IDNO, "No", 80, 30)});
            Modal(question, g_first, QuestionProc);
            EndDialog(dlg, IDOK);
        }
        return TRUE;
    }
    return Closing(dlg, msg, "second dialog");
}

INT_PTR CALLBACK FirstProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) {
        g_first = dlg;
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == 519) {
        Log("click 519");
        Template second("Change Display", kPopup, 200, 60, {Button(1567, "Have Disk...", 10, 30)});
        if (Modal(second, dlg, SecondProc) == IDOK) {
            Template closing("Display Type", kPopup, 200, 60,
                             {Item{10, 0x0082, "Restart to use the new driver.", 10, 10, 180, 12, 0},
                              Button(IDCANCEL, "Close", 70, 30)});
            Modal(closing, dlg, ClosingWindowProc);
        }
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
        // APPLET_HOLD_MS: the last click that setup waits for waits this
        // long, so that setup's box stays on the screen to be photographed.
        if (const char* hold = getenv("APPLET_HOLD_MS"); hold && atoi(hold) > 0) {
            Log("holding", hold);
            Sleep(static_cast<DWORD>(atoi(hold)));
        }
        Log("first dialog closed");
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    }
    return Closing(dlg, msg, "first dialog");
}

HWND g_applet;

INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_COMMAND && LOWORD(wp) == 265) {
        Log("click 265");
        Template first("Display Type", kPopup, 200, 60,
                       {Button(519, "Change...", 10, 30), Button(IDCANCEL, "Cancel", 100, 30)});
        Modal(first, g_applet, FirstProc);
        return TRUE;
    }
    return FALSE;
}

// A left-over applet opens this many dialogs, one above the other, by itself.
int g_leftoverDialogs;

INT_PTR CALLBACK LeftoverDialogProc(HWND dlg, UINT msg, WPARAM, LPARAM param) {
    if (msg == WM_INITDIALOG) {
        int depth = static_cast<int>(param);
        SetWindowLongPtrA(dlg, DWLP_USER, depth);
        Log("opened dialog " + std::to_string(depth));
        if (depth < g_leftoverDialogs) PostMessageA(dlg, WM_APP, 0, 0);
        return TRUE;
    }
    if (msg == WM_APP) {
        int depth = static_cast<int>(GetWindowLongPtrA(dlg, DWLP_USER));
        Template t("Left over", kPopup, 160, 60, {Button(IDOK, "OK", 50, 30)});
        Modal(t, dlg, LeftoverDialogProc, depth + 1);
        return TRUE;
    }
    if (msg == WM_CLOSE) {
        Log("closed dialog " + std::to_string(GetWindowLongPtrA(dlg, DWLP_USER)));
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK AppletProc(HWND dlg, UINT msg, WPARAM wp, LPARAM param) {
    if (msg == WM_INITDIALOG) {
        g_applet = dlg;
        if (param) {
            if (g_leftoverDialogs > 0) PostMessageA(dlg, WM_APP, 0, 0);
            return TRUE;
        }
        // The page: a child dialog of the applet window's own class.
        static Template page("", WS_CHILD | WS_VISIBLE | DS_CONTROL, 200, 100, {Button(265, "Advanced...", 10, 10)});
        CreateDialogIndirectParamA(GetModuleHandleA(nullptr), page.get(), dlg, PageProc, 0);
        return TRUE;
    }
    if (msg == WM_APP) {
        Template t("Left over", kPopup, 160, 60, {Button(IDOK, "OK", 50, 30)});
        Modal(t, dlg, LeftoverDialogProc, 1);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
        Log("applet OK");
        EndDialog(dlg, IDOK);
        return TRUE;
    }
    if (msg == WM_CLOSE) {
        Log("closed applet");
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Log("start", GetCommandLineA());
    bool leftover = __argc > 2 && !strcmp(__argv[1], "leftover");
    const char* ownerClass = leftover && __argc > 3 ? __argv[3] : "RunDLL";
    if (leftover) g_leftoverDialogs = atoi(__argv[2]);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = ownerClass;
    RegisterClassA(&wc);
    HWND owner = CreateWindowExA(0, ownerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    Template applet("Display Properties", kPopup, 240, 160, {Button(IDOK, "OK", 170, 140)});
    Modal(applet, owner, AppletProc, leftover ? 1 : 0);
    DestroyWindow(owner);
    Log("end");
    return 0;
}
