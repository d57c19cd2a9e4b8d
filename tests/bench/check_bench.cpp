// pkgtool check of a CD root the size of a large driver CD of the time:
// 2,000 files, 20 driver INFs (10 for Windows 95/98, 10 for NT 4.0, each
// copying 90 files), a second package beside the one AutoRun starts.
// Prints the time of the whole check (best of five, the first run apart,
// when the disk cache is cold) and what it found; a finding on this clean
// disc is the only failure.
#include "tools/pkgtool/check/check.h"
#include "tools/pkgtool/report/report.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const int kInfsPerFolder = 10, kCopiesPerInf = 90, kFiles = 2000;

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// An INF for card 1234:(5600+n) that copies 90 files, the first half from
// [SourceDisksFiles] subfolders, the rest beside it.
std::string Inf(const std::string& signature, int n, const std::string& prefix) {
    std::string s = "[Version]\r\nSignature=\"" + signature + "\"\r\nClass=Display\r\n[Manufacturer]\r\n%M%=Maker\r\n"
                    "[Maker]\r\n%Card%=Inst,PCI\\VEN_1234&DEV_" + std::to_string(5600 + n) + "\r\n"
                    "[Inst]\r\nCopyFiles=Files.A,Files.B\r\n[DestinationDirs]\r\nFiles.A=11\r\nFiles.B=12\r\n"
                    "[SourceDisksNames]\r\n1=\"Driver CD\",,0\r\n[SourceDisksFiles]\r\n";
    for (int i = 0; i < kCopiesPerInf / 2; ++i) s += prefix + std::to_string(n * 100 + i) + ".DRV=1,SUB\r\n";
    for (int i = kCopiesPerInf / 2; i < kCopiesPerInf; ++i) s += prefix + std::to_string(n * 100 + i) + ".DRV=1\r\n";
    s += "[Files.A]\r\n";
    for (int i = 0; i < kCopiesPerInf / 2; ++i) s += prefix + std::to_string(n * 100 + i) + ".DRV\r\n";
    s += "[Files.B]\r\n";
    for (int i = kCopiesPerInf / 2; i < kCopiesPerInf; ++i) s += prefix + std::to_string(n * 100 + i) + ".DRV\r\n";
    return s + "[Strings]\r\nM=\"Maker\"\r\nCard=\"Card\"\r\n";
}

} // namespace

int main() {
    const fs::path root = fs::temp_directory_path() / ("check-bench-" + std::to_string(::getpid()));
    fs::remove_all(root);
    int files = 0;
    auto add = [&](const fs::path& p, const std::string& text) { Write(p, text), ++files; };
    add(root / "AUTORUN.INF", "[autorun]\r\nopen=DRIVERS\\SETUP.EXE \\DRIVERS\r\n");
    add(root / "DRIVERS" / "SETUP.EXE", "MZ");
    std::string detect;
    for (int n = 0; n < kInfsPerFolder; ++n)
        detect += std::to_string(n + 1) + "=4660," + std::to_string(0x5600 + n) + ",PCI,1,0\r\n";
    add(root / "DRIVERS" / "SETUP.INI",
        "[Application]\r\nW95A=DetectCard,Install,End\r\nW98=DetectCard,Install,End\r\nNT40=Install,ShowMsgNT\r\n"
        "[SubDir]\r\nW95A=\\WIN95\r\nW98=\\WIN95\r\nNT40=\\NT40\r\n[DetectCard]\r\n" + detect +
            "[Message]\r\nNotSupport=n\r\nDetectCard=d\r\nShowMsgNT=nt\r\n");
    for (int n = 0; n < kInfsPerFolder; ++n) {
        // Hexadecimal device ids in the INF, decimal in DetectCard.
        char dev[8];
        snprintf(dev, sizeof dev, "%04X", 0x5600 + n);
        for (const char* folder : {"WIN95", "NT40"}) {
            const bool nt = std::string(folder) == "NT40";
            std::string inf = Inf(nt ? "$Windows NT$" : "$CHICAGO$", n, nt ? "N" : "W");
            inf.replace(inf.find("DEV_") + 4, 4, dev);
            if (nt) inf.replace(inf.find("Class=Display"), 13, "Class=Other");
            add(root / "DRIVERS" / folder / ("DRV" + std::to_string(n) + ".INF"), inf);
            for (int i = 0; i < kCopiesPerInf; ++i) {
                const std::string name = (nt ? "N" : "W") + std::to_string(n * 100 + i) + ".DRV";
                add(root / "DRIVERS" / folder / (i < kCopiesPerInf / 2 ? "SUB/" + name : name), "x");
            }
        }
    }
    add(root / "TOOLS" / "SETUP.INI", "[Application]\r\nW98=End\r\n[Message]\r\nNotSupport=n\r\n");
    while (files < kFiles) add(root / "EXTRAS" / ("F" + std::to_string(files) + ".TXT"), "x"), (void)0;

    double best = 1e300, first = 0;
    CheckResult result;
    for (int r = 0; r < 6; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        result = CheckPackage(root.string(), CheckOptions());
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (r == 0) first = ms;
        else if (ms < best) best = ms;
    }
    fs::remove_all(root);
    printf("pkgtool check of a CD root: %d files, %d INFs (%d copies each), 2 packages\n", files, 2 * kInfsPerFolder,
           kCopiesPerInf);
    printf("  first run %.1f ms, best of five more %.1f ms; %zu findings\n", first, best, result.findings.size());
    if (!result.findings.empty()) printf("%s", FormatFindingsText(result.findings).c_str());
    return result.findings.empty() ? 0 : 1;
}
