// The host twin of profdump: answers the same query list with
// sim::ReadProfileString, in the same format.
// Usage: profhost CORPUS-DIR QUERIES OUTPUT
#include "simwin/machine.h"
#include "profquery.h"

#include <fstream>
#include <iterator>
#include <map>
#include <memory>

int main(int argc, char** argv) {
    std::vector<profquery::Query> queries;
    FILE* out = profquery::StartRun(argc, argv, "profhost", queries);
    if (!out) return 2;
    std::map<std::string, std::unique_ptr<std::string>> files; // null: no such file
    for (const profquery::Query& q : queries) {
        auto it = files.find(q.file.text);
        if (it == files.end()) {
            std::ifstream in(std::string(argv[1]) + "/" + q.file.text, std::ios::binary);
            std::unique_ptr<std::string> bytes;
            if (in) bytes.reset(new std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
            it = files.emplace(q.file.text, std::move(bytes)).first;
        }
        std::vector<char> buf = profquery::MakeBuffer(q.size);
        DWORD ret = sim::ReadProfileString(it->second.get(), q.section.ptr(), q.key.ptr(), q.def.ptr(), buf.data(),
                                           static_cast<DWORD>(q.size));
        std::fprintf(out, "%s\n", profquery::FormatResult(q, ret, buf).c_str());
    }
    std::fclose(out);
    return 0;
}
