// Card detection: the decimal reader, the fields of a DetectCard entry, the
// bus scan (one scan per command against the per-entry reference, on buses
// of our own making), and the DetectCard and CheckPCIKey commands run by the
// launcher on the simulated PC. The Wine tier covers the real port
// instructions and Wine's registry; this file leaves them out.
#include "setup/cardentry.h"
#include "setup/decimal.h"
#include "setup/pciscan.h"
#include "setup/setupapp.h"
#include "tests/support/run.h"
#include <gtest/gtest.h>
#include <random>

extern CSetupApp theApp;

TEST(Decimal, SignedDecimalUpToTheFirstNonDigit) {
    struct {
        const char* text;
        int value;
    } cases[] = {
        {"4660", 4660},         {"  +12", 12},           {"-1", -1},          {"12AB", 12},
        {"0x12AB", 0},          {"", 0},                 {"+", 0},            {"--1", 0},
        {"+-1", 0},             {" \t\n\v\f\r7", 7},      {"7 8", 7},          {" - 5", 0},
        {"70196", 70196},       {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX},
        {"4294967296", 0},      {"4294967297", 1},       {"99999999999", 1215752191}, // wraps, never UB
        {"000123", 123},        {"x1", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadSignedDecimal(c.text), c.value) << "'" << c.text << "'";
}

TEST(CardEntry, IdentifiersAreTheLow16BitsOfFields1And2) {
    struct {
        const char* entry;
        bool has;
        unsigned vendor, device;
    } cases[] = {
        {"4660,22136,PCI,0,0", true, 0x1234, 0x5678},
        {"70196,22136", true, 0x1234, 0x5678},
        {"1234,1", true, 1234, 1}, // hexadecimal text reads as decimal
        {" 4660, 22136", true, 0x1234, 0x5678},
        {"-1,65535", true, 0xFFFF, 0xFFFF},
        {",,4660,,,22136,", true, 0x1234, 0x5678},
        {"4660,,AGP,1,0", true, 0x1234, 0}, // runs of commas: AGP is field 2
        {"4660", false, 0, 0},
        {"4660,,,", false, 0, 0},
        {",,,", false, 0, 0},
    };
    for (const auto& c : cases) {
        unsigned short v = 0, d = 0;
        EXPECT_EQ(ReadCardIds(c.entry, &v, &d), c.has) << c.entry;
        if (!c.has) continue;
        EXPECT_EQ(v, c.vendor) << c.entry;
        EXPECT_EQ(d, c.device) << c.entry;
    }
}

TEST(CardEntry, BusTypeAndHelperFlagOfTheMatchingEntry) {
    struct {
        const char* entry;
        const char* busType;
        int flag;
        bool agp;
    } cases[] = {
        {"1,2,AGP,1,0", "AGP", 1, true},   {"1,2,agp,0,0", "agp", 0, true},
        {"1,2, AGP,1,0", " AGP", 1, false}, {"1,2,PCI, 1,0", "PCI", 0, false},
        {"1,2,PCI,10,0", "PCI", 1, false}, {"1,2,PCI,yes,0", "PCI", 0, false},
        {"1,2,AGPX,1,0", "AGPX", 1, false},
        {"1,2,ABCDEFGHIJ,1,0", "ABCDEFG", 1, false}, // cut to 7
        {"4660,,AGP,1,0", "1", 0, false},
        // missing fields read as empty: no bus type, flag 0
        {"1,2", "", 0, false},             {"1,2,AGP", "AGP", 0, true},
        {"1,2,AGP,1", "AGP", 1, true},
    };
    for (const auto& c : cases) {
        char bus[8];
        memset(bus, 'z', sizeof bus);
        int flag = -1;
        ReadCardFields(c.entry, bus, sizeof bus, &flag);
        EXPECT_STREQ(bus, c.busType) << c.entry;
        EXPECT_EQ(flag, c.flag) << c.entry;
        EXPECT_EQ(IsAgpBusType(bus), c.agp) << c.entry;
    }
}

namespace {

// A bus of our own: configuration address to register 0, all ones elsewhere.
struct FakeBus {
    std::vector<unsigned long> ids = std::vector<unsigned long>(65536, 0xFFFFFFFFul);
    unsigned long probes = 0;
    void Add(unsigned bus, unsigned dev, unsigned fn, unsigned vendor, unsigned device) {
        ids[(PciConfigAddress(bus, dev, fn) >> 8) & 0xFFFF] = (unsigned long)device << 16 | vendor;
    }
    static unsigned long Probe(unsigned long address, void* self) {
        FakeBus* b = static_cast<FakeBus*>(self);
        ++b->probes;
        return b->ids[(address >> 8) & 0xFFFF];
    }
};

std::string Where(const PciLocation& l) {
    return std::to_string(l.bus) + ":" + std::to_string(l.device) + "." + std::to_string(l.function);
}

} // namespace

TEST(PciScan, ConfigurationAddress) {
    EXPECT_EQ(PciConfigAddress(0, 0, 0), 0x80000000ul);
    EXPECT_EQ(PciConfigAddress(1, 0, 0), 0x80010000ul);
    EXPECT_EQ(PciConfigAddress(0, 31, 7), 0x8000FF00ul);
    EXPECT_EQ(PciConfigAddress(255, 31, 7), 0x80FFFF00ul);
}

TEST(PciScan, LastDeviceInScanOrderLowestFunction) {
    FakeBus bus;
    bus.Add(0, 9, 0, 0x1234, 0x5678);
    bus.Add(1, 0, 3, 0x1234, 0x5678);
    bus.Add(1, 0, 1, 0x1234, 0x5678);
    bus.Add(0, 31, 7, 0x1234, 0x5678); // bus outermost: bus 1 comes later
    PciLocation at{};
    unsigned long probes = 0;
    ASSERT_TRUE(FindPciPair(0x1234, 0x5678, FakeBus::Probe, &bus, &at, &probes));
    EXPECT_EQ(Where(at), "1:0.1");
    EXPECT_EQ(probes, 65536ul - 7 - 6 - 0); // functions after each device's first match are skipped
    EXPECT_EQ(probes, bus.probes);

    PciInventory inv;
    TakePciInventory(&inv, FakeBus::Probe, &bus);
    EXPECT_EQ(inv.probes, 65536ul);
    ASSERT_EQ(LookUpPciPair(&inv, 0x1234, 0x5678, &at), kPciFound);
    EXPECT_EQ(Where(at), "1:0.1");
    ASSERT_EQ(LookUpPciPair(&inv, 0xFFFF, 0xFFFF, &at), kPciFound);
    EXPECT_EQ(Where(at), "255:31.0");
    EXPECT_EQ(LookUpPciPair(&inv, 0x5678, 0x1234, &at), kPciAbsent);
}

// Whatever the bus, an inventory answers every pair exactly as the scan of
// that pair alone would; a bus with more distinct values than it holds
// answers "unknown", never a wrong location.
TEST(PciScan, InventoryAgreesWithThePerPairScan) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 12; ++round) {
        FakeBus bus;
        const unsigned kinds = round < 10 ? 1 + round : 200; // the last rounds overflow the inventory
        const unsigned cards = round < 10 ? 40 : 2000;
        for (unsigned i = 0; i < cards; ++i) {
            unsigned k = rng() % kinds;
            bus.Add(rng() % 256, rng() % 32, rng() % 8, 0x1000 + k, k % 3 == 0 ? 0xFFFF : 0x2000 + k);
        }
        PciInventory inv;
        TakePciInventory(&inv, FakeBus::Probe, &bus);
        EXPECT_EQ(inv.overflowed, round >= 10) << round;
        for (unsigned k = 0; k <= kinds; ++k) {
            unsigned short v = (unsigned short)(0x1000 + k), d = (unsigned short)(k % 3 == 0 ? 0xFFFF : 0x2000 + k);
            PciLocation want{}, got{};
            bool found = FindPciPair(v, d, FakeBus::Probe, &bus, &want);
            PciLookup r = LookUpPciPair(&inv, v, d, &got);
            if (r == kPciUnknown) {
                EXPECT_TRUE(inv.overflowed);
                continue;
            }
            ASSERT_EQ(r == kPciFound, found) << round << " " << k;
            if (found) EXPECT_EQ(Where(got), Where(want)) << round << " " << k;
        }
        PciLocation want{}, got{};
        ASSERT_TRUE(FindPciPair(0xFFFF, 0xFFFF, FakeBus::Probe, &bus, &want));
        ASSERT_EQ(LookUpPciPair(&inv, 0xFFFF, 0xFFFF, &got), kPciFound) << round;
        EXPECT_EQ(Where(got), Where(want)) << round;
    }
}

