// What the platform's own setupapi queues for a driver INF: the reference
// that pkgtool's install model is held to (tests/e2e/infqueue_test.py).
//
// It walks the INF by itself, with setupapi's own line functions and none of
// our readers: each [Manufacturer] entry to its models section, each models
// line to its install section (as SetupDiGetActualSectionToInstallA picks
// it), and queues that section's files with SetupInstallFilesFromInfSectionA
// from the INF's own folder. SetupScanFileQueueA then hands back each queued
// copy's source and target paths.
//
// Usage: infqueue INF OUTPUT
// OUTPUT, one tab-separated record a line:
//   install <models section> <hardware id> <install section> <1 if the file has it, else 0>
//   copy <install section> <source path> <target path>
//   fail <what> <error code>
// Exit 0 when the INF opened, 2 on a usage or open error.
#include <windows.h>
#include <setupapi.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

FILE* out;
const char* current; // the install section being scanned

std::string Field(INFCONTEXT* ctx, DWORD index) {
    char buf[1024];
    DWORD size = 0;
    if (!SetupGetStringFieldA(ctx, index, buf, sizeof buf, &size)) return "";
    return buf;
}

UINT CALLBACK Scanned(PVOID, UINT notification, UINT_PTR param1, UINT_PTR) {
    if (notification == SPFILENOTIFY_QUEUESCAN_EX) {
        const FILEPATHS_A* paths = reinterpret_cast<const FILEPATHS_A*>(param1);
        std::fprintf(out, "copy\t%s\t%s\t%s\n", current, paths->Source ? paths->Source : "",
                     paths->Target ? paths->Target : "");
    }
    return NO_ERROR;
}

void Fail(const std::string& what) {
    std::fprintf(out, "fail\t%s\t%lu\n", what.c_str(), static_cast<unsigned long>(GetLastError()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: infqueue INF OUTPUT\n");
        return 2;
    }
    out = std::fopen(argv[2], "w");
    if (!out) return 2;
    UINT errorLine = 0;
    HINF inf = SetupOpenInfFileA(argv[1], nullptr, INF_STYLE_WIN4 | INF_STYLE_OLDNT, &errorLine);
    if (inf == INVALID_HANDLE_VALUE) {
        Fail("open");
        std::fclose(out);
        return 2;
    }
    // As the class installer does: LayoutFile='s files join the INF.
    if (!SetupOpenAppendInfFileA(nullptr, inf, nullptr)) Fail("append-layout");

    std::vector<std::string> sections;
    INFCONTEXT maker;
    for (BOOL more = SetupFindFirstLineA(inf, "Manufacturer", nullptr, &maker); more;
         more = SetupFindNextLine(&maker, &maker)) {
        std::string models = Field(&maker, 1);
        INFCONTEXT line;
        for (BOOL next = SetupFindFirstLineA(inf, models.c_str(), nullptr, &line); next;
             next = SetupFindNextLine(&line, &line)) {
            std::string install = Field(&line, 1), id = Field(&line, 2);
            char actual[256];
            DWORD size = 0;
            if (!SetupDiGetActualSectionToInstallA(inf, install.c_str(), actual, sizeof actual, &size, nullptr)) {
                Fail("actual-section " + install);
                continue;
            }
            // A models line may name a section that the file lacks: nothing to queue.
            bool exists = SetupGetLineCountA(inf, actual) >= 0;
            std::fprintf(out, "install\t%s\t%s\t%s\t%d\n", models.c_str(), id.c_str(), actual, exists ? 1 : 0);
            bool seen = false;
            for (const std::string& s : sections) seen = seen || lstrcmpiA(s.c_str(), actual) == 0;
            if (!seen) sections.push_back(actual);
        }
    }

    for (const std::string& section : sections) {
        HSPFILEQ queue = SetupOpenFileQueue();
        if (queue == INVALID_HANDLE_VALUE) {
            Fail("queue " + section);
            continue;
        }
        current = section.c_str();
        if (!SetupInstallFilesFromInfSectionA(inf, nullptr, queue, section.c_str(), nullptr, 0))
            Fail("install-files " + section);
        DWORD result = 0;
        if (!SetupScanFileQueueA(queue, SPQ_SCAN_USE_CALLBACKEX, nullptr, Scanned, nullptr, &result))
            Fail("scan " + section);
        SetupCloseFileQueue(queue);
    }
    SetupCloseInfFile(inf);
    std::fclose(out);
    return 0;
}
