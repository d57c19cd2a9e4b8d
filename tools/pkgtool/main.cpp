// pkgtool: for authors of driver packages.
//
//   pkgtool check DIR [--codepage N] [--pci-ids FILE] [--json]
//       reports the pitfalls of DIR's SETUP.INI and sequor95.ini with file,
//       line and a plain explanation; exit status 1 when any is an error.
//   pkgtool run DIR [--program setup|sequor] [--machine FILE] [PC options] [--verbose] [--json]
//       runs the genuine setup (or Sequor) program code on a simulated PC and
//       prints each step with what it looked for and found, every message
//       box, the helper's command line, the applet's clicks and typed path,
//       the programs opened and started, the prompts, the exit code and what
//       became of the driver; exit status 1 when it is not installed.
//   pkgtool run DIR --all [PC options] [--json]
//       the dry run of every path that matters (report/matrix.h): a line each;
//       exit status 1 when a path that the script means to install does not.
//   pkgtool report DIR -o FILE.html [PC options]
//       writes one self-contained page of every path, drawn (report/html.h).
//   pkgtool cd DIR -o FILE.iso [--label NAME] [--autorun] [--codepage N] [--json]
//       writes the CD image of DIR (disc/cd.cpp).
//   pkgtool new [--update | --print] DIR [--agp VEN:DEV]... [--codepage N] [--pci-ids FILE]
//       drafts DIR's SETUP.INI from its driver INF files (draft/draft.h),
//       then checks the package.
//   pkgtool explain CODE
//       prints the reference's entry for a finding code.
//   pkgtool --help | --version
//
// Exit status 2 with a one-line message for a wrong command line.
#include "tools/pkgtool/formats/cardnames.h"
#include "tools/pkgtool/check/check.h"
#include "tools/pkgtool/formats/codepage.h"
#include <algorithm>
#include "tools/pkgtool/draft/draft.h"
#include "tools/pkgtool/dryrun/dryrun.h"
#include "tools/pkgtool/check/suggest.h"
#include "tools/pkgtool/report/html.h"
#include "tools/pkgtool/report/matrix.h"
#include "tools/pkgtool/report/reference.h"
#include "tools/pkgtool/report/report.h"
#include "tools/pkgtool/report/transcript.h"
#ifdef HAVE_LIBISOFS
#include "tools/pkgtool/disc/disc.h"
#endif
#include "version.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