namespace {

struct Detect : ::testing::Test {
    sim::Machine m;
    Detect() {
        m.currentDirectory = "D:\\CD";
        m.SetVersion("win98");
    }
    void Script(const std::string& list, const std::string& sections) {
        m.files["D:\\CD\\SETUP.INI"] = "[Application]\nW98=" + list + "\n" + sections +
                                       "\n[Message]\nDetectCard=no card\nDetectCard2=no card 2\n"
                                       "CheckPCIKey=not in registry\nShowMsg=reached\n";
    }
    std::vector<std::string> Shown() const {
        std::vector<std::string> t;
        for (const auto& b : m.messageBoxes) t.push_back(b.text);
        return t;
    }
    void Device(const std::string& device, const std::vector<std::string>& instances) {
        sim::RegKey& k = m.Key("Enum\\PCI\\" + device);
        for (const auto& i : instances) k.subkeys[i];
    }
};

using Texts = std::vector<std::string>;

} // namespace

TEST_F(Detect, EntriesOfTheDocumentedExamples) {
    struct {
        const char* entries;
        const char* deviceKey;
        const char* location;
        const char* busType;
        int flag;
    } cases[] = {
        {"1=4660,22136,PCI,1,0", "VEN_1234&DEV_5678", "BUS_01&DEV_00&FUNC_00", "PCI", 1},
        {"1=4660,22136,agp,0,0", "VEN_1234&DEV_5678", "000800", "agp", 0},
        {"1=4660,22136, AGP, 1,0", "VEN_1234&DEV_5678", "BUS_01&DEV_00&FUNC_00", " AGP", 0},
        {"1=70196,22136,PCI,1x,0", "VEN_1234&DEV_5678", "BUS_01&DEV_00&FUNC_00", "PCI", 1},
        {"1=1234,5678,PCI,1,0\n2=4660,22136,PCI,0,0", "VEN_1234&DEV_5678", "BUS_01&DEV_00&FUNC_00", "PCI", 0},
        {"1=65535,65535,PCI,1,0", "VEN_FFFF&DEV_FFFF", "BUS_FF&DEV_1F&FUNC_00", "PCI", 1},
        {"1=4660\n2=4660,22136,X", "VEN_1234&DEV_5678", "BUS_01&DEV_00&FUNC_00", "X", 0}, // 1 lacks field 2
        {"1=4660,22136", "VEN_1234&DEV_5678", "BUS_01&DEV_00&FUNC_00", "", 0},             // 3 to 5 missing
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.AddPciFunction(1, 0, 0, 0x1234, 0x5678);
        run.files["D:\\CD\\SETUP.INI"] =
            std::string("[Application]\nW98=DetectCard,ShowMsg\n[DetectCard]\n") + c.entries +
            "\n[Message]\nDetectCard=no card\nShowMsg=reached\n";
        sim::RunSetup(run);
        ASSERT_EQ(run.messageBoxes.size(), 1u) << c.entries;
        EXPECT_EQ(run.messageBoxes[0].text, "reached") << c.entries;
        EXPECT_STREQ(theApp.deviceKey, c.deviceKey) << c.entries;
        EXPECT_STREQ(theApp.location, c.location) << c.entries;
        EXPECT_STREQ(theApp.busType, c.busType) << c.entries;
        EXPECT_EQ(theApp.helperFlag, c.flag) << c.entries;
        EXPECT_LE(run.pciProbes, 65536u) << c.entries;
    }
}

