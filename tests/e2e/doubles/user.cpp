// user.exe <answers-file> <log-file> <stop-file> [max-seconds]
//
// Plays the user in front of the screen: finds every message box that appears
// (in any process of the prefix), writes one JSON line describing it to the
// log, and answers it with the next line of the answers file. With no answer
// left it presses the default button, so a program under test never waits
// forever on a box nobody expected. Ends when the stop file exists or the time
// limit passes. Other dialogs get a short line ("dialog":true) and no answer.
//
// Answers, one per line (case-insensitive, blank lines and '#' lines skipped):
//   OK Cancel Abort Retry Ignore Yes No TryAgain Continue Help | Button:<id>
//   Close (the caption's close button) | Esc (the escape key)
//   Default (the default button) | Leave (do not answer)
//   Wait:<ms>[:<answer>]  wait, then answer (the default button if omitted)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// Wine's message box template: the icon static and the text static.
const int kIconId = 0x0440;
const int kTextId = 0xFFFF;

FILE* g_log = nullptr;

std::string json_escape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            // Bytes are ANSI: give every non-ASCII byte as \u00XX so the line
            // stays 7-bit and the reader gets the bytes back through latin-1.
            if (c < 0x20 || c >= 0x7f) {
                char buf[8];
                snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string q(const std::string& s) { return "\"" + json_escape(s) + "\""; }

void log_line(const std::string& line) {
    if (!g_log) return;
    fputs(line.c_str(), g_log);
    fputc('\n', g_log);
    fflush(g_log);
}

std::string window_text(HWND h) {
    char buf[8192];
    buf[0] = 0;
    // WM_GETTEXT with a timeout: a hung owner must not hang the user.
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                             SMTO_ABORTIFHUNG, 1000, &got))
        return std::string();
    buf[sizeof buf - 1] = 0;
    return buf;
}

std::string class_name(HWND h) {
    char buf[64];
    if (!GetClassNameA(h, buf, sizeof buf)) return std::string();
    return buf;
}

struct Button {
    int id;
    int x;
    std::string label;
};

struct BoxInfo {
    bool is_msgbox = false;
    std::vector<Button> buttons;
    HWND text = nullptr;
    HWND icon = nullptr;
};

BOOL CALLBACK collect_child(HWND child, LPARAM lp) {
    BoxInfo* info = reinterpret_cast<BoxInfo*>(lp);
    std::string cls = class_name(child);
    int id = GetDlgCtrlID(child) & 0xFFFF;
    if (!lstrcmpiA(cls.c_str(), "Button")) {
        if (id < 1 || id > 11) info->is_msgbox = false;
        // Wine's template holds every button; the unused ones are hidden.
        if (IsWindowVisible(child)) {
            RECT r;
            GetWindowRect(child, &r);
            info->buttons.push_back({id, r.left, window_text(child)});
        }
    } else if (!lstrcmpiA(cls.c_str(), "Static")) {
        if (id == kTextId) info->text = child;
        if (id == kIconId) info->icon = child;
    } else {
        info->is_msgbox = false;
    }
    return TRUE;
}

BoxInfo examine(HWND box) {
    BoxInfo info;
    info.is_msgbox = true;
    EnumChildWindows(box, collect_child, reinterpret_cast<LPARAM>(&info));
    if (!info.text || !info.icon) info.is_msgbox = false;
    // Left to right, as the user sees them.
    for (size_t i = 1; i < info.buttons.size(); ++i)
        for (size_t j = i; j > 0 && info.buttons[j].x < info.buttons[j - 1].x; --j)
            std::swap(info.buttons[j], info.buttons[j - 1]);
    return info;
}

// Wine's template marks OK as the dialog's default id whatever the box shows,
// so DM_GETDEFID is no guide: the default is the visible button drawn as
// default, else the one with the focus, else the first.
int default_button(HWND box, const BoxInfo& info) {
    for (const Button& b : info.buttons) {
        LONG style = GetWindowLongA(GetDlgItem(box, b.id), GWL_STYLE);
        if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return b.id;
    }
    GUITHREADINFO gti;
    gti.cbSize = sizeof gti;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &gti) && gti.hwndFocus)
        for (const Button& b : info.buttons)
            if (GetDlgItem(box, b.id) == gti.hwndFocus) return b.id;
    return info.buttons.empty() ? 0 : info.buttons[0].id;
}

// The icon handle belongs to the box's process and cannot be examined from
// here, so compare what is on the screen with the system icons drawn here.
struct IconKind {
    const char* name;
    LPCSTR id;
};
const IconKind kIcons[] = {
    {"exclamation", IDI_EXCLAMATION},
    {"question", IDI_QUESTION},
    {"hand", IDI_HAND},
    {"asterisk", IDI_ASTERISK},
};

