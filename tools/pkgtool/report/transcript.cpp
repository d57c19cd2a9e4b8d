#include "tools/pkgtool/report/transcript.h"
#include "tools/pkgtool/formats/codepage.h"
#include "tools/pkgtool/report/json.h"

namespace {

// Texts of a box as the user would see them: ASCII is left alone, so that
// control characters keep their meaning for the layout below.
std::string Shown(const std::string& bytes, int codePage) {
    for (unsigned char c : bytes)
        if (c >= 0x80) return pkgcheck::RenderInCodePage(bytes, codePage);
    return bytes;
}

} // namespace

std::string FormatTranscriptText(const Transcript& t) {
    std::string s = "PC: " + t.pc + "\n";
    s += "Run of " + t.program + ".exe:\n";
    for (const TranscriptEvent& e : t.events) {
        std::string line = "  " + e.kind;
        line.resize(16, ' ');
        if (e.kind == "box") {
            line += "[" + Shown(e.Field("caption"), t.codePage) + "] " + Shown(e.Field("text"), t.codePage) + "  (" +
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
        s += line + "\n";
    }
    s += !t.ran    ? "  " + t.program + ".exe does not run\n"
         : t.hung ? "  the program would wait for ever here\n"
                  : "  exit code " + std::to_string(t.exitCode) + "\n";
    for (const std::string& n : t.notes) s += "Note: " + n + "\n";
    return s;
}

std::string FormatTranscriptJson(const Transcript& t) {
    std::string s = "{\"program\":" + JsonString(t.program) + ",\"pc\":" + JsonString(t.pc) + ",\"events\":[";
    for (size_t i = 0; i < t.events.size(); ++i) {
        const TranscriptEvent& e = t.events[i];
        s += (i ? "," : "") + std::string("{\"kind\":") + JsonString(e.kind);
        for (const auto& f : e.fields) s += "," + JsonString(f.first) + ":" + JsonString(f.second);
        s += "}";
    }
    s += "],\"exitCode\":" + std::to_string(t.exitCode) + ",\"hung\":" + (t.hung ? "true" : "false") + ",\"ran\":" + (t.ran ? "true" : "false") + ",\"notes\":[";
    for (size_t i = 0; i < t.notes.size(); ++i) s += (i ? "," : "") + JsonString(t.notes[i]);
    return s + "]}\n";
}