TEST_F(Detect, FailuresShowTheMessageOfTheirOwnToken) {
    struct {
        const char* list;
        const char* sections;
        Texts shown;
    } cases[] = {
        {"DetectCard,ShowMsg", "[DetectCard]\n2=4660,22136\n", {"no card"}},   // entry 1 missing
        {"DetectCard,ShowMsg", "[DetectCard]\n1=\n2=4660,22136\n", {"no card"}}, // entry 1 empty
        {"DetectCard,ShowMsg", "[DetectCard]\n1=1234,5678\n3=4660,22136\n", {"no card"}}, // a gap ends the list
        {"DetectCard2,ShowMsg", "[DetectCard2]\n1=4660,1\n", {"no card 2"}},
        {"detectcardX,ShowMsg", "", {""}}, // no such section, no such message: an empty box
        {"DetectCard2,ShowMsg", "[DetectCard2]\n1=4660,22136\n", {"reached"}},
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.AddPciFunction(1, 0, 0, 0x1234, 0x5678);
        run.files["D:\\CD\\SETUP.INI"] = std::string("[Application]\nW98=") + c.list + "\n" + c.sections +
                                         "[Message]\nDetectCard=no card\nDetectCard2=no card 2\nShowMsg=reached\n";
        sim::RunSetup(run);
        Texts shown;
        for (const auto& b : run.messageBoxes) {
            shown.push_back(b.text);
            EXPECT_EQ(b.style, (UINT)(MB_OK | MB_ICONEXCLAMATION));
        }
        EXPECT_EQ(shown, c.shown) << c.list << " " << c.sections;
    }
}

