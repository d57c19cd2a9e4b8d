#include "tools/pkgtool/report/transcript.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/report/json.h"
#include "tools/pkgtool/report/report.h"
#include "tools/pkgtool/formats/cardnames.h"
#include <cstdio>

namespace {

// Texts and paths as the user would see them: ASCII is left alone, so that
// control characters keep their meaning for the layout below.
std::string Shown(const std::string& bytes, int codePage) { return pkgcheck::ShownText(bytes, codePage); }

// The bytes themselves, for a consumer that compares them with the PC's.
std::string HexBytes(const std::string& bytes) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += hex[c >> 4], out += hex[c & 15];
    return out;
}

bool IsAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// A line cut after a separator ("; ", ", " or a blank) before `width`, and
// its rest on lines indented as a step's text is.
std::string Wrapped(const std::string& line, size_t width) {
    const std::string indent(16, ' ');
    std::string out, rest = line;
    while (rest.size() > width) {
        size_t cut = std::string::npos;
        for (const char* sep : {"; ", ", ", " "}) {
            const size_t at = rest.rfind(sep, width - std::string(sep).size());
            if (at != std::string::npos && at > indent.size() + 20) {
                cut = at + std::string(sep).size();
                break;
            }
        }
        if (cut == std::string::npos) cut = width;
        out += rest.substr(0, cut);
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += "\n";
        rest = indent + rest.substr(cut);
    }
    return out + rest;
}

// Each line of a text no longer than the width.
std::string WrappedLines(const std::string& text, size_t width) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        out += Wrapped(text.substr(at, nl - at), width) + (nl < text.size() ? "\n" : "");
        at = nl + 1;
    }
    return out;
}

} // namespace

std::string FormatTranscriptText(const Transcript& t, bool verbose) {
    std::string s = "PC: " + Shown(t.pc.Line(), t.codePage) + "\n";
    s += "Run of " + t.program + ".exe:\n";
    for (const TranscriptEvent& e : t.events) {
        std::string line = "  " + e.kind;
        line.resize(16, ' ');
        if (e.kind == "setup" && e.run >= 0 && size_t(e.run) < t.runs.size()) {
            // The setup's own transcript, indented under the step that started it.
            const Transcript& r = t.runs[e.run];
            line += (e.Field("entry").empty() ? "" : e.Field("entry") + ": ") + "the launcher's own code runs; its transcript:";
            std::string inner = FormatTranscriptText(r);
            for (size_t p = 0; p < inner.size();) {
                const size_t end = inner.find('\n', p);
                line += "\n    | " + inner.substr(p, end - p);
                p = end == std::string::npos ? inner.size() : end + 1;
            }
            s += line + "\n";
            continue;
        }
        if (e.kind == "prompt") {
            line += "highest exit code " + e.Field("highest exit code") + "; prompt: " + e.Field("prompt");
            if (!e.Field("yes").empty()) line += "\n  Yes: " + e.Field("yes") + "\n  No: " + e.Field("no");
            for (size_t p = 0; (p = line.find("\n  ", p)) != std::string::npos; p += 17) line.replace(p, 3, "\n" + std::string(16, ' '));
            s += Shown(line, t.codePage) + "\n";
            continue;
        }
        if (e.kind == "commands") {
            line += e.Field("os key") + ": " + e.Field("list");
        } else if (e.kind == "detect") {
            line += e.Field("entry") + "=" + e.Field("value");
            if (!e.Field("looks for").empty()) line += ": looks for " + e.Field("looks for");
            if (!e.Field("bus").empty()) line += "; the bus " + e.Field("bus");
            line += "; " + e.Field("result");
        } else if (e.kind == "pcikey") {
            line += "looks for " + e.Field("looks for") + "; Enum\\PCI holds " + e.Field("registry") + "; " +
                    e.Field("result");
            if (!e.Field("why").empty()) line += ": " + e.Field("why");
        } else if (e.kind == "step") {
            line += e.Field("entry") + ": " + e.Field("what");
        } else if (e.kind == "box") {
            line += "[" + e.Field("caption") + "] " + e.Field("text") + "  (" +
                    e.Field("buttons") + ", " +
                    e.Field("icon") + "; answered: " + e.Field("answer") + ")";
        } else {
            bool first = true;
            for (const auto& f : e.fields) {
                if (f.second.empty()) continue;
                line += (first ? "" : "; ") + (f.first == "what" || f.first == "command line" ? "" : f.first + " ") +
                        f.second;
                first = false;
            }
        }
        // Line breaks of a message continue on indented lines.
        for (size_t p = 0; (p = line.find('\n', p)) != std::string::npos; p += 17) line.replace(p, 1, "\n" + std::string(16, ' '));
        for (size_t p = 0; (p = line.find('\r')) != std::string::npos;) line.erase(p, 1);
        s += Shown(line, t.codePage) + "\n";
        if (verbose)
            for (const TranscriptEvent::Copied& c : e.copied)
                s += std::string(18, ' ') + Shown(c.target + " from " + c.source, t.codePage) +
                     (c.source == "the Windows CD" ? "" : c.found.empty() ? " (missing)" : " (found: " + Shown(c.found, t.codePage) + ")") +
                     "\n";
    }
    s += !t.ran    ? "  " + t.program + ".exe does not run\n"
         : t.hung ? "  the program would wait for ever here\n"
                  : "  exit code " + std::to_string(t.exitCode) + "\n";
    for (const std::string& n : t.notes) s += "Note: " + Shown(n, t.codePage) + "\n";
    if (!t.findings.empty()) s += FormatFindingsText(t.findings);
    s += (t.installed || t.program == "Sequor" ? "Result: " : "Result: not installed: ") + Shown(t.outcome, t.codePage) +
         ".\n";
    return WrappedLines(s, kTranscriptWidth);
}

