// Answers a query list with the platform's own GetPrivateProfileStringA, the
// reference that profhost's output is compared with.
// Usage: profdump CORPUS-DIR QUERIES OUTPUT
#include <windows.h>
#include <cstdlib>
#include "profquery.h"

int main(int argc, char** argv) {
    std::vector<profquery::Query> queries;
    FILE* out = profquery::StartRun(argc, argv, "profdump", queries);
    if (!out) return 2;
    for (const profquery::Query& q : queries) {
        std::string path = std::string(argv[1]) + "\\" + q.file.text;
        std::vector<char> buf = profquery::MakeBuffer(q.size);
        DWORD ret = GetPrivateProfileStringA(q.section.ptr(), q.key.ptr(), q.def.ptr(), buf.data(),
                                             q.size, path.c_str());
        std::fprintf(out, "%s\n", profquery::FormatResult(q, ret, buf).c_str());
    }
    std::fclose(out);
    return 0;
}
