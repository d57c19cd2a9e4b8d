#include "tools/pkgtool/report/html.h"
#include "tools/pkgtool/formats/codepage.h"
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <strings.h>

namespace fs = std::filesystem;

namespace {

std::string Esc(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Bytes of the package as its Windows shows them, for the page.
std::string Shown(const std::string& bytes, int codePage) { return Esc(pkgcheck::RenderInCodePage(bytes, codePage)); }

// The message box icons of Windows 95 and NT 4.0, drawn after their shapes
// (the real ones are 32x32 bitmaps).
std::string IconSvg(const std::string& icon) {
    const char* open = "<svg class=\"icon\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\" role=\"img\" aria-label=\"";
    if (icon == "exclamation")
        return std::string(open) + "exclamation\"><path d=\"M16 2 L31 29 L1 29 Z\" fill=\"#ff0\" stroke=\"#000\" "
               "stroke-width=\"1.5\"/><rect x=\"14\" y=\"10\" width=\"4\" height=\"11\" fill=\"#000\"/><rect x=\"14\" "
               "y=\"23\" width=\"4\" height=\"3.5\" fill=\"#000\"/></svg>";
    if (icon == "stop")
        return std::string(open) + "stop\"><circle cx=\"16\" cy=\"16\" r=\"14\" fill=\"#f00\" stroke=\"#800\"/>"
               "<path d=\"M10 10 L22 22 M22 10 L10 22\" stroke=\"#fff\" stroke-width=\"4\"/></svg>";
    if (icon == "question" || icon == "information")
        return std::string(open) + icon + "\"><path d=\"M16 2 C25 2 30 7 30 13 C30 19 25 24 17 24 L9 30 L11 23 C5 21 2 "
               "17 2 13 C2 7 7 2 16 2 Z\" fill=\"#fff\" stroke=\"#000\"/><text x=\"16\" y=\"19\" text-anchor=\"middle\" "
               "font-family=\"serif\" font-weight=\"bold\" font-size=\"16\" fill=\"#00f\">" +
               (icon == "question" ? "?" : "i") + "</text></svg>";
    return "";
}

std::vector<std::string> SplitSlash(const std::string& s) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t n; (n = s.find('/', at)) != std::string::npos; at = n + 1) out.push_back(s.substr(at, n - at));
    out.push_back(s.substr(at));
    return out;
}

// A window of those Windows: title bar, body, buttons; pressed is the one
// the user or the launcher clicks ("" for none).
std::string Window(const std::string& cls, const std::string& caption, const std::string& body,
                   const std::vector<std::string>& buttons, const std::string& pressed, const std::string& note,
                   const std::string& id = "") {
    std::string s = "<div" + (id.empty() ? "" : " id=\"" + id + "\"") + " class=\"win " + cls +
                    "\"><div class=\"title\"><span>" + caption +
                    "</span><span class=\"x\">&#215;</span></div><div class=\"body\">" + body + "</div>";
    if (!buttons.empty()) {
        s += "<div class=\"buttons\">";
        for (const std::string& b : buttons)
            s += "<span class=\"btn" + std::string(b == pressed ? " pressed" : "") + "\">" + b + "</span>";
        s += "</div>";
    }
    s += "</div>";
    if (!note.empty()) s += "<div class=\"said\">" + note + "</div>";
    return s;
}

// id: "p<path>-b<box>", so that a picture of one box can be cut out of the page.
std::string BoxHtml(const TranscriptEvent& e, int codePage, const std::string& id) {
    const std::string answer = e.Field("answer");
    const bool closed = answer.compare(0, 4, "none") == 0;
    const std::string body = "<div class=\"msg\">" + IconSvg(e.Field("icon")) + "<div class=\"text\" data-box-text>" +
                             Shown(e.Field("text"), codePage) + "</div></div>";
    return "<div class=\"step box\"><div class=\"who\">setup's own message box</div>" +
           Window("mb", Shown(e.Field("caption"), codePage), body, SplitSlash(e.Field("buttons")), closed ? "" : answer,
                  closed ? "No button is pressed: setup's quit message closes the box."
                         : "The user presses " + Esc(answer) + ".",
                  id) +
           "</div>";
}

