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

struct Machine;
struct Process;

struct Hang {
    std::string why;
};

// A program that the simulated PC can start, found by its file name (or by
// its full path). start runs at creation; it may schedule the program's
// behaviour on the clock and must eventually call Machine::EndProcess, or
// the program runs for ever. Returning false makes the creation fail.
struct ProgramModel {
    std::function<bool(Machine&, Process&)> start;
};

struct Process {
    DWORD id = 0;
    DWORD mainThreadId = 0;
    std::string applicationName; // as given to CreateProcessA; empty for none
    std::string commandLine;
    std::string currentDirectory; // as given to CreateProcessA, or the creator's
    DWORD creationFlags = 0;
    STARTUPINFOA startup = {};
    bool inheritHandles = false;
    bool running = true;
    DWORD exitCode = STILL_ACTIVE;
    uint64_t startedMs = 0, endedMs = 0;
    uint64_t idleAtMs = 0; // WaitForInputIdle returns once the clock reaches this
};

// A window: top-level (in the z-order list) or a control of another window.
struct Window {
    HWND handle = nullptr;
    DWORD processId = 0, threadId = 0;
    std::string className, text;
    RECT rect = {0, 0, 100, 100};
    LONG style = WS_VISIBLE;
    HWND owner = nullptr;  // top-level: its owner; control: its parent
    int controlId = 0;
    bool isControl = false;
    std::vector<HWND> controls;
    // Behaviour: BM_CLICK on a control, WM_CLOSE on a window, WM_PASTE, ...
    // onMessage answers at once; onMessageAsync answers through its Reply,
    // perhaps much later (a click that opens a modal dialog is answered when
    // the dialog has closed). Without either, WM_CLOSE ends the window.
    typedef std::function<void(LRESULT)> Reply;
    std::function<LRESULT(Machine&, Window&, UINT, WPARAM, LPARAM)> onMessage;
    std::function<void(Machine&, Window&, UINT, WPARAM, LPARAM, Reply)> onMessageAsync;
    // A modal dialog: what its opener does once it has ended with a result.
    std::function<void(Machine&, int)> onEnd;
    bool modal = false;
    bool destroyed = false;
    // Its program destroys it just as another asks which thread made it.
    bool vanishesWhenExamined = false;
};

// The process id of "another program" whose windows tests put on the screen.
enum : DWORD { kOtherProgramId = 0x7000 };

struct ShellOpen {
    std::string verb, file, parameters, directory;
    int show = 0;
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
    // The ANSI code page: 1252 and the like are single-byte; 932, 936, 949
    // and 950 are double-byte, with their lead-byte ranges.
    UINT codePage = 1252;
    std::string moduleFileName = "C:\\PKG\\setup.exe";
    std::string systemDirectory = "C:\\WINDOWS\\SYSTEM"; // SetVersion: C:\WINNT\system32 on the NT family
    std::map<UINT, std::string> stringResources;
    UINT errorMode = 0;

    // Files by Windows path, case-insensitive; INI files are read from here.
    std::map<std::string, std::string, NoCaseLess> files;
    std::string* FindFile(const std::string& windowsPath);
    int profileReads = 0;
    // Fault injection: the medium is taken out once this many profile reads
    // have been made; every file is gone from the next read on.
    int filesVanishAfterReads = -1;

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
    // How long the user reads a box before answering, in virtual time; the
    // box's modal loop retrieves the thread's messages meanwhile.
    uint64_t userAnswerMs = 1000;

    // Completions of SendMessageCallbackA that have arrived, delivered only
    // while the program retrieves messages.
    struct Completion {
        SENDASYNCPROC callback;
        HWND hwnd;
        UINT message;
        ULONG_PTR data;
        LRESULT result;
    };
    std::deque<Completion> completions;
    int completionsDelivered = 0;
    void DeliverCompletions(); // runs those there are, and those that arrive meanwhile

    std::string clipboard;

    // The thread's message queue.
    bool quitPosted = false;
    int quitCode = 0;
    int quitRequests = 0;
    std::deque<MSG> posted;