std::vector<COLORREF> grab(HDC src, int x, int y, int w, int h, HDC mem, HBITMAP bmp) {
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, src, x, y, SRCCOPY);
    std::vector<COLORREF> px(static_cast<size_t>(w) * h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) px[static_cast<size_t>(j) * w + i] = GetPixel(mem, i, j);
    SelectObject(mem, old);
    return px;
}

// Returns "none", a kind from kIcons, or "" when the screen does not (yet)
// show a known icon.
std::string detect_icon(HWND icon) {
    if (!icon || !IsWindowVisible(icon)) return "none";
    DWORD_PTR h = 0;
    if (!SendMessageTimeoutA(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 1000, &h)) return "";
    if (!h) return "none";
    RECT r;
    GetWindowRect(icon, &r);
    int w = r.right - r.left, hgt = r.bottom - r.top;
    if (w <= 0 || hgt <= 0 || w > 256 || hgt > 256) return "";
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, hgt);
    std::vector<COLORREF> shot = grab(screen, r.left, r.top, w, hgt, mem, bmp);
    std::string best;
    size_t best_diff = shot.size();
    for (const IconKind& k : kIcons) {
        HICON ic = LoadIconA(nullptr, k.id);
        if (!ic) continue;
        HGDIOBJ old = SelectObject(mem, bmp);
        HBRUSH bg = CreateSolidBrush(shot[0]);  // a corner shows the background
        RECT all = {0, 0, w, hgt};
        FillRect(mem, &all, bg);
        DeleteObject(bg);
        DrawIconEx(mem, 0, 0, ic, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
        SelectObject(mem, old);
        std::vector<COLORREF> mine = grab(mem, 0, 0, w, hgt, mem, bmp);
        size_t diff = 0;
        for (size_t i = 0; i < shot.size(); ++i) diff += shot[i] != mine[i];
        if (diff < best_diff) {
            best_diff = diff;
            best = k.name;
        }
    }
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    if (best_diff * 20 > shot.size()) return "";  // over 5 % off: not painted yet
    return best;
}

struct Answer {
    std::string raw;
    DWORD wait_ms = 0;
    std::string action;  // "button", "close", "esc", "default", "leave"
    int button = 0;
    bool ok = true;
};

int button_by_name(const std::string& n) {
    static const struct { const char* name; int id; } names[] = {
        {"ok", IDOK},       {"cancel", IDCANCEL}, {"abort", IDABORT},
        {"retry", IDRETRY}, {"ignore", IDIGNORE}, {"yes", IDYES},
        {"no", IDNO},       {"close", -1},        {"help", 9},
        {"tryagain", 10},   {"continue", 11},
    };
    for (auto& e : names)
        if (!lstrcmpiA(n.c_str(), e.name)) return e.id;
    return 0;
}

Answer parse_answer(const std::string& raw) {
    Answer a;
    a.raw = raw;
    std::string s = raw;
    if (s.size() > 5 && !_strnicmp(s.c_str(), "wait:", 5)) {
        char* end = nullptr;
        a.wait_ms = strtoul(s.c_str() + 5, &end, 10);
        if (end == s.c_str() + 5) a.ok = false;
        s = (*end == ':') ? std::string(end + 1) : std::string(*end ? "?" : "default");
    }
    if (!lstrcmpiA(s.c_str(), "close")) a.action = "close";
    else if (!lstrcmpiA(s.c_str(), "esc") || !lstrcmpiA(s.c_str(), "escape")) a.action = "esc";
    else if (!lstrcmpiA(s.c_str(), "default")) a.action = "default";
    else if (!lstrcmpiA(s.c_str(), "leave")) a.action = "leave";
    else if (s.size() > 7 && !_strnicmp(s.c_str(), "button:", 7)) {
        a.action = "button";
        a.button = atoi(s.c_str() + 7);
        if (a.button <= 0) a.ok = false;
    } else if (int id = button_by_name(s); id > 0) {
        a.action = "button";
        a.button = id;
    } else {
        a.ok = false;
    }
    return a;
}

std::vector<Answer> read_answers(const char* path) {
    std::vector<Answer> out;
    FILE* f = fopen(path, "rb");
    if (!f) return out;  // no file: every box gets its default button
    char line[512];
    while (fgets(line, sizeof line, f)) {
        std::string s = line;
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
            s.pop_back();
        size_t b = s.find_first_not_of(" \t");
        if (b == std::string::npos || s[b] == '#') continue;
        out.push_back(parse_answer(s.substr(b)));
    }
    fclose(f);
    return out;
}

std::vector<HWND> g_found;

BOOL CALLBACK collect_top(HWND h, LPARAM) {
    if (IsWindowVisible(h) && class_name(h) == "#32770") g_found.push_back(h);
    return TRUE;
}

void press(HWND box, int id) {
    HWND btn = GetDlgItem(box, id);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(btn));
}