// The Display applet of Windows NT 4.0, one picture per step of the chain.
// Dialog, page and button names follow the applet as its users describe
// it: Control Panel's "Display" option (Windows NT 4.0 Resource Kit,
// "Recovering from an Unsuitable Video Display Choice"; a vendor bulletin
// of the time on changing the NT 4.0 display driver takes the same road
// through Control Panel). No document found here names each dialog and
// button of the chain; the page says so under the pictures. The control
// ids are the ones setup clicks.
struct AppletStep {
    const char* what;   // the transcript's applet line, or its start
    const char* dialog; // caption
    const char* body;
    std::vector<std::string> buttons;
    const char* pressed;
    const char* control;
};
const AppletStep kApplet[] = {
    {"click 265", "Display Properties", "<div class=\"tabs\"><span>Background</span><span>Screen Saver</span>"
     "<span>Appearance</span><span>Plus!</span><span class=\"on\">Settings</span></div>", {"Display Type..."},
     "Display Type...", "control 265 of the Settings page"},
    {"click 519", "Display Type", "Adapter Type: the driver now in use", {"Change...", "Close"}, "Change...",
     "control 519"},
    {"click 1567", "Change Display", "the displays Windows NT knows", {"Have Disk...", "OK", "Cancel"},
     "Have Disk...", "control 1567"},
    {"pasted ", "Install From Disk", nullptr, {"OK", "Cancel"}, "", "the path box, control 107: setup pastes the path"},
    {"path OK with ", "Install From Disk", nullptr, {"OK", "Cancel"}, "OK", "control 1 (OK)"},
    {"follow-up OK", "Change Display", "the displays of the package's INF", {"OK", "Cancel"}, "OK",
     "control 1 (OK) of the next window the Change Display dialog owns"},
    {"question answered Yes", "Third-party Drivers", "the applet asks whether to install a driver that is not "
     "Microsoft's", {"Yes", "No"}, "Yes", "control 6 (Yes)"},
    {"closing window closed", "Display Type", "the window with controls 10 and 2 that the Display Type dialog "
     "owns", {"Close"}, "Close", "control 2"},
    {"first dialog closed", "Display Type", "Adapter Type: the new driver", {"Change...", "Close"}, "Close",
     "control 2 (Close)"},
    {"OK", "Display Properties", "<div class=\"tabs\"><span class=\"on\">Settings</span></div>", {"OK", "Cancel"},
     "OK", "control 1 (OK)"},
};

std::string AppletHtml(const TranscriptEvent& e, int codePage) {
    const std::string what = e.Field("what");
    for (const AppletStep& a : kApplet) {
        const std::string w = a.what;
        const bool prefix = w.back() == ' ';
        if (prefix ? what.compare(0, w.size(), w) != 0 : what != w) continue;
        std::string body = a.body ? a.body : "";
        if (!a.body)
            body = "<div>Copy manufacturer's files from:</div><div class=\"edit\" data-typed-path>" +
                   Shown(what.substr(w.size()), codePage) + "</div>";
        return "<div class=\"step applet\"><div class=\"who\">the Display applet; setup clicks " + Esc(a.control) +
               "</div>" + Window("dlg", a.dialog, body, a.buttons, a.pressed, "") + "</div>";
    }
    return "<div class=\"step line\">the Display applet: " + Shown(what, codePage) + "</div>";
}

std::string StepHtml(const TranscriptEvent& e, int codePage, const std::string& boxId) {
    if (e.kind == "box") return BoxHtml(e, codePage, boxId);
    if (e.kind == "applet") return AppletHtml(e, codePage);
    if (e.kind == "helper") {
        const std::string what = e.Field("what");
        if (what == "window shown" || what == "start clicked")
            return "<div class=\"step helper\"><div class=\"who\">the install helper's window (its own caption and "
                   "text are the helper's; setup knows only its control 1)</div>" +
                   Window("dlg", "fitter16.exe", "the install helper", {"control 1"},
                          what == "start clicked" ? "control 1" : "",
                          what == "start clicked" ? "setup clicks control 1: the helper installs the driver." : "") +
                   "</div>";
    }
    std::string fields;
    for (const auto& f : e.fields)
        if (!f.second.empty()) fields += (fields.empty() ? "" : "; ") + Esc(f.first) + " " + Shown(f.second, codePage);
    return "<div class=\"step line\"><b>" + Esc(e.kind) + "</b> " + fields + "</div>";
}

std::string ReadFile(const fs::path& p) {
    std::string s;
    FILE* f = fopen(p.string().c_str(), "rb");
    if (!f) return s;
    char b[65536];
    size_t n;
    while ((n = fread(b, 1, sizeof b, f)) > 0 && s.size() < (4u << 20)) s.append(b, n);
    fclose(f);
    return s;
}