TEST_F(Detect, IdentityKeepsItsValueWhenALaterDetectCardFails) {
    m.AddPciFunction(0, 9, 0, 0x1234, 0x5678);
    m.AddPciFunction(1, 0, 1, 0x1234, 0x5678);
    m.AddPciFunction(1, 0, 2, 0x1234, 0x5678);
    Script("DetectCard,DetectCard2,ShowMsg", "[DetectCard]\n1=4660,22136,PCI,1,0\n[DetectCard2]\n1=1,1,AGP,0,0\n");
    sim::RunSetup(m);
    EXPECT_EQ(Shown(), Texts{"no card 2"});
    EXPECT_STREQ(theApp.deviceKey, "VEN_1234&DEV_5678");
    EXPECT_STREQ(theApp.location, "BUS_01&DEV_00&FUNC_01");
    EXPECT_STREQ(theApp.busType, "PCI");
    EXPECT_EQ(theApp.helperFlag, 1);
}

// The bus is scanned once per command, however many entries are tried.
TEST_F(Detect, OneScanPerCommandWhateverTheNumberOfEntries) {
    m.AddPciFunction(3, 4, 5, 0x10DE, 0x0020);
    std::string entries = "[DetectCard]\n";
    for (int i = 1; i <= 30; ++i) entries += std::to_string(i) + "=" + std::to_string(i) + ",1,PCI,0,0\n";
    entries += "31=4318,32,PCI,0,0\n";
    Script("DetectCard,DetectCard,ShowMsg", entries);
    sim::RunSetup(m);
    EXPECT_EQ(Shown(), Texts{"reached"});
    EXPECT_EQ(m.pciProbes, 2u * 65536u);
    EXPECT_STREQ(theApp.location, "BUS_03&DEV_04&FUNC_05");

    sim::Machine none;
    none.currentDirectory = "D:\\CD";
    none.files["D:\\CD\\SETUP.INI"] = "[Application]\nW98=DetectCard\n[DetectCard]\n1=x,y\n2=x,y\n";
    sim::RunSetup(none);
    EXPECT_EQ(none.pciProbes, 65536u); // both read as 0,0: tried, found nowhere
}

