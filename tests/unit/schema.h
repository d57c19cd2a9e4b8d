// Validates a JSON output of pkgtool against docs/pkgtool.schema.json with
// Debian's python3-jsonschema (tests/tool/schema_check.py). Empty when the
// text is valid or no validator is installed here; else what is wrong.
#pragma once
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

inline std::string SchemaProblems(const std::string& json) {
    const std::string file = std::string(SCHEMA_CHECK_TEMP) + "/schema-" + std::to_string(::getpid()) + ".json";
    if (FILE* f = fopen(file.c_str(), "wb")) {
        fwrite(json.data(), 1, json.size(), f);
        fclose(f);
    }
    std::string out;
    if (FILE* p = popen(("python3 " SCHEMA_CHECK " " + file + " 2>&1").c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int status = pclose(p);
        std::remove(file.c_str());
        if (WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 77)) return "";
        return out.empty() ? "schema_check.py failed" : out;
    }
    return "cannot run schema_check.py";
}