const char kStyle[] =
    "body{font-family:sans-serif;font-size:14px;margin:16px;color:#000;background:#fff}"
    "h1{font-size:20px}h2{font-size:17px;border-bottom:1px solid #888}h3{font-size:15px}"
    "table.matrix{border-collapse:collapse}table.matrix td,table.matrix th{border:1px solid #888;padding:4px;"
    "vertical-align:top;text-align:left}"
    "a.cell{display:block;padding:4px;margin:2px 0;color:#000;text-decoration:none;border:1px solid #666}"
    ".k-installed{background:#b6e3b6}.k-failed{background:#f3a0a0}.k-stopped{background:#f5dd90}"
    ".k-nothing{background:#ddd}"
    ".step{margin:8px 0 8px 16px}.line{color:#444;font-size:12px}.who{font-size:12px;color:#555}"
    ".said{font-size:12px;color:#333;margin-top:2px}"
    ".win{display:inline-block;background:#c0c0c0;border:2px solid;border-color:#dfdfdf #000 #000 #dfdfdf;"
    "box-shadow:inset -1px -1px #808080,inset 1px 1px #fff;padding:2px;min-width:260px;"
    "font-family:'MS Sans Serif',Tahoma,sans-serif;font-size:12px}"
    ".title{background:#000080;color:#fff;font-weight:bold;padding:2px 4px;display:flex;justify-content:space-between}"
    ".x{background:#c0c0c0;color:#000;border:1px solid;border-color:#fff #000 #000 #fff;padding:0 4px;font-size:10px}"
    ".body{padding:12px}.msg{display:flex;gap:14px;align-items:flex-start}"
    ".text{white-space:pre-wrap;tab-size:8;max-width:600px}"
    ".buttons{display:flex;justify-content:center;gap:8px;padding:0 8px 10px}"
    ".btn{min-width:70px;text-align:center;padding:3px 6px;border:2px solid;border-color:#fff #000 #000 #fff;"
    "box-shadow:inset -1px -1px #808080}"
    ".btn.pressed{border-color:#000 #fff #fff #000;box-shadow:inset 1px 1px #808080;outline:2px dashed #c00;"
    "outline-offset:2px}"
    ".tabs span{display:inline-block;border:1px solid #888;border-bottom:none;padding:2px 6px;margin-right:2px}"
    ".tabs span.on{background:#d8d8d8;font-weight:bold}"
    ".edit{background:#fff;border:2px inset #808080;padding:2px 4px;font-family:monospace;min-width:220px}"
    "pre.src{font-size:12px;background:#f6f6f6;padding:4px}pre.src span{display:block}"
    "pre.src span:target{background:#ff8}pre.src i{color:#888;font-style:normal;display:inline-block;width:4em}"
    ".error{color:#a00}.warning{color:#850}.note{color:#048}";

} // namespace