TEST_F(Detect, EntriesWithoutBothIdentifiersNeedNoScan) {
    Script("DetectCard", "[DetectCard]\n1=4660\n2=,,,\n");
    sim::RunSetup(m);
    EXPECT_EQ(Shown(), Texts{"no card"});
    EXPECT_EQ(m.pciProbes, 0u);
}

// User-mode port I/O faults on the NT family: the launcher never executes
// it there, so the bus reads as empty and the check fails with its message.
TEST_F(Detect, NtFamilyNeverTouchesThePorts) {
    for (const char* version : {"nt40", "nt351", "win10"}) {
        sim::Machine run = m;
        run.SetVersion(version);
        run.AddPciFunction(1, 0, 0, 0x1234, 0x5678);
        run.files["D:\\CD\\SETUP.INI"] = std::string("[Application]\nNT40=DetectCard,ShowMsg\nNT35X=DetectCard\n") +
                                         "WINNT=DetectCard\n[DetectCard]\n1=4660,22136\n2=65535,65535\n"
                                         "[Message]\nDetectCard=no card\n";
        sim::RunSetup(run);
        EXPECT_EQ(run.portFaults, 0) << version;
        EXPECT_EQ(run.pciProbes, 0u) << version;
        ASSERT_EQ(run.messageBoxes.size(), 1u) << version;
        EXPECT_EQ(run.messageBoxes[0].text, "no card") << version;
        char key[256] = "kept", loc[256] = "kept";
        sim::UseMachine use(run);
        EXPECT_FALSE(CSetupUtil().FindPciFunction(0x1234, 0x5678, key, loc));
        EXPECT_STREQ(key, "kept");
    }
}

TEST_F(Detect, FindPciFunctionWritesOnlyOnAMatch) {
    m.AddPciFunction(2, 3, 4, 0x1234, 0x5678);
    sim::UseMachine use(m);
    CSetupUtil util;
    char key[256] = "kept", loc[256] = "kept";
    EXPECT_FALSE(util.FindPciFunction(0x1234, 0x5679, key, loc));
    EXPECT_STREQ(key, "kept");
    EXPECT_STREQ(loc, "kept");
    EXPECT_TRUE(util.FindPciFunction(0x71234, 0x5678, key, loc));
    EXPECT_STREQ(key, "VEN_1234&DEV_5678");
    EXPECT_STREQ(loc, "BUS_02&DEV_03&FUNC_04");
    EXPECT_TRUE(util.FindPciFunction(-1, -1, key, loc)); // absent functions read as all ones
    EXPECT_STREQ(loc, "BUS_FF&DEV_1F&FUNC_00");
}