    // Virtual clock. Events scheduled on it run, in time order, as waits
    // and sleeps move it past them.
    uint64_t nowMs = 0;
    void Advance(uint64_t ms);
    typedef std::function<void(Machine&)> Event;
    void At(uint64_t ms, Event event);
    bool RunNextEvent(); // jumps to the next event; false when none is left
    // After a program has ended the others go on: what was already sent to
    // them (due now) is handled; nothing later is.
    void Settle();
    std::multimap<uint64_t, Event> timeline;
    // A wait with no time limit on something that can never come, or a
    // clock past clockLimitMs, would hang a real PC: the model counts it and
    // throws Hang, which ends the run (tests/support catches it).
    int hangs = 0;
    uint64_t clockLimitMs = 24ull * 3600 * 1000;
    // Platform calls made on this machine: nearly every Win32 function of
    // the model starts at Current(), which counts them. Past callLimit (when
    // not 0) the run is hung too, so a loop that never moves the clock ends.
    uint64_t platformCalls = 0;
    uint64_t callLimit = 0;
    [[noreturn]] void Hung(const std::string& why);

    // Programs that can be started, and the processes that were.
    std::map<std::string, ProgramModel, NoCaseLess> programs;
    std::deque<Process> processes; // a deque: references stay valid as programs start others
    Process* FindProcess(DWORD id);
    Process* ProcessOfHandle(HANDLE h);
    void EndProcess(DWORD id, DWORD exitCode);
    std::vector<std::string> directories; // besides those that hold files
    bool DirectoryExists(const std::string& path);
    int openHandles = 0;
    DWORD nextId = 0x100;

    // Windows: top-level ones in z-order, topmost first.
    std::map<HWND, Window> windows;
    std::vector<HWND> zOrder;
    // EnumWindows and EnumThreadWindows hand windows out bottom first.
    bool enumReversed = false;
    HWND CreateTopLevel(DWORD processId, const std::string& className, const RECT& rect, LONG style, HWND owner = nullptr);
    HWND AddControl(HWND parent, int id, const std::string& className = "Button");
    void DestroyWindowModel(HWND hwnd);
    // Moves a top-level window to the top of the z-order or to its bottom.
    void Restack(HWND hwnd, bool toTop);
    // Opens a modal dialog of a program: a pop-up owned by owner; then runs
    // when EndDialogModel ends it (not when its process dies).
    HWND OpenModal(DWORD processId, HWND owner, const std::string& className, const RECT& rect,
                   std::function<void(Machine&, int)> then);
    void EndDialogModel(HWND dialog, int result);
    // A sent message reaching a window's behaviour.
    void Dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Window::Reply reply);
    Window* FindWindowModel(HWND hwnd);
    int screenWidth = 1024, screenHeight = 768;
    HCURSOR cursor = nullptr;

    // The shell and the system.
    std::vector<ShellOpen> shellOpens;
    std::vector<UINT> exitWindowsRequests;
    // On the NT family ExitWindowsEx needs the shutdown privilege enabled in
    // the process's token; a user may hold it (disabled, as it starts) or
    // not at all. Windows 95 and 98 have no tokens: their ADVAPI32 exports
    // the token functions only as stubs that fail.
    bool shutdownPrivilegeHeld = true;
    bool shutdownPrivilegeEnabled = false;
    DWORD lastError = 0;

    // Everything observable, one line an event, for transcripts and tests.
    std::vector<std::string> events;
    void Record(const std::string& event);
    // Also record each profile read ("read\tSECTION\tKEY\tVALUE") and each
    // registry key opened ("registry open\tPATH"): what a dry run explains.
    bool recordReads = false;
};

// The handle of the process's access token (the NT family).
extern HANDLE const kTokenHandle;

// The lead bytes of a double-byte ANSI code page (932, 936, 949, 950):
// IsDBCSLeadByte's table.
bool IsLeadByteOf(unsigned codePage, unsigned char c);

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
