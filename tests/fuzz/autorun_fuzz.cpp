// AUTORUN.INF on arbitrary file bytes, and the start of the program its
// open= names, by AutoRun and by a double-click in Explorer, on a CD root
// that holds nothing. Findings: a crash, a sanitizer report or an exception;
// a value at no line of the file; a start whose launch directory is not the
// rule's (AutoRun: the drive, then the argument text; Explorer: the
// program's folder), whose argument text is not the end of open=, or that
// finds a program or folder on an empty CD.
#include "tests/fuzz/check.h"
#include "tools/pkgtool/formats/autorun.h"
#include <algorithm>
#include <filesystem>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const pkgcheck::AutoRunFile f = pkgcheck::ParseAutoRun(input);
    const int lines = int(std::count(input.begin(), input.end(), '\n') + std::count(input.begin(), input.end(), '\r')) + 1;
    FUZZ_CHECK(f.openLine >= 0 && f.openLine <= lines && f.iconLine >= 0 && f.iconLine <= lines, fuzz::Shown(input));
    FUZZ_CHECK(f.open.empty() || f.sectionLine > 0, fuzz::Shown(input));
    // An empty CD, made once and removed when the process ends.
    static const struct EmptyCd {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("fuzz-cd-" + std::to_string(getpid()));
        EmptyCd() { std::filesystem::create_directories(path); }
        ~EmptyCd() { std::filesystem::remove_all(path); }
    } cd;
    const std::string root = cd.path.string();
    const pkgcheck::AutoRunStart a = pkgcheck::StartOf(f.open, root, "D:", pkgcheck::StartedBy::kAutoRun);
    const std::string context = fuzz::Shown(f.open);
    FUZZ_CHECK(a.currentDirectory == "D:\\" && a.launchDir == "D:" + a.arguments, context);
    FUZZ_CHECK(f.open.size() >= a.arguments.size() &&
                   f.open.compare(f.open.size() - a.arguments.size(), a.arguments.size(), a.arguments) == 0,
               context);
    FUZZ_CHECK(a.programPath.empty() && (a.launchFolder.empty() || a.launchFolder == root), context);
    const pkgcheck::AutoRunStart e = pkgcheck::StartOf(f.open, root, "D:", pkgcheck::StartedBy::kExplorer);
    FUZZ_CHECK(e.arguments.empty() && e.program == a.program && e.currentDirectory == "D:\\" + e.programFolder, context);
    FUZZ_CHECK(e.launchDir == (e.programFolder.empty() ? "D:" : e.currentDirectory), context);
    return 0;
}