TEST_F(Detect, CheckPciKeyByNameSubstringWithCase) {
    struct {
        std::vector<std::pair<std::string, std::vector<std::string>>> devices;
        bool found;
    } cases[] = {
        {{{"VEN_1234&DEV_5678&SUBSYS_00000000&REV_04", {"BUS_01&DEV_00&FUNC_00"}}}, true},
        {{{"VEN_1234&DEV_5678", {"X_BUS_01&DEV_00&FUNC_00_Y"}}}, true},
        {{{"ven_1234&dev_5678", {"BUS_01&DEV_00&FUNC_00"}}}, false},       // lower-case names never match
        {{{"VEN_1234&DEV_5678", {"bus_01&dev_00&func_00"}}}, false},
        {{{"VEN_1234&DEV_5678", {"BUS_00&DEV_00&FUNC_00"}}}, false},       // the card, not at that location
        {{{"VEN_1234&DEV_5678", {}}}, false},
        {{{"VEN_1234&DEV_5678", {"BUS_02&DEV_00&FUNC_00"}},               // a later device subkey holds it
          {"VEN_1234&DEV_5678&SUBSYS_1", {"BUS_01&DEV_00&FUNC_00"}}},
         true},
        {{{"VEN_1111&DEV_2222", {"BUS_01&DEV_00&FUNC_00"}}}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        run.AddPciFunction(1, 0, 0, 0x1234, 0x5678);
        run.Key("Enum\\PCI");
        std::string what;
        for (const auto& d : c.devices) {
            what += d.first + " ";
            sim::RegKey& k = run.Key("Enum\\PCI\\" + d.first);
            for (const auto& i : d.second) k.subkeys[i];
        }
        run.files["D:\\CD\\SETUP.INI"] = "[Application]\nW98=DetectCard,CheckPCIKey2,ShowMsg\n"
                                         "[DetectCard]\n1=4660,22136,PCI,0,0\n"
                                         "[Message]\nCheckPCIKey=not in registry\nCheckPCIKey2=wrong key\n"
                                         "ShowMsg=reached\n";
        sim::RunSetup(run);
        ASSERT_EQ(run.messageBoxes.size(), 1u) << what;
        EXPECT_EQ(run.messageBoxes[0].text, c.found ? "reached" : "not in registry") << what;
        EXPECT_EQ(run.openRegistryKeys, 0) << what;
    }
}

TEST_F(Detect, CheckPciKeyFaultsOfTheRegistry) {
    m.AddPciFunction(1, 0, 0, 0x1234, 0x5678);
    Script("DetectCard,CheckPCIKey,ShowMsg", "[DetectCard]\n1=4660,22136\n");

    sim::Machine noEnum = m;
    sim::RunSetup(noEnum);
    EXPECT_EQ(noEnum.messageBoxes.at(0).text, "not in registry");

    sim::Machine locked = m; // Enum\PCI itself cannot be opened
    locked.Key("Enum\\PCI\\VEN_1234&DEV_5678").subkeys["BUS_01&DEV_00&FUNC_00"];
    locked.Key("Enum\\PCI").openFails = true;
    sim::RunSetup(locked);
    EXPECT_EQ(locked.messageBoxes.at(0).text, "not in registry");

    sim::Machine skip = m; // a device subkey that cannot be opened counts as not matching
    skip.Key("Enum\\PCI\\VEN_1234&DEV_5678&A").subkeys["BUS_01&DEV_00&FUNC_00"];
    skip.Key("Enum\\PCI\\VEN_1234&DEV_5678&A").openFails = true;
    skip.Key("Enum\\PCI\\VEN_1234&DEV_5678&B").subkeys["BUS_01&DEV_00&FUNC_00"];
    sim::RunSetup(skip);
    EXPECT_EQ(skip.messageBoxes.at(0).text, "reached");
    EXPECT_EQ(skip.openRegistryKeys, 0);

    // A user without administrator rights may still read the enumeration.
    sim::Machine user = m;
    user.Key("Enum\\PCI").adminOnlyFullAccess = true;
    user.Key("Enum\\PCI\\VEN_1234&DEV_5678").adminOnlyFullAccess = true;
    user.Key("Enum\\PCI\\VEN_1234&DEV_5678").subkeys["BUS_01&DEV_00&FUNC_00"];
    sim::RunSetup(user);
    EXPECT_EQ(user.messageBoxes.at(0).text, "reached");
}

// Before any DetectCard the texts are empty, which every name contains: the
// first device subkey with an instance of its own is enough.
TEST_F(Detect, CheckPciKeyBeforeDetectCardMatchesAnyInstance) {
    Device("A_NO_INSTANCES", {});
    Device("B_DEVICE", {"anything"});
    Script("CheckPCIKey,ShowMsg", "");
    sim::RunSetup(m);
    EXPECT_EQ(Shown(), Texts{"reached"});
}
