#include "tools/pkgtool/dryrun/dryrun.h"
#include "tests/support/run.h"
#include <strings.h>

namespace {

const char* kButtonSets[] = {"OK", "OK/Cancel", "Abort/Retry/Ignore", "Yes/No/Cancel", "Yes/No", "Retry/Cancel"};

std::string Buttons(UINT style) {
    UINT set = style & 0xF;
    return set < sizeof kButtonSets / sizeof kButtonSets[0] ? kButtonSets[set] : "?";
}

std::string Icon(UINT style) {
    switch (style & 0xF0) {
    case 0x10: return "stop";
    case 0x20: return "question";
    case 0x30: return "exclamation";
    case 0x40: return "information";
    default: return "none";
    }
}

std::string AnswerName(int answer) {
    static const char* names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    if (answer == 0) return "none, the program's quit message closed it";
    return answer > 0 && answer < 8 ? names[answer] : std::to_string(answer);
}

bool TakePrefix(const std::string& line, const std::string& prefix, std::string& rest) {
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    rest = line.substr(prefix.size());
    return true;
}

// The machine records everything it sees; a transcript keeps what a user or
// a package author cares about, in the order it happened.
std::vector<TranscriptEvent> ReadEvents(const sim::Machine& m) {
    std::vector<TranscriptEvent> out;
    size_t box = 0, open = 0;
    std::vector<bool> startedSeen(m.processes.size(), false);
    for (const std::string& line : m.events) {
        std::string rest;
        TranscriptEvent e;
        if (TakePrefix(line, "message box: ", rest) && box < m.messageBoxes.size()) {
            const sim::MessageBoxRecord& b = m.messageBoxes[box++];
            e.kind = "box";
            e.fields = {{"caption", b.caption},
                        {"text", b.text},
                        {"buttons", Buttons(b.style)},
                        {"icon", Icon(b.style)},
                        {"answer", AnswerName(b.answer)}};
        } else if (TakePrefix(line, "process started: ", rest)) {
            std::string directory;
            for (size_t i = 0; i < m.processes.size(); ++i) {
                if (startedSeen[i] || m.processes[i].commandLine != rest) continue;
                startedSeen[i] = true;
                directory = m.processes[i].currentDirectory;
                break;
            }
            e.kind = "started";
            e.fields = {{"command line", rest}, {"directory", directory}};
        } else if (TakePrefix(line, "start failed ", rest)) {
            size_t colon = rest.find("): ");
            e.kind = "start-failed";
            e.fields = {{"command line", colon == std::string::npos ? rest : rest.substr(colon + 3)},
                        {"reason", colon == std::string::npos ? "" : rest.substr(1, colon - 1)}};
        } else if (TakePrefix(line, "process ended: ", rest)) {
            size_t with = rest.rfind(" with ");
            e.kind = "ended";
            e.fields = {{"command line", rest.substr(0, with)},
                        {"exit code", with == std::string::npos ? "" : rest.substr(with + 6)}};
        } else if (TakePrefix(line, "helper: ", rest)) {
            e.kind = "helper";
            e.fields = {{"what", rest}};
        } else if (TakePrefix(line, "applet: ", rest)) {
            e.kind = "applet";
            e.fields = {{"what", rest}};
        } else if (TakePrefix(line, "shell ", rest) && open < m.shellOpens.size()) {
            const sim::ShellOpen& o = m.shellOpens[open++];
            e.kind = "opened";
            e.fields = {{"verb", o.verb}, {"file", o.file}, {"directory", o.directory}};
        } else if (TakePrefix(line, "exit windows: ", rest)) {
            unsigned flags = (unsigned)std::stoul(rest);
            e.kind = "shutdown";
            e.fields = {{"request", flags == 0x42 ? "restart Windows" : flags == 0x43 ? "reboot" : rest}};
        } else if (TakePrefix(line, "closed: ", rest)) {
            e.kind = "closed";
            e.fields = {{"what", rest}};
        } else if (TakePrefix(line, "hang: ", rest)) {
            e.kind = "hang";
            e.fields = {{"why", rest}};
        } else {
            continue;
        }
        out.push_back(e);
    }
    return out;
}

} // namespace

std::string TranscriptEvent::Field(const std::string& name) const {
    for (const auto& f : fields)
        if (f.first == name) return f.second;
    return "";
}

Transcript DryRun(const std::string& program, const PcSpec& spec, const std::string& dir) {
    Transcript t;
    sim::Machine m;
    bool sequor = strcasecmp(program.c_str(), "sequor") == 0;
    const ProgramStart start = BuildMachine(spec, dir, !sequor, m, t.notes);
    t.pc = DescribePc(spec, m, start);
    t.program = sequor ? "Sequor" : "setup";
    if (!start.failure.empty()) {
        t.ran = false;
        t.events.push_back({"start-failed", {{"command line", start.autoRun}, {"reason", start.failure}}});
        return t;
    }
    int code = sequor ? sim::RunSequor(m) : sim::RunSetup(m, start.arguments);
    t.hung = code == sim::kHung;
    t.exitCode = t.hung ? 0 : code;
    t.events = ReadEvents(m);
    for (const sim::Process& p : m.processes)
        if (p.running && p.commandLine.find("(left over)") == std::string::npos)
            t.notes.push_back("Still running when the program ended: " + p.commandLine);
    return t;
}