const char kUsage[] =
    "usage: pkgtool check DIR [--codepage N] [--pci-ids FILE] [--json]\n"
    "       pkgtool run DIR [--program setup|sequor] [--machine FILE] [PC options] [--codepage N] [--verbose]\n"
    "                       [--json]\n"
    "       pkgtool run DIR --all [PC options] [--codepage N] [--json]\n"
    "       pkgtool report DIR -o FILE.html [PC options] [--codepage N]\n"
    "       pkgtool cd DIR -o FILE.iso [--label NAME] [--autorun] [--codepage N] [--json]\n"
    "       pkgtool new [--update | --print] DIR [--agp VEN:DEV]... [--codepage N] [--pci-ids FILE]\n"
    "       pkgtool explain CODE\n"
    "       pkgtool --help | --version\n"
    "Exit status: 0 check, cd and new: no errors (warnings and notes allowed); run: the driver got installed\n"
    "             (Sequor: its list ran, its setup installed, a restart asked for was accepted);\n"
    "             explain: the code is known\n"
    "             1 check and cd: an error (cd then writes no image); run: the run ended without installing\n"
    "             the driver (its last line says why); explain: no such code; new: SETUP.INI exists (new never\n"
    "             overwrites it), or the check of the drafted package found an error\n"
    "             2 a wrong command line\n"
    "             run --all: 1 when a path that the script means to install (its OS key's list has Install, the\n"
    "             card is one of its DetectCard entries in the slot the entry names, the user did not cancel)\n"
    "             ends without the driver, else 0; report: 0 when the page was written\n"
    "  --all                         run: every path that matters, a line each: every OS key's Windows, each card of\n"
    "                                the package's DetectCard entries and none, with and without the USB\n"
    "                                supplement, OK and Cancel (other PC options hold for every path)\n"
    "  -o FILE.html                  report: the page to write (self-contained: no script, nothing from elsewhere)\n"
    "new: drafts DIR\\SETUP.INI from the driver INF files of DIR and its folders, then runs check on it\n"
    "  --update                      add to DIR's SETUP.INI only what its INF files call for and it lacks\n"
    "                                (cards, keys for folders it does not serve); every other byte stays\n"
    "  --print                       write the draft to standard output, and no file\n"
    "  --agp VEN:DEV                 the card (hexadecimal ids) sits in an AGP slot: bus type AGP (repeatable)\n"
    "  --json                        one JSON object, described by the JSON Schema pkgtool.schema.json\n"
    "  --verbose                     run: every file the install copies, a line each (the install step names\n"
    "                                the first few; --json lists them all)\n"
    "  --pci-ids FILE                the PCI id database to name cards from (default: the system's)\n"
    "  --codepage N                  the ANSI code page of the Windows that runs the package, for texts,\n"
    "                                paths and file names (1252 by default; 932, 936, 949, 950, 1250, ...)\n"
    "PC options (also the names of a machine file's 'name = value' lines):\n"
    "  --os KEY|NAME|P.MAJ.MIN[:SP]  Windows version: an OS key in capitals (W95A, W95B, W95C, W98, WIN95,\n"
    "                                NT40, NT35X, NT31, WINNT), a Wine version name in small letters (win95,\n"
    "                                win98, nt40, nt351, win10) or numbers, e.g. 1.4.0: B (default W98)\n"
    "  --card VEN:DEV[:SUBSYS][@BUS:DEV:FN]  a PCI card, identifiers in hexadecimal (121a:0005; SUBSYS the 8\n"
    "                                digits of SUBSYS_ in its hardware id), or VEN,DEV in decimal as the script\n"
    "                                writes them (4634,5) (repeatable; default: the card of the package's first\n"
    "                                DetectCard entry, at 1:0:0, the AGP slot)\n"
    "  --no-card                     an empty PCI bus\n"
    "  --enum DEVICE\\INSTANCE        an Enum\\PCI registry entry (repeatable; default: one per card)\n"
    "  --usb DISPLAYNAME             the USB supplement's uninstall entry (default: not installed)\n"
    "  --answer A[,A...]             the user's answers in order: OK Cancel Yes No (default: default button)\n"
    "  --dir PATH  --args TEXT       launch directory (default D:\\CD) and setup's argument text\n"
    "  --started-by autorun|explorer DIR is a CD's root (it holds AUTORUN.INF): setup starts as AutoRun starts\n"
    "                                it (default) or as a double-click on it in Explorer does; --dir gives the drive\n"
    "  --helper-exit N  --helper-shows-after MS  --helper-never-shows  --no-helper\n"
    "  --applet-closed-after MS      the user closes the Display applet after MS\n"
    "  --exit PROGRAM=CODE           exit code of a program of the package (default 0), named as the list\n"
    "                                names it: file name with or without extension, or path (TOOLS\\UTIL.EXE)\n"
    "  --missing PROGRAM             a program that cannot be started\n"
    "  --lspci FILE                  the PCI bus of a real PC: the output of lspci -n captured on it\n"
    "  --registry FILE               its registry: a REGEDIT4 export of its Windows 98 (HKEY_LOCAL_MACHINE)\n";

int Usage() {
    fputs(kUsage, stdout);
    return 0;
}

int Version() {
    printf("pkgtool %s\n", CARDSETUP_VERSION_TEXT);
    return 0;
}

int Wrong(const std::string& why) {
    fprintf(stderr, "pkgtool: %s (pkgtool --help shows the usage)\n", why.c_str());
    return 2;
}


#ifdef HAVE_LIBISOFS
int RunCd(int argc, char** argv) {
    for (int i = 2; i < argc; ++i)
        if (!strcmp(argv[i], "--help")) return Usage();
    return pkgdisc::CdCommand(std::vector<std::string>(argv + 2, argv + argc));
}
#else
int RunCd(int, char**) { return Wrong("built without libisofs (package libisofs-dev), so it writes no CD image"); }
#endif

