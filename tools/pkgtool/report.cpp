#include "tools/pkgtool/report.h"
#include "tools/pkgtool/json.h"

namespace {

int Count(const std::vector<Finding>& findings, const char* severity) {
    int n = 0;
    for (const Finding& f : findings) n += f.severity == severity;
    return n;
}

std::string Counted(int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

} // namespace

std::string FormatFindingsText(const std::vector<Finding>& findings) {
    std::string out;
    for (const Finding& f : findings) {
        out += f.file + ":";
        if (f.line > 0) out += std::to_string(f.line) + ":";
        out += " " + f.severity + ": " + f.message + " [" + f.code + "]\n";
    }
    out += Counted(Count(findings, "error"), "error") + ", " + Counted(Count(findings, "warning"), "warning") + "\n";
    return out;
}

std::string FormatFindingsJson(const std::vector<Finding>& findings) {
    std::string out = "{\"findings\": [";
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        out += i ? ",\n  " : "\n  ";
        out += "{\"file\": " + JsonString(f.file) + ", \"line\": " + std::to_string(f.line) +
               ", \"severity\": " + JsonString(f.severity) + ", \"code\": " + JsonString(f.code) +
               ", \"message\": " + JsonString(f.message) + "}";
    }
    out += findings.empty() ? "]" : "\n]";
    out += ", \"errors\": " + std::to_string(Count(findings, "error")) +
           ", \"warnings\": " + std::to_string(Count(findings, "warning")) + "}\n";
    return out;
}

int FindingsExitStatus(const std::vector<Finding>& findings) {
    return Count(findings, "error") > 0 ? 1 : 0;
}
