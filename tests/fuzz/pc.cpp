#include "tests/fuzz/pc.h"
#include "simwin/programs.h"
#include <cstdio>
#include <cstdlib>

namespace fuzz {
namespace {

// Virtual time past which a run is hung. Every program ends within a minute
// and every box is answered within one, and a script of at most a few
// kilobytes starts at most some hundreds of them: hours are far beyond any
// run that ends.
const uint64_t kClockLimitMs = 4ull * 3600 * 1000;
// Platform calls past which a run is hung. A full PCI scan is about 330,000
// (five port accesses a probe) and a command list holds at most 23
// DetectCard entries; everything else is small beside that.
const uint64_t kCallLimit = 30000000;

// Texts are built of pieces: the tokens and separators the programs look
// for, and long runs that reach the ends of their buffers quickly.
const char* const kPieces[] = {
    "\\", "A", "x", " ", ",", "[CWD]", "[OS]", "[cwd]", ":", ".", "\\DISK1", "\t", "\"", "%s", "%d", "\xe9",
    "AAAAAAAAAAAAAAAA", "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL", "[CWD", "]", "\\\\",
};

std::string Pieces(FuzzedDataProvider& in, int most) {
    std::string text;
    for (int n = in.ConsumeIntegralInRange(0, most); n > 0; --n) text += in.PickValueInArray(kPieces);
    return text;
}

void PickVersion(FuzzedDataProvider& in, sim::Machine& m) {
    static const char* const kNames[] = {"win98", "win95", "winme", "nt351", "nt40", "win2k", "winxp", "win7", "win10"};
    unsigned pick = in.ConsumeIntegralInRange(0u, 11u);
    if (pick < 9) {
        m.SetVersion(kNames[pick]);
    } else {
        m.platformId = in.ConsumeIntegralInRange(0u, 3u);
        m.majorVersion = in.ConsumeIntegralInRange(0u, 11u);
        m.minorVersion = in.ConsumeIntegral<uint8_t>();
    }
    // The release letter of Windows 95 is the second character.
    if (in.ConsumeBool()) {
        m.csdVersion = Pieces(in, 3);
        m.csdVersion += in.ConsumeBool() ? " C" : " B";
    }
}

uint32_t PickId(FuzzedDataProvider& in) {
    static const uint32_t kIds[] = {0x56781234, 0x56791234, 0xFFFFFFFF, 0x00001234, 0x12345678};
    return in.ConsumeBool() ? in.PickValueInArray(kIds) : in.ConsumeIntegral<uint32_t>();
}

void PickPciBus(FuzzedDataProvider& in, sim::Machine& m) {
    // At most 128 distinct identifiers: a larger bus makes DetectCard scan
    // the bus once per entry, which the unit tests cover and which would
    // only slow the fuzzer down.
    for (int n = in.ConsumeIntegralInRange(0, 40); n > 0; --n) {
        static const unsigned kBuses[] = {0, 1, 2, 255};
        unsigned bus = in.ConsumeBool() ? in.PickValueInArray(kBuses) : in.ConsumeIntegral<uint8_t>();
        unsigned device = in.ConsumeIntegralInRange(0u, 31u);
        unsigned function = in.ConsumeIntegralInRange(0u, 7u);
        uint32_t id = PickId(in);
        m.AddPciFunction(bus, device, function, id & 0xFFFF, id >> 16);
    }
}

std::string DeviceKeyName(FuzzedDataProvider& in) {
    uint32_t id = PickId(in);
    char name[64];
    std::snprintf(name, sizeof name, in.ConsumeBool() ? "VEN_%04X&DEV_%04X" : "ven_%04x&dev_%04x", id & 0xFFFF,
                  id >> 16);
    std::string text = name;
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 1: text += "&SUBSYS_00000000&REV_04"; break;
    case 2: text += std::string(260, 'S'); break; // does not fit the enumeration's 256 characters
    case 3: text += Pieces(in, 4); break;
    }
    return text;
}

void PickRegistry(FuzzedDataProvider& in, sim::Machine& m) {
    if (in.ConsumeBool()) {
        sim::RegKey& pci = m.Key("Enum\\PCI");
        pci.openFails = in.ConsumeIntegralInRange(0, 7) == 7;
        pci.adminOnlyFullAccess = in.ConsumeIntegralInRange(0, 3) == 3;
        for (int n = in.ConsumeIntegralInRange(0, 5); n > 0; --n) {
            sim::RegKey& device = pci.subkeys[DeviceKeyName(in)];
            device.openFails = in.ConsumeIntegralInRange(0, 7) == 7;
            device.adminOnlyFullAccess = in.ConsumeIntegralInRange(0, 3) == 3;
            for (int k = in.ConsumeIntegralInRange(0, 3); k > 0; --k) {
                char name[64];
                // One value at a time: the order of arguments is not the order of evaluation.
                if (in.ConsumeBool()) {
                    unsigned bus = in.ConsumeIntegralInRange(0, 2);
                    unsigned device = in.ConsumeIntegralInRange(0, 31);
                    unsigned function = in.ConsumeIntegralInRange(0, 7);
                    std::snprintf(name, sizeof name, "BUS_%02X&DEV_%02X&FUNC_%02X", bus, device, function);
                } else {
                    std::snprintf(name, sizeof name, "%s", in.ConsumeBool() ? "ROOT" : "000800");
                }
                device.subkeys[name];
            }
        }
    }
    if (in.ConsumeBool()) {
        sim::RegKey& osr = m.Key("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OSR21");
        osr.openFails = in.ConsumeIntegralInRange(0, 7) == 7;
        osr.adminOnlyFullAccess = in.ConsumeIntegralInRange(0, 3) == 3;
        if (in.ConsumeIntegralInRange(0, 7) != 7) {
            static const char* const kNames[] = {"USB Supplement to OSR2", "US", "usb", "", "USB"};
            sim::RegValue v;
            v.type = in.ConsumeBool() ? REG_SZ : REG_BINARY;
            switch (in.ConsumeIntegralInRange(0, 2)) {
            case 0: v.data = std::string(in.PickValueInArray(kNames)) + '\0'; break;
            case 1: v.data = std::string(in.PickValueInArray(kNames)); break; // without its terminator
            case 2: v.data = "USB" + std::string(in.ConsumeIntegralInRange(250, 300), 'u'); break;
            }
            osr.values["DisplayName"] = v;
        }
    }
}

DWORD PickExitCode(FuzzedDataProvider& in) {
    static const DWORD kCodes[] = {0, 1, 2, 3, 254, 259, 0xFFFFFFFFu, 0xC0000005u};
    return in.ConsumeBool() ? in.PickValueInArray(kCodes) : in.ConsumeIntegral<DWORD>();
}

void PickHelper(FuzzedDataProvider& in, sim::Machine& m) {
    if (in.ConsumeIntegralInRange(0, 7) == 7) return; // no helper on the medium
    sim::HelperBehaviour b;
    b.showAfterMs = in.ConsumeIntegralInRange<int64_t>(0, 3000);
    if (in.ConsumeIntegralInRange(0, 3) == 3) b.showAfterMs = -1; // never shows its window
    b.buttonAfterMs = in.ConsumeIntegralInRange<int64_t>(0, 3000);
    b.workMs = in.ConsumeIntegralInRange<int64_t>(0, 3000);
    b.endsAfterMs = 20000 - in.ConsumeIntegralInRange<int64_t>(0, 20000); // always: it ends by itself then at the latest
    b.exitCode = PickExitCode(in);
    b.crashesOnClick = in.ConsumeIntegralInRange(0, 3) == 3;
    if (in.ConsumeBool()) b.rect = RECT{-50, 10, 40, 60};
    for (int n = in.ConsumeIntegralInRange(0, 2); n > 0; --n) {
        sim::DecoyWindow d;
        d.atMs = in.ConsumeIntegralInRange(0, 2000);
        d.rect = RECT{in.ConsumeIntegralInRange(-10, 1030), in.ConsumeIntegralInRange(-10, 770), 1100, 800};
        d.style = in.ConsumeBool() ? WS_VISIBLE : 0;
        d.otherThread = in.ConsumeBool();
        b.decoys.push_back(d);
    }
    sim::AddHelperProgram(m, b);
}

void PickApplet(FuzzedDataProvider& in, sim::Machine& m) {
    if (in.ConsumeIntegralInRange(0, 7) != 7) {
        sim::AppletBehaviour b;
        b.startMs = in.ConsumeIntegralInRange<int64_t>(0, 3000);
        b.dialogMs = in.ConsumeIntegralInRange<int64_t>(0, 1000);
        b.pageOpensDialog = in.ConsumeIntegralInRange(0, 3) != 3;
        b.userClosesAtMs = 60000 - in.ConsumeIntegralInRange<int64_t>(0, 60000); // always: the user gives up at last
        sim::AddAppletProgram(m, b);
    }
    for (int n = in.ConsumeIntegralInRange(0, 2); n > 0; --n) {
        int dialogs = in.ConsumeIntegralInRange(0, 3);
        sim::AddLeftoverApplet(m, dialogs, in.ConsumeBool() ? "rundll" : "RunDLL");
    }
}

// Programs a process list or an Exec entry may name.
void PickPlainPrograms(FuzzedDataProvider& in, sim::Machine& m) {
    static const char* const kNames[] = {"a.exe", "b.exe", "c.exe", "first.exe", "C:\\PKG\\tools\\first.exe"};
    for (const char* name : kNames) {
        switch (in.ConsumeIntegralInRange(0, 5)) {
        case 3: break; // not there
        case 4: // the system refuses to start it
            m.programs[name].start = [](sim::Machine&, sim::Process&) { return false; };
            break;
        case 5: // ends while it is being started
            m.programs[name].start = [](sim::Machine& m, sim::Process& p) {
                m.EndProcess(p.id, 1);
                return true;
            };
            break;
        default: {
            DWORD code = PickExitCode(in);
            sim::AddPlainProgram(m, name, code, in.ConsumeIntegralInRange<int64_t>(0, 5000));
        }
        }
    }
}

void PickUser(FuzzedDataProvider& in, sim::Machine& m) {
    static const int kAnswers[] = {0, IDOK, IDCANCEL, IDYES, IDNO};
    for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) m.answers.push_back(in.PickValueInArray(kAnswers));
    m.userAnswerMs = 60000 - in.ConsumeIntegralInRange<uint64_t>(0, 60000);
}

