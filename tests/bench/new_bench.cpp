// pkgtool new on a driver folder the size of a large driver CD of the time:
// 20 Windows 95/98 INFs with 10 cards each (200 cards, each line in two
// languages), each copying 30 files. Prints the time of the draft alone and
// of the whole command (draft, write, check), best of five after a first
// run; a draft without 200 cards, or a check with an error, is the only
// failure.
#include "tools/pkgtool/draft/draft.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const int kInfs = 20, kCardsPerInf = 10, kCopiesPerInf = 30;

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string Hex4(int v) {
    char b[8];
    snprintf(b, sizeof b, "%04X", v & 0xFFFF);
    return b;
}

std::string Inf(int n) {
    std::string s = "[Version]\r\nSignature=\"$Chicago$\"\r\nClass=Display\r\n[Manufacturer]\r\n%M%=Maker\r\n[Maker]\r\n";
    for (int c = 0; c < kCardsPerInf; ++c)
        for (const char* lang : {"ENU", "DEU"})
            s += "%Card" + std::to_string(c) + "." + lang + "%=Inst." + lang + ",PCI\\VEN_1AB3&DEV_" +
                 Hex4(0x6000 + n * kCardsPerInf + c) + "\r\n";
    s += "[Inst.ENU]\r\nCopyFiles=Files\r\n[Inst.DEU]\r\nCopyFiles=Files\r\n[DestinationDirs]\r\nDefaultDestDir=11\r\n"
         "[Files]\r\n";
    for (int i = 0; i < kCopiesPerInf; ++i) s += "D" + std::to_string(n) + "F" + std::to_string(i) + ".DRV\r\n";
    s += "[Strings]\r\nM=\"Maker\"\r\n";
    for (int c = 0; c < kCardsPerInf; ++c)
        s += "Card" + std::to_string(c) + ".ENU=\"Card " + std::to_string(n * kCardsPerInf + c) + "\"\r\nCard" +
             std::to_string(c) + ".DEU=\"Karte " + std::to_string(n * kCardsPerInf + c) + "\"\r\n";
    return s;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main() {
    const fs::path root = fs::temp_directory_path() / ("new-bench-" + std::to_string(::getpid()));
    fs::remove_all(root);
    for (int n = 0; n < kInfs; ++n) {
        Write(root / "W9X" / ("DRV" + std::to_string(n) + ".INF"), Inf(n));
        for (int i = 0; i < kCopiesPerInf; ++i)
            Write(root / "W9X" / ("D" + std::to_string(n) + "F" + std::to_string(i) + ".DRV"), "x");
    }
    double draftBest = 1e9, newBest = 1e9, first = 0;
    size_t cards = 0;
    int status = 0;
    for (int run = 0; run < 6; ++run) {
        auto start = std::chrono::steady_clock::now();
        const pkgdraft::Draft d = pkgdraft::MakeDraft(root.string(), {});
        const std::string text = pkgdraft::DraftText(d, root.string());
        const double draft = Seconds(start);
        cards = d.cards.size();
        fs::remove(root / "SETUP.INI");
        start = std::chrono::steady_clock::now();
        // The command's report is not the benchmark's.
        fflush(stdout);
        const int saved = dup(1), null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        status = pkgdraft::NewCommand({root.string()});
        fflush(stdout);
        dup2(saved, 1);
        close(saved), close(null);
        const double whole = Seconds(start);
        if (run == 0) first = whole;
        else draftBest = std::min(draftBest, draft), newBest = std::min(newBest, whole);
    }
    fs::remove_all(root);
    fprintf(stderr, "pkgtool new, %d INFs, %zu cards, %d copied files: draft %.1f ms, new with its check %.1f ms "
                    "(first run %.1f ms); exit status %d\n",
            kInfs, cards, kInfs * kCopiesPerInf, draftBest * 1000, newBest * 1000, first * 1000, status);
    return cards == size_t(kInfs * kCardsPerInf) && status == 0 ? 0 : 1;
}