std::string ReportHtml(const std::string& dir, const std::vector<MatrixPath>& paths, const CheckResult& check,
                       int codePage, const std::string& toolVersion) {
    std::string h = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Package report: " +
                    Esc(fs::path(dir).filename().string()) + "</title><style>" + kStyle + "</style></head><body>\n";
    h += "<h1>Package report: " + Esc(fs::path(dir).filename().string()) + "</h1><p>pkgtool " + Esc(toolVersion) +
         "; texts in code page " + std::to_string(codePage) + ". Every picture below is drawn from the dry run's "
         "transcript of that path (pkgtool run --all): the same steps as its text, in the style of Windows 95 and "
         "NT 4.0; the real fonts and sizes of each Windows differ.</p>\n";
    // The matrix: a row per Windows, a cell per path.
    h += "<h2 id=\"matrix\">Every path</h2><table class=\"matrix\"><tr><th>Windows</th><th>Paths</th></tr>\n";
    for (size_t i = 0; i < paths.size();) {
        size_t j = i;
        h += "<tr><th>" + Esc(paths[i].windows) + "<br>" + Esc(paths[i].osKey.empty() ? "no OS key" : paths[i].osKey) +
             "</th><td>";
        for (; j < paths.size() && paths[j].windows == paths[i].windows; ++j) {
            const MatrixPath& p = paths[j];
            std::string what = p.card.empty() ? "" : "card " + p.card;
            if (!p.usb.empty()) what += (what.empty() ? "" : "; ") + std::string("USB supplement ") + p.usb;
            h += "<a class=\"cell k-" + p.Kind() + "\" href=\"#p" + std::to_string(j + 1) + "\">" +
                 std::to_string(j + 1) + ". " + Esc(what) + (what.empty() ? "" : ": ") +
                 Esc(pkgcheck::ShownText(p.Outcome(), codePage)) + "</a>";
        }
        h += "</td></tr>\n";
        i = j;
    }
    h += "</table><p><span class=\"k-installed\">installed</span> <span class=\"k-failed\">the script means to install "
         "here, and the driver is not installed</span> <span class=\"k-stopped\">a box stops setup</span> <span "
         "class=\"k-nothing\">nothing at all</span></p>\n";

    // The package's files, the scripts and INF files with line numbers.
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    std::map<std::string, size_t> shown; // canonical path to its number
    auto key = [](const fs::path& p) {
        std::error_code e;
        fs::path c = fs::weakly_canonical(p, e);
        return (e ? p : c).string();
    };
    for (size_t k = 0; k < files.size(); ++k) {
        const std::string ext = files[k].extension().string();
        if (!strcasecmp(ext.c_str(), ".ini") || !strcasecmp(ext.c_str(), ".inf")) shown[key(files[k])] = k;
    }
    // Findings, each linked to its line.
    h += "<h2 id=\"findings\">The check's findings</h2>\n";
    if (check.findings.empty()) h += "<p>None.</p>\n";
    h += "<ul>";
    for (const Finding& f : check.findings) {
        auto at = shown.find(key(f.file));
        std::string where = Esc(fs::relative(f.file, dir, ec).string());
        if (f.line > 0) where += ":" + std::to_string(f.line);
        if (at != shown.end())
            where = "<a href=\"#f" + std::to_string(at->second) + (f.line > 0 ? "-L" + std::to_string(f.line) : "") +
                    "\">" + where + "</a>";
        h += "<li class=\"" + Esc(f.severity) + "\">" + where + ": " + Esc(f.severity) + ": " +
             Esc(pkgcheck::ShownText(f.message, codePage)) + " [" + Esc(f.code) + "]</li>";
    }
    h += "</ul>\n";

    // Each path as the user lives it.
    h += "<h2 id=\"paths\">Each path as the user lives it</h2>\n";
    bool applet = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        const MatrixPath& p = paths[i];
        h += "<section id=\"p" + std::to_string(i + 1) + "\" class=\"path\"><h3 class=\"k-" + p.Kind() + "\">" +
             std::to_string(i + 1) + ". " + Esc(p.windows) + " (" + Esc(p.osKey.empty() ? "no OS key" : p.osKey) + ")" +
             (p.card.empty() ? "" : "; card " + Esc(p.card)) +
             (p.usb.empty() ? "" : "; USB supplement " + Esc(p.usb)) + "</h3><p>" +
             Esc(pkgcheck::ShownText(p.t.outcome, codePage)) + "</p>\n";
        int boxes = 0;
        for (const TranscriptEvent& e : p.t.events) {
            applet = applet || e.kind == "applet";
            const std::string boxId =
                e.kind == "box" ? "p" + std::to_string(i + 1) + "-b" + std::to_string(++boxes) : "";
            h += StepHtml(e, p.t.codePage, boxId) + "\n";
        }
        h += "<p><a href=\"#matrix\">back to the table</a></p></section>\n";
    }
    if (applet)
        h += "<p class=\"note\">The Display applet's dialogs: setup knows them only by their owners and control ids. "
             "The captions, pages and button names drawn here (Display Properties, Settings, Display Type..., "
             "Change..., Have Disk..., Install From Disk, \"Copy manufacturer's files from:\", Third-party Drivers) "
             "are the applet's as its users describe it; no document of the time found by this tool's authors names "
             "each of them, nor the window with controls 10 and 2.</p>\n";

    h += "<h2 id=\"files\">The package's files</h2><ul>";
    for (size_t k = 0; k < files.size(); ++k) {
        const std::string rel = Esc(fs::relative(files[k], dir, ec).string());
        h += shown.count(key(files[k])) ? "<li><a href=\"#f" + std::to_string(k) + "\">" + rel + "</a></li>"
                                        : "<li>" + rel + "</li>";
    }
    h += "</ul>\n";
    for (size_t k = 0; k < files.size(); ++k) {
        if (!shown.count(key(files[k]))) continue;
        const std::string text = ReadFile(files[k]);
        h += "<h3 id=\"f" + std::to_string(k) + "\">" + Esc(fs::relative(files[k], dir, ec).string()) +
             "</h3><pre class=\"src\">";
        size_t n = 1, at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(at, end - at);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            h += "<span id=\"f" + std::to_string(k) + "-L" + std::to_string(n) + "\"><i>" + std::to_string(n) +
                 "</i>" + Shown(line, codePage) + "</span>";
            ++n, at = end + 1;
        }
        h += "</pre>\n";
    }
    return h + "</body></html>\n";
}
