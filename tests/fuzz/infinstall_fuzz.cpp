// The driver's install model on arbitrary INF bytes. The last byte picks
// the reader and whether every models line counts; a source "exists" when
// its path has an even length. Findings: a crash, a sanitizer report, a
// hang (libFuzzer's timeout); a copy or notice at a line the file does not
// have; a notice without severity, code or message; a source found for a
// copy that has none, or a compressed form without a found file; more
// copies than the model's bound.
#include "tests/fuzz/check.h"
#include "tools/pkgtool/formats/infinstall.h"
#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size - 1);
    const uint8_t mode = data[size - 1];
    const pkgcheck::InfReader reader = mode & 1 ? pkgcheck::InfReader::kNt4 : pkgcheck::InfReader::kWin9x;
    const pkgcheck::InfLookup lookup = [](const std::string& path) {
        return path.size() % 2 ? std::string() : "/disc/" + path;
    };
    const int lines = int(std::count(input.begin(), input.end(), '\n')) + 1;
    const pkgcheck::InfInstall m =
        pkgcheck::ReadInfInstall(input, reader, {{0x1234, 0x5678}, {0x10de, 0x0020}}, mode & 2, lookup);
    FUZZ_CHECK(m.files.size() <= 20000, fuzz::Shown(input));
    FUZZ_CHECK(m.takesFile || (m.files.empty() && m.notices.empty()), fuzz::Shown(input));
    for (const pkgcheck::InstallFile& f : m.files) {
        FUZZ_CHECK(f.line >= 1 && f.line <= lines, fuzz::Shown(input) + " line " + std::to_string(f.line));
        FUZZ_CHECK(!f.target.empty() && !f.installSection.empty(), fuzz::Shown(input));
        FUZZ_CHECK(f.found.empty() || f.from == pkgcheck::InstallSource::kPackage, fuzz::Shown(input));
        FUZZ_CHECK(!f.compressed || !f.found.empty(), fuzz::Shown(input));
    }
    for (const pkgcheck::InstallNotice& n : m.notices) {
        FUZZ_CHECK(n.line >= 0 && n.line <= lines, fuzz::Shown(input) + " line " + std::to_string(n.line));
        FUZZ_CHECK(n.severity == "error" || n.severity == "warning" || n.severity == "note", fuzz::Shown(input));
        FUZZ_CHECK(!n.code.empty() && !n.message.empty(), fuzz::Shown(input));
    }
    for (const pkgcheck::InstallDiskLabel& l : m.labels)
        FUZZ_CHECK(reader == pkgcheck::InfReader::kWin9x && l.line >= 1 && l.line <= lines, fuzz::Shown(input));
    return 0;
}
