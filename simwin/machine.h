// The simulated PC behind the host build's Win32 functions: one Windows
// machine, as much of it as the programs rely on. A test builds a Machine,
// makes it current, runs a program through the framework exactly as Windows
// would, and then reads what the machine recorded. Everything is
// deterministic; time is a virtual clock that Sleep and waits advance.
#pragma once
#include "simwin/windows.h"
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    UINT style = 0;
    bool owned = false; // an owner window was given
    int answer = 0;
    uint64_t atMs = 0;
};

struct RegValue {
    DWORD type = REG_SZ;
    std::string data; // raw bytes; REG_SZ data includes its terminator
};

struct RegKey {
    std::map<std::string, RegKey, NoCaseLess> subkeys; // enumerated in name order, as Wine does
    std::map<std::string, RegValue, NoCaseLess> values;
    bool openFails = false;         // fault injection: cannot be opened at all
    bool adminOnlyFullAccess = false; // KEY_ALL_ACCESS refused, as for a user without rights on NT
};

struct Machine {
    Machine();
    ~Machine();

    // Reported version (GetVersionExA).
    DWORD platformId = VER_PLATFORM_WIN32_WINDOWS;
    DWORD majorVersion = 4;
    DWORD minorVersion = 10;
    DWORD buildNumber = 1998;
    std::string csdVersion = " A ";
    // Sets the four values of a Wine version name: win95, win98, nt40, nt351, win2k, winxp, win7, win10.
    bool SetVersion(const std::string& wineName);

    // The running process.
    std::string currentDirectory = "C:\\PKG";
    bool currentDirectoryFails = false;
    std::string commandLine = "setup.exe";
    std::string moduleFileName = "C:\\PKG\\setup.exe";
    std::map<UINT, std::string> stringResources;
    UINT errorMode = 0;

    // Files by Windows path, case-insensitive; INI files are read from here.
    std::map<std::string, std::string, NoCaseLess> files;
    std::string* FindFile(const std::string& windowsPath);
    int profileReads = 0;

    // Registry: HKEY_LOCAL_MACHINE.
    RegKey localMachine;
    RegKey& Key(const std::string& path); // creates the path
    RegKey* FindKey(const std::string& path);
    int openRegistryKeys = 0; // handles opened and not yet closed

    // PCI bus: configuration register 0 (device word << 16 | vendor word) by
    // function; every function not listed reads as all ones.
    std::map<uint32_t, uint32_t> pciFunctions; // key: bus << 8 | device << 3 | function
    void AddPciFunction(unsigned bus, unsigned device, unsigned function, unsigned vendorId, unsigned deviceId);
    uint32_t pciAddress = 0;
    uint64_t pciProbes = 0; // address writes to 0xCF8
    int portFaults = 0;     // port instructions executed where the platform faults them (NT)

    // Message boxes and the scripted user who answers them. An answer of 0,
    // or no answer left, means the box's default button.
    std::deque<int> answers;
    std::vector<MessageBoxRecord> messageBoxes;
    // Called while a box is open, with its modal loop retrieving messages.
    std::function<void()> onModalLoop;

    // The thread's message queue.
    bool quitPosted = false;
    int quitCode = 0;
    int quitRequests = 0;
    std::deque<MSG> posted;

    // Virtual clock.
    uint64_t nowMs = 0;
    void Advance(uint64_t ms) { nowMs += ms; }

    // Everything observable, one line an event, for transcripts and tests.
    std::vector<std::string> events;
    void Record(const std::string& event);
};

// The machine that the Win32 functions act on. Tests make one current for
// their scope.
Machine& Current();
class UseMachine {
public:
    explicit UseMachine(Machine& m);
    ~UseMachine();
private:
    Machine* previous_;
};

// Reads one value from INI file bytes as Wine's GetPrivateProfileStringA
// does; file == nullptr reads as a file without sections. Returns the number
// of characters copied, the value cut to size less one.
DWORD ReadProfileString(const std::string* file, const char* section, const char* key, const char* def,
                        char* buffer, DWORD size);

} // namespace sim