void ShowPc(const sim::Machine& m, const PcInput& pc) {
    std::fprintf(stderr, "version %u %u.%u \"%s\"; directory \"%s\"%s; arguments \"%s\"\n", (unsigned)m.platformId,
                 (unsigned)m.majorVersion, (unsigned)m.minorVersion, m.csdVersion.c_str(), m.currentDirectory.c_str(),
                 m.currentDirectoryFails ? " (unreadable)" : "", pc.arguments.c_str());
    for (const auto& f : m.pciFunctions)
        std::fprintf(stderr, "pci %02X:%02X.%u = %08X\n", f.first >> 8, (f.first >> 3) & 31, f.first & 7, f.second);
    for (const auto& p : m.programs) std::fprintf(stderr, "program %s\n", p.first.c_str());
    std::fprintf(stderr, "answers %zu after %llu ms; files vanish after %d reads; script %zu bytes\n", m.answers.size(),
                 (unsigned long long)m.userAnswerMs, m.filesVanishAfterReads, pc.script.size());
}

} // namespace

PcInput BuildPc(FuzzedDataProvider& in, sim::Machine& m, const char* scriptName, bool withArguments) {
    m.clockLimitMs = kClockLimitMs;
    m.callLimit = kCallLimit;
    PcInput out;
    static const char* const kRoots[] = {"C:\\PKG", "D:", "D:\\", "E:\\CD\\", "C:\\work"};
    m.currentDirectory = std::string(in.PickValueInArray(kRoots)) + Pieces(in, 12);
    m.currentDirectoryFails = in.ConsumeIntegralInRange(0, 15) == 15;
    if (withArguments) out.arguments = Pieces(in, 6);
    PickVersion(in, m);
    PickPciBus(in, m);
    PickRegistry(in, m);
    PickHelper(in, m);
    PickApplet(in, m);
    PickPlainPrograms(in, m);
    PickUser(in, m);
    m.directories = {"C:\\work", "C:\\PKG\\tools"};
    if (in.ConsumeIntegralInRange(0, 7) == 7) m.filesVanishAfterReads = in.ConsumeIntegralInRange(0, 12);

    std::string launch = m.currentDirectory;
    if (!launch.empty() && launch.back() == '\\') launch.pop_back();
    // The argument text follows the program name after its blanks.
    size_t start = out.arguments.find_first_not_of(" \t");
    if (start != std::string::npos) launch += out.arguments.substr(start);
    out.script = in.ConsumeRemainingBytesAsString();
    m.files[launch + "\\" + scriptName] = out.script;
    if (std::getenv("FUZZ_SHOW_PC")) ShowPc(m, out);
    return out;
}

void ShowRun(const sim::Machine& m, int exitCode) {
    if (!std::getenv("FUZZ_SHOW_PC")) return;
    for (const auto& e : m.events) std::fprintf(stderr, "  %s\n", e.c_str());
    std::fprintf(stderr, "exit code %d at %llu ms\n", exitCode, (unsigned long long)m.nowMs);
}

void ReportHang(const sim::Machine& m) {
    std::fprintf(stderr, "hang after %llu ms and %llu platform calls; last events:\n",
                 (unsigned long long)m.nowMs, (unsigned long long)m.platformCalls);
    size_t from = m.events.size() > 12 ? m.events.size() - 12 : 0;
    for (size_t i = from; i < m.events.size(); ++i) std::fprintf(stderr, "  %s\n", m.events[i].c_str());
    std::abort();
}

} // namespace fuzz