int Explain(int argc, char** argv) {
    if (argc != 3) return Wrong("explain needs one finding code, e.g. pkgtool explain unknown-command");
    const std::string code = argv[2];
    if (code == "--help" || code == "-h") return Usage();
    const std::string entry = ReferenceEntry(code);
    if (entry.empty()) {
        const std::vector<std::string> near = pkgcheck::NearestCodes(code, ReferenceCodes());
        std::string suggestion;
        for (size_t i = 0; i < near.size(); ++i)
            suggestion += (i == 0 ? "; did you mean " : i + 1 == near.size() ? " or " : ", ") + near[i];
        fprintf(stderr, "pkgtool: no finding has the code %s%s\n", code.c_str(),
                (suggestion.empty() ? "" : suggestion + "?").c_str());
        return 1;
    }
    printf("%s\n\n%s", code.c_str(), entry.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string job = argc > 1 ? argv[1] : "";
    if (job == "--help" || job == "-h") return Usage();
    if (job == "--version") return Version();
    if (job == "cd") return RunCd(argc, argv);
    if (job == "explain") return Explain(argc, argv);
    if (job == "new") {
        const int status = pkgdraft::NewCommand(std::vector<std::string>(argv + 2, argv + argc));
        return status < 0 ? Usage() : status;
    }
    if (job != "check" && job != "run" && job != "report")
        return Wrong(job.empty() ? "no command: check, run, report, cd, new or explain"
                                 : "unknown command " + job +
                                       pkgcheck::DidYouMean(job, {"check", "run", "report", "cd", "new", "explain"}));
    if (argc < 3) return Wrong(job + " needs the package's folder");
    std::string dir = argv[2];
    if (!std::filesystem::is_directory(dir)) {
        fprintf(stderr, "pkgtool: %s is not a directory\n", dir.c_str());
        return 2;
    }
    bool json = false, verbose = false, all = false;
    std::string output;
    std::string program = "setup";
    CheckOptions options;
    PcSpec spec;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") return Usage();
        if (a == "--json") {
            json = true;
            continue;
        }
        if (a == "--verbose") {
            verbose = true;
            if (job == "check") fprintf(stderr, "pkgtool: warning: --verbose concerns run; check does not use it\n");
            continue;
        }
        if (a == "--all" && job == "run") {
            all = true;
            continue;
        }
        if (a == "-o" && job == "report") {
            if (i + 1 >= argc) return Wrong("-o needs the page's file name");
            output = argv[++i];
            continue;
        }
        if (a.compare(0, 2, "--") != 0) return Wrong("unexpected argument " + a);
        std::string name = a.substr(2), value;
        size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        } else if (!IsPcFlag(name)) {
            if (i + 1 >= argc) return Wrong(a + " needs a value");
            value = argv[++i];
        }
        std::string error;
        if (name == "program") {
            if (value != "setup" && value != "sequor") error = "--program takes setup or sequor";
            program = value;
        } else if (name == "pci-ids") {
            UsePciIdsFile(value);
        } else if (name == "machine") {
            error = ReadMachineFile(spec, value);
        } else {
            error = ApplyPcOption(spec, name, value);
        }
        if (!error.empty()) return Wrong(name == "codepage" ? "--" + error : error);
        if (job == "check" && name != "codepage" && name != "pci-ids")
            fprintf(stderr, "pkgtool: warning: --%s concerns run; check does not use it\n", name.c_str());
    }

    // One code page for every text and path of the package, from here on.
    options.codePage = spec.codePage;
    options.codePageGiven = std::find(spec.given.begin(), spec.given.end(), "codepage") != spec.given.end();
    pkgcheck::UseCodePage page(spec.codePage);
    if (job == "check") {
        CheckResult result = CheckPackage(dir, options);
        std::cout << (json ? FormatFindingsJson(result.findings, result.cards)
                           : FormatCardsText(result.cards) + FormatFindingsText(result.findings));
        return FindingsExitStatus(result.findings);
    }
    if (job == "report") {
        if (output.empty()) return Wrong("report needs -o FILE.html");
        const std::vector<MatrixPath> paths = RunAll(spec, dir);
        const std::string page = ReportHtml(dir, paths, CheckPackage(dir, options), spec.codePage, CARDSETUP_VERSION_TEXT);
        FILE* f = fopen(output.c_str(), "wb");
        if (!f || fwrite(page.data(), 1, page.size(), f) != page.size() || fclose(f) != 0) {
            fprintf(stderr, "pkgtool: cannot write %s\n", output.c_str());
            return 1;
        }
        return 0;
    }
    if (job == "run" && all) {
        if (program != "setup") return Wrong("--all runs setup; --program sequor runs one path");
        const std::vector<MatrixPath> paths = RunAll(spec, dir);
        std::cout << (json ? FormatMatrixJson(paths) : FormatMatrixText(paths));
        return MatrixExitStatus(paths);
    }
    if (job == "run") {
        if (!spec.cardsGiven) AddCardFromPackage(spec, dir);
        Transcript t = DryRun(program, spec, dir);
        for (const std::string& w : t.warnings) fprintf(stderr, "pkgtool: warning: %s\n", w.c_str());
        std::cout << (json ? FormatTranscriptJson(t) : FormatTranscriptText(t, verbose));
        return RunExitStatus(t);
    }
    return 2;
}