void act(HWND box, const Answer& a, int def_id) {
    if (a.action == "button") {
        press(box, a.button);
    } else if (a.action == "default") {
        press(box, def_id);
    } else if (a.action == "close") {
        PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (a.action == "esc") {
        // The dialog's own loop turns Escape into IDCANCEL when it reaches
        // the control that has the focus.
        GUITHREADINFO gti;
        gti.cbSize = sizeof gti;
        HWND target = box;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &gti) && gti.hwndFocus &&
            (gti.hwndFocus == box || IsChild(box, gti.hwndFocus)))
            target = gti.hwndFocus;
        PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: user.exe <answers-file> <log-file> <stop-file> [max-seconds]\n");
        return 2;
    }
    const char* stop = argv[3];
    DWORD limit_ms = (argc > 4 ? strtoul(argv[4], nullptr, 10) : 60) * 1000;
    g_log = fopen(argv[2], "ab");
    if (!g_log) return 3;
    std::vector<Answer> answers = read_answers(argv[1]);
    size_t next = 0;
    for (const Answer& a : answers)
        if (!a.ok) log_line("{\"error\":\"bad answer\",\"answer\":" + q(a.raw) + "}");

    std::set<HWND> handled;
    DWORD start = GetTickCount();
    int seq = 0;
    for (;;) {
        if (GetFileAttributesA(stop) != INVALID_FILE_ATTRIBUTES) break;
        if (GetTickCount() - start > limit_ms) {
            log_line("{\"error\":\"time limit\"}");
            break;
        }
        g_found.clear();
        EnumWindows(collect_top, 0);
        for (auto it = handled.begin(); it != handled.end();)
            it = IsWindow(*it) ? std::next(it) : handled.erase(it);
        for (HWND box : g_found) {
            if (handled.count(box)) continue;
            DWORD seen = GetTickCount();
            BoxInfo info = examine(box);
            if (!info.is_msgbox) {
                // Some other dialog (an applet's, say): noted, never answered.
                handled.insert(box);
                DWORD pid = 0;
                GetWindowThreadProcessId(box, &pid);
                log_line("{\"dialog\":true,\"caption\":" + q(window_text(box)) +
                         ",\"pid\":" + std::to_string(pid) + ",\"tick\":" +
                         std::to_string(GetTickCount()) + "}");
                continue;
            }
            // A box is shown before its first paint; give it a moment.
            std::string icon;
            for (int tries = 0; tries < 25 && (icon = detect_icon(info.icon)).empty(); ++tries)
                Sleep(20);
            if (icon.empty()) icon = "unknown";
            handled.insert(box);

            int def_id = default_button(box, info);
            Answer a;
            bool from_file = next < answers.size();
            if (from_file) a = answers[next++];
            else a.action = "default", a.raw = "(default)";

            DWORD pid = 0;
            DWORD tid = GetWindowThreadProcessId(box, &pid);
            std::string ids, labels;
            for (const Button& b : info.buttons) {
                if (!ids.empty()) ids += ",", labels += ",";
                ids += std::to_string(b.id);
                labels += q(b.label);
            }
            bool present = a.action != "button";
            for (const Button& b : info.buttons) present |= b.id == a.button;
            LONG ex = GetWindowLongA(box, GWL_EXSTYLE);
            RECT wr = {};
            GetWindowRect(box, &wr);  // on the screen, frame included: where a screenshot finds it
            const std::string rect = std::to_string(wr.left) + "," + std::to_string(wr.top) + "," +
                                     std::to_string(wr.right) + "," + std::to_string(wr.bottom);
            char owner[24];
            snprintf(owner, sizeof owner, "%lu",
                     static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetWindow(box, GW_OWNER))));
            std::string line = "{\"seq\":" + std::to_string(seq++) +
                               ",\"caption\":" + q(window_text(box)) +
                               ",\"text\":" + q(window_text(info.text)) +
                               ",\"buttons\":[" + ids + "],\"labels\":[" + labels + "]" +
                               ",\"icon\":" + q(icon) +
                               ",\"default\":" + std::to_string(def_id) + ",\"rect\":[" + rect + "]" +
                               ",\"pid\":" + std::to_string(pid) +
                               ",\"tid\":" + std::to_string(tid) +
                               ",\"owner\":" + owner +
                               ",\"topmost\":" + ((ex & WS_EX_TOPMOST) ? "true" : "false") +
                               ",\"seen\":" + std::to_string(seen) +
                               ",\"tick\":" + std::to_string(GetTickCount()) +
                               ",\"answer\":" + q(a.raw) +
                               ",\"answer_ok\":" + ((a.ok && present) ? "true" : "false") + "}";
            log_line(line);
            if (!a.ok) continue;  // a bad answer leaves the box for the time-out to catch
            if (a.wait_ms) Sleep(a.wait_ms);
            act(box, a, def_id);
        }
        Sleep(20);
    }
    fclose(g_log);
    return 0;
}
