#include "tools/pkgtool/report.h"

namespace {

int Count(const std::vector<Finding>& findings, const char* severity) {
    int n = 0;
    for (const Finding& f : findings) n += f.severity == severity;
    return n;
}

std::string Counted(int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Script bytes above 0x7F are taken as Latin-1, so the output is always
// valid JSON whatever code page the author wrote in.
std::string JsonQuoted(const std::string& s) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out + "\"";
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
        out += "{\"file\": " + JsonQuoted(f.file) + ", \"line\": " + std::to_string(f.line) +
               ", \"severity\": " + JsonQuoted(f.severity) + ", \"code\": " + JsonQuoted(f.code) +
               ", \"message\": " + JsonQuoted(f.message) + "}";
    }
    out += findings.empty() ? "]" : "\n]";
    out += ", \"errors\": " + std::to_string(Count(findings, "error")) +
           ", \"warnings\": " + std::to_string(Count(findings, "warning")) + "}\n";
    return out;
}

int FindingsExitStatus(const std::vector<Finding>& findings) {
    return Count(findings, "error") > 0 ? 1 : 0;
}
