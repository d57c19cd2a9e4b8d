// What pkgtool's install model resolves for an INF as Windows NT 4.0 reads
// it, with every models line (as the Display applet offers them all): the
// side of infqueue_test.py that is ours.
//
// Usage: infmodel INF
// Prints one tab-separated record a line:
//   install <install section>
//   copy <install section> <package|layout|none> <path looked for, relative to the INF's folder> <target name> <dir id>
//   notice <severity> <code> <line> <message>
#include "tools/pkgtool/formats/infinstall.h"
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: infmodel INF\n");
        return 2;
    }
    using namespace pkgcheck;
    InfInstall install = ReadInfInstallFile(argv[1], InfReader::kNt4, {}, true);
    if (!install.takesFile) {
        std::printf("notice\terror\tnot-taken\t0\tNT 4.0 does not take the file\n");
        return 1;
    }
    for (const std::string& s : install.installSections) std::printf("install\t%s\n", s.c_str());
    for (const InstallFile& f : install.files) {
        const char* from = f.from == InstallSource::kPackage         ? "package"
                           : f.from == InstallSource::kWindowsLayout ? "layout"
                                                                     : "none";
        std::printf("copy\t%s\t%s\t%s\t%s\t%d\n", f.installSection.c_str(), from, f.lookedFor.c_str(),
                    f.target.c_str(), f.destDir);
    }
    for (const InstallNotice& n : install.notices)
        std::printf("notice\t%s\t%s\t%d\t%s\n", n.severity.c_str(), n.code.c_str(), n.line, n.message.c_str());
    return 0;
}
