// Whole runs of Sequor on the simulated PC: arbitrary sequor95.ini bytes,
// with the version, directories, programs and user taken from the input
// (tests/fuzz/pc.h). Findings: a crash or sanitizer report, a hang (every
// program of the list ends, so no wait may be endless), and a broken promise
// of the runner: an exit code other than 0; more than one box, or one not
// asking Yes or No; a shut-down other than the restart or reboot its box
// offered; a process handle left open; a program started before the one
// before it ended.
#include "sequor/sequorapp.h"
#include "tests/fuzz/check.h"
#include "tests/fuzz/pc.h"
#include "tests/support/run.h"
#include <cstring>

extern CSequorApp theSequorApp; // referred to, so that the runner is linked in

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    sim::Machine m;
    fuzz::BuildPc(in, m, "sequor95.ini", false);
    size_t before = m.processes.size(); // applets left open by earlier runs
    int code = sim::RunSequor(m);
    fuzz::ShowRun(m, code);
    if (code == sim::kHung || m.hangs) fuzz::ReportHang(m);

    FUZZ_CHECK(code == 0, "exit code " + std::to_string(code));
    FUZZ_CHECK(m.messageBoxes.size() <= 1, std::to_string(m.messageBoxes.size()) + " boxes");
    FUZZ_CHECK(m.exitWindowsRequests.size() <= m.messageBoxes.size(), "shut down without asking");
    for (const auto& box : m.messageBoxes) FUZZ_CHECK(box.style == (MB_YESNO | MB_ICONEXCLAMATION), box.text);
    for (UINT request : m.exitWindowsRequests) FUZZ_CHECK(request == 0x42 || request == 0x43, std::to_string(request));
    FUZZ_CHECK(std::memchr(theSequorApp.m_szLaunchDir, '\0', sizeof theSequorApp.m_szLaunchDir), "launch directory");
    FUZZ_CHECK(m.openHandles == 0, std::to_string(m.openHandles) + " handles open");
    for (size_t i = before + 1; i < m.processes.size(); ++i)
        FUZZ_CHECK(!m.processes[i - 1].running && m.processes[i].startedMs >= m.processes[i - 1].endedMs,
                   m.processes[i].commandLine);
    return 0;
}
