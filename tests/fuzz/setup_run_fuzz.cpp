// Whole runs of setup on the simulated PC: arbitrary SETUP.INI bytes, with
// the version, directories, PCI bus, registry, programs and user taken from
// the input (tests/fuzz/pc.h). Findings: a crash or sanitizer report, a hang
// (every awaited program ends, so no wait may be endless), and a broken
// promise of the launcher: an exit code other than 0, 254 or a helper's;
// a registry key left open; a box not captioned SETUP or of another style;
// a text field of the application without its terminator.
#include "setup/setupapp.h"
#include "setup/win9x.h"
#include "tests/fuzz/check.h"
#include "tests/fuzz/pc.h"
#include "tests/support/run.h"
#include <cstring>

extern CSetupApp theApp;

namespace {

bool Terminated(const char* text, size_t size) { return std::memchr(text, '\0', size) != nullptr; }

bool IsHelperCode(const sim::Machine& m, int code) {
    for (const auto& p : m.processes)
        if (p.commandLine.rfind("fitter16.exe ", 0) == 0 && !p.running && (int)p.exitCode == code) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    sim::Machine m;
    fuzz::PcInput pc = fuzz::BuildPc(in, m, "SETUP.INI", true);
    int code = sim::RunSetup(m, pc.arguments);
    fuzz::ShowRun(m, code);
    if (code == sim::kHung || m.hangs) fuzz::ReportHang(m);

    FUZZ_CHECK(code == 0 || code == kExitHelperNotRun || IsHelperCode(m, code), "exit code " + std::to_string(code));
    FUZZ_CHECK(m.openRegistryKeys == 0, std::to_string(m.openRegistryKeys) + " keys open");
    for (const auto& box : m.messageBoxes) {
        FUZZ_CHECK(box.caption == "SETUP" && !box.owned, box.caption);
        FUZZ_CHECK(box.style == (MB_OK | MB_ICONEXCLAMATION) || box.style == (MB_OKCANCEL | MB_ICONEXCLAMATION),
                   std::to_string(box.style));
    }
    for (const auto& open : m.shellOpens) FUZZ_CHECK(open.verb == "open" && open.show == SW_SHOWNORMAL, open.file);
    FUZZ_CHECK(Terminated(theApp.m_szIniPath, sizeof theApp.m_szIniPath), "script path");
    FUZZ_CHECK(Terminated(theApp.m_szLaunchDir, sizeof theApp.m_szLaunchDir), "launch directory");
    FUZZ_CHECK(Terminated(theApp.m_szOsDirectory, sizeof theApp.m_szOsDirectory), "OS directory");
    FUZZ_CHECK(Terminated(theApp.m_szOsKey, sizeof theApp.m_szOsKey), "OS key");
    FUZZ_CHECK(Terminated(theApp.deviceKey, sizeof theApp.deviceKey), "device key");
    FUZZ_CHECK(Terminated(theApp.location, sizeof theApp.location), "location");
    FUZZ_CHECK(Terminated(theApp.busType, sizeof theApp.busType), "bus type");
    FUZZ_CHECK(theApp.helperFlag == 0 || theApp.helperFlag == 1, std::to_string(theApp.helperFlag));
    FUZZ_CHECK(theApp.m_pInstaller == nullptr, "installer not released");
    return 0;
}
