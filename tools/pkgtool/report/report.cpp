#include "tools/pkgtool/report/report.h"
#include "tools/pkgtool/report/json.h"

#include <cstdio>

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
        out += " " + f.severity + ": " + f.message + " [" + f.code + "]";
        out += f.package.empty() ? "\n" : " (package " + f.package + ")\n";
    }
    out += Counted(Count(findings, "error"), "error") + ", " + Counted(Count(findings, "warning"), "warning");
    if (int notes = Count(findings, "note")) out += ", " + Counted(notes, "note");
    return out + "\n";
}

namespace {

std::string Ids(const PackageCard& c) {
    char ids[16];
    snprintf(ids, sizeof ids, "%04X:%04X", c.vendor & 0xFFFF, c.device & 0xFFFF);
    return ids;
}

} // namespace

std::string FormatCardsText(const std::vector<PackageCard>& cards) {
    if (cards.empty()) return "";
    std::string out = "Cards named by the package:\n";
    for (const PackageCard& c : cards) {
        out += "  " + Ids(c) + (c.name.empty() ? "" : " " + c.name) + "  (";
        for (size_t i = 0; i < c.where.size(); ++i) out += (i ? ", " : "") + c.where[i];
        out += ")\n";
    }
    return out;
}

std::string FindingsJsonMembers(const std::string& command, const std::vector<Finding>& findings, int exitStatus) {
    std::string out = "\"command\": " + JsonString(command) + ", \"findings\": [";
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        const std::string& fix = f.fix;
        out += i ? ",\n  " : "\n  ";
        out += "{\"file\": " + JsonString(f.file) + ", \"line\": " + (f.line > 0 ? std::to_string(f.line) : "null") +
               ", \"severity\": " + JsonString(f.severity) + ", \"code\": " + JsonString(f.code) +
               ", \"message\": " + JsonString(f.message) + ", \"fix\": " + (fix.empty() ? "null" : JsonString(fix)) +
               ", \"package\": " + (f.package.empty() ? "null" : JsonString(f.package)) + "}";
    }
    out += findings.empty() ? "]" : "\n]";
    out += ", \"counts\": {\"errors\": " + std::to_string(Count(findings, "error")) +
           ", \"warnings\": " + std::to_string(Count(findings, "warning")) +
           ", \"notes\": " + std::to_string(Count(findings, "note")) + "}";
    return out + ", \"exitStatus\": " + std::to_string(exitStatus);
}

std::string FormatFindingsJson(const std::vector<Finding>& findings, const std::vector<PackageCard>& cards) {
    std::string out = "{" + FindingsJsonMembers("check", findings, FindingsExitStatus(findings)) + ", \"cards\": [";
    for (size_t i = 0; i < cards.size(); ++i) {
        const PackageCard& c = cards[i];
        std::string ids = Ids(c);
        out += (i ? ",\n  " : "\n  ") + std::string("{\"vendor\": ") + JsonString(ids.substr(0, 4)) +
               ", \"device\": " + JsonString(ids.substr(5)) + ", \"name\": " + JsonString(c.name) + ", \"where\": [";
        for (size_t k = 0; k < c.where.size(); ++k) out += (k ? ", " : "") + JsonString(c.where[k]);
        out += "]}";
    }
    return out + (cards.empty() ? "]}\n" : "\n]}\n");
}

int FindingsExitStatus(const std::vector<Finding>& findings) {
    return Count(findings, "error") > 0 ? 1 : 0;
}
