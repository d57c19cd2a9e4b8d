// The USB supplement test (the OSR21 uninstall entry and its display name),
// the ShowUSBMsg command, and the simulated registry that both card
// detection and this test read. Wine's registry is the Wine tier's.
#include "setup/setupapp.h"
#include "tests/support/run.h"
#include <gtest/gtest.h>

extern CSetupApp theApp;

namespace {

const char* kOsr21 = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OSR21";

void SetString(sim::RegKey& k, const std::string& name, const std::string& text, DWORD type = REG_SZ) {
    k.values[name] = sim::RegValue{type, text + std::string(1, '\0')};
}

} // namespace

TEST(Usb, DisplayNameMustBeginWithUsbAndFitTheBuffer) {
    struct {
        std::string name;
        DWORD type;
        bool installed;
    } cases[] = {
        {"USB Supplement to OSR2", REG_SZ, true},
        {"USB", REG_SZ, true},
        {"USBx", REG_BINARY, true}, // the type is not looked at
        {"usb supplement", REG_SZ, false},
        {"Usb", REG_SZ, false},
        {" USB", REG_SZ, false},
        {"US", REG_SZ, false},
        {"", REG_SZ, false},
        {"USB" + std::string(252, 'x'), REG_SZ, true},  // 255 characters and the terminator fit
        {"USB" + std::string(253, 'x'), REG_SZ, false}, // 256 do not
    };
    for (const auto& c : cases) {
        sim::Machine m;
        SetString(m.Key(kOsr21), "DisplayName", c.name, c.type);
        sim::UseMachine use(m);
        EXPECT_EQ(CSetupUtil().IsUsbSupplementInstalled(), c.installed ? TRUE : FALSE) << c.name.size() << " " << c.name.substr(0, 20);
        EXPECT_EQ(m.openRegistryKeys, 0);
    }
}

TEST(Usb, MissingOrUnreadableEntryIsNotInstalled) {
    sim::Machine noKey;
    sim::Machine noValue;
    SetString(noValue.Key(kOsr21), "Publisher", "USB");
    sim::Machine locked;
    SetString(locked.Key(kOsr21), "DisplayName", "USB");
    locked.Key(kOsr21).openFails = true;
    sim::Machine shortBinary; // two bytes: the third must not be read from an unset buffer
    shortBinary.Key(kOsr21).values["DisplayName"] = sim::RegValue{REG_BINARY, "US"};
    for (sim::Machine* m : {&noKey, &noValue, &locked, &shortBinary}) {
        sim::UseMachine use(*m);
        EXPECT_FALSE(CSetupUtil().IsUsbSupplementInstalled());
        EXPECT_EQ(m->openRegistryKeys, 0);
    }
    // Read rights are enough: a user without administrator rights on NT.
    sim::Machine user;
    SetString(user.Key(kOsr21), "DisplayName", "USB");
    user.Key(kOsr21).adminOnlyFullAccess = true;
    sim::UseMachine use(user);
    EXPECT_TRUE(CSetupUtil().IsUsbSupplementInstalled());
}

namespace {

struct UsbMsg : ::testing::Test {
    sim::Machine m;
    UsbMsg() {
        m.currentDirectory = "D:\\CD";
        m.files["D:\\CD\\SETUP.INI"] =
            "[Application]\nW98=ShowUSBMsg,showusbmsg2,ShowMsg\nNT40=ShowUSBMsg,ShowMsg\n"
            "[Message]\nShowUSBMsg=no usb\nshowusbmsg2=no usb 2\nShowMsg=reached\n";
    }
};

using Texts = std::vector<std::string>;

} // namespace

TEST_F(UsbMsg, AnswersAndThePresenceOfTheSupplement) {
    struct {
        bool installed;
        std::vector<int> answers;
        Texts shown;
        int quitRequests;
    } cases[] = {
        {true, {}, {"reached"}, 1},
        {false, {IDOK, IDOK}, {"no usb", "no usb 2", "reached"}, 1},
        {false, {IDOK, IDCANCEL}, {"no usb", "no usb 2"}, 2},
        {false, {IDCANCEL}, {"no usb"}, 2},
    };
    for (const auto& c : cases) {
        sim::Machine run = m;
        if (c.installed) SetString(run.Key(kOsr21), "DisplayName", "USB Supplement");
        for (int a : c.answers) run.answers.push_back(a);
        EXPECT_EQ(sim::RunSetup(run), 0);
        EXPECT_EQ(theApp.m_bUsbSupplement, c.installed ? 1 : 0);
        Texts shown;
        for (const auto& b : run.messageBoxes) shown.push_back(b.text);
        EXPECT_EQ(shown, c.shown) << c.installed << " " << c.answers.size();
        for (const auto& b : run.messageBoxes)
            EXPECT_EQ(b.style, b.text == "reached" ? (UINT)(MB_OK | MB_ICONEXCLAMATION)
                                                   : (UINT)(MB_OKCANCEL | MB_ICONEXCLAMATION)) << b.text;
        EXPECT_EQ(run.quitRequests, c.quitRequests);
    }
}

TEST_F(UsbMsg, TestedOnEveryVersionEvenWithoutAScript) {
    for (const char* version : {"win95", "nt40", "win10"}) {
        sim::Machine run;
        run.SetVersion(version);
        SetString(run.Key(kOsr21), "DisplayName", "USB");
        sim::RunSetup(run);
        EXPECT_EQ(theApp.m_bUsbSupplement, 1) << version;
    }
}

// The simulated registry answers as Win32 does.
TEST(Registry, SizesEndsAndRights) {
    sim::Machine m;
    m.Key("A\\Long");
    m.Key("A\\b");
    m.Key("A").values["v"] = sim::RegValue{REG_SZ, std::string("four", 5)};
    m.Key("Locked").openFails = true;
    m.Key("Admin").adminOnlyFullAccess = true;
    sim::UseMachine use(m);
    HKEY k;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "a", 0, KEY_READ, &k), ERROR_SUCCESS); // names in any case
    char name[8];
    DWORD size = 4;
    EXPECT_EQ(RegEnumKeyExA(k, 1, name, &size, NULL, NULL, NULL, NULL), ERROR_MORE_DATA); // "Long" needs 5
    size = 5;
    ASSERT_EQ(RegEnumKeyExA(k, 1, name, &size, NULL, NULL, NULL, NULL), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Long");
    EXPECT_EQ(size, 4u);
    size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(k, 2, name, &size, NULL, NULL, NULL, NULL), ERROR_NO_MORE_ITEMS);

    BYTE data[8];
    DWORD type = 0, dataSize = 4;
    EXPECT_EQ(RegQueryValueExA(k, "v", NULL, &type, data, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 5u);
    dataSize = sizeof data;
    ASSERT_EQ(RegQueryValueExA(k, "V", NULL, &type, data, &dataSize), ERROR_SUCCESS);
    EXPECT_STREQ((char*)data, "four");
    EXPECT_EQ(RegQueryValueExA(k, "none", NULL, &type, data, &dataSize), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);
    EXPECT_EQ(m.openRegistryKeys, 0);

    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A\\Missing", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Locked", 0, KEY_READ, &k), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Admin", 0, KEY_ALL_ACCESS, &k), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Admin", 0, KEY_ENUMERATE_SUB_KEYS, &k), ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_EQ(m.openRegistryKeys, 0);
}