namespace {

// "command line" -> "commandLine": one spelling of names in all JSON.
std::string JsonName(const std::string& name) {
    std::string out;
    bool up = false;
    for (char c : name) {
        if (c == ' ') {
            up = true;
            continue;
        }
        out += up ? char(toupper((unsigned char)c)) : c;
        up = false;
    }
    return out;
}

std::string TextOrNull(const std::string& s) { return s.empty() ? "null" : JsonString(s); }

std::string Strings(const std::vector<std::string>& list, int codePage = 1252) {
    std::string s = "[";
    for (size_t i = 0; i < list.size(); ++i) s += (i ? ", " : "") + JsonString(Shown(list[i], codePage));
    return s + "]";
}

std::string PcJson(const PcDescription& pc, int codePage) {
    std::string s = "{\"platform\": " + std::to_string(pc.platform) + ", \"major\": " + std::to_string(pc.major) +
                    ", \"minor\": " + std::to_string(pc.minor) + ", \"servicePack\": " + JsonString(pc.servicePack) +
                    ", \"osKey\": " + TextOrNull(pc.osKey) + ", \"osReason\": " + JsonString(pc.osWhy) +
                    ", \"start\": " + JsonString(Shown(pc.start, codePage)) + ", \"cards\": [";
    for (size_t i = 0; i < pc.cards.size(); ++i) {
        const PciCard& c = pc.cards[i];
        char ids[16];
        snprintf(ids, sizeof ids, "%04X:%04X", c.vendor & 0xFFFF, c.device & 0xFFFF);
        const std::string label = PciCardLabel(c.vendor, c.device);
        s += (i ? ", " : "") + std::string("{\"vendor\": ") + JsonString(std::string(ids, 4)) +
             ", \"device\": " + JsonString(std::string(ids + 5, 4)) + ", \"bus\": " + std::to_string(c.bus) +
             ", \"slot\": " + std::to_string(c.slot) + ", \"function\": " + std::to_string(c.function) +
             ", \"label\": " + JsonString(label) + "}";
    }
    return s + "], \"noCard\": " + TextOrNull(pc.cards.empty() ? pc.noCardWhy : "") +
           ", \"registry\": " + Strings(pc.registry) + ", \"usbSupplement\": " + TextOrNull(pc.usb) + "}";
}

} // namespace

namespace {

// The members of a run, the nested setup runs of a Sequor run too.
std::string RunMembers(const Transcript& t) {
    std::string s = "\"program\": " + JsonString(t.program) + ", \"osKey\": " + TextOrNull(t.pc.osKey) +
                    ", \"pc\": " + PcJson(t.pc, t.codePage) + ", \"steps\": [";
    for (size_t i = 0; i < t.events.size(); ++i) {
        const TranscriptEvent& e = t.events[i];
        s += (i ? ",\n  " : "\n  ") + std::string("{\"kind\": ") + JsonString(e.kind);
        // Unicode as the PC shows it, and where that is not ASCII the bytes too.
        for (const auto& f : e.fields) {
            if (e.kind == "install" && f.first == "copies") continue;
            s += ", " + JsonString(JsonName(f.first)) + ": " + JsonString(Shown(f.second, t.codePage));
            if (!IsAscii(f.second)) s += ", " + JsonString(JsonName(f.first + " bytes")) + ": " + JsonString(HexBytes(f.second));
        }
        if (e.kind == "install") {
            s += ", \"copies\": [";
            for (size_t k = 0; k < e.copied.size(); ++k)
                s += std::string(k ? ", " : "") + "{\"target\": " + JsonString(Shown(e.copied[k].target, t.codePage)) +
                     ", \"source\": " + JsonString(Shown(e.copied[k].source, t.codePage)) + ", \"found\": " +
                     (e.copied[k].found.empty() ? std::string("null") : JsonString(Shown(e.copied[k].found, t.codePage))) + "}";
            s += "]";
        }
        if (e.run >= 0 && size_t(e.run) < t.runs.size()) {
            const Transcript& r = t.runs[e.run];
            s += ", \"run\": {" + FindingsJsonMembers("run", r.findings, RunExitStatus(r)) + ", " + RunMembers(r) +
                 ", \"declined\": false, \"usageWarnings\": []}";
        }
        s += "}";
    }
    s += t.events.empty() ? "]" : "\n]";
    s += ", \"exitCode\": " + (t.ran && !t.hung ? std::to_string(t.exitCode) : std::string("null")) +
         ", \"hung\": " + (t.hung ? "true" : "false") + ", \"ran\": " + (t.ran ? "true" : "false") +
         ", \"installed\": " + (t.installed ? "true" : "false") + ", \"outcome\": " + JsonString(Shown(t.outcome, t.codePage)) +
         ", \"caveats\": " + Strings(t.notes, t.codePage);
    return s;
}

} // namespace

std::string FormatTranscriptJson(const Transcript& t) {
    return "{" + FindingsJsonMembers("run", t.findings, RunExitStatus(t)) + ", " + RunMembers(t) +
           ", \"declined\": " + (t.declined ? "true" : "false") + ", \"usageWarnings\": " + Strings(t.warnings) +
           "}\n";
}
