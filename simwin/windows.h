// Win32 declarations of the simulated PC. Names, types and values are the
// platform's own, so that program code compiles unchanged against either.
// Only what the programs use is here; the behaviour lives in machine.h.
#pragma once
#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define CONST const
#define TRUE 1
#define FALSE 0
#ifndef NULL
#define NULL 0
#endif

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef LONG HRESULT;
typedef WORD ATOM;

struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
struct HCURSOR__;
typedef HCURSOR__* HCURSOR;
typedef HCURSOR HICON;
struct HMENU__;
typedef HMENU__* HMENU;
typedef void* HANDLE;
typedef LONG LSTATUS;
typedef DWORD REGSAM;

struct FILETIME { DWORD dwLowDateTime, dwHighDateTime; };
typedef FILETIME* PFILETIME;
struct RECT { LONG left, top, right, bottom; };
typedef RECT* LPRECT;
struct POINT { LONG x, y; };
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
typedef OSVERSIONINFOA* LPOSVERSIONINFOA;

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved, lpDesktop, lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow, cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};
typedef STARTUPINFOA* LPSTARTUPINFOA;
struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;
struct SECURITY_ATTRIBUTES { DWORD nLength; LPVOID lpSecurityDescriptor; BOOL bInheritHandle; };
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

typedef void (CALLBACK* SENDASYNCPROC)(HWND, UINT, ULONG_PTR, LRESULT);
typedef BOOL (CALLBACK* WNDENUMPROC)(HWND, LPARAM);
typedef intptr_t (WINAPI* FARPROC)();

// Access tokens and privileges (the Windows NT family)
struct LUID { DWORD LowPart; LONG HighPart; };
typedef LUID* PLUID;
struct LUID_AND_ATTRIBUTES { LUID Luid; DWORD Attributes; };
struct TOKEN_PRIVILEGES { DWORD PrivilegeCount; LUID_AND_ATTRIBUTES Privileges[1]; };
typedef TOKEN_PRIVILEGES* PTOKEN_PRIVILEGES;
typedef HANDLE* PHANDLE;
#define TOKEN_QUERY 0x0008
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define SE_PRIVILEGE_ENABLED 0x00000002L
#define SE_SHUTDOWN_NAME "SeShutdownPrivilege"
#define ERROR_NOT_ALL_ASSIGNED 1300L
#define ERROR_PRIVILEGE_NOT_HELD 1314L

// Error mode
#define SEM_FAILCRITICALERRORS 0x0001
#define SEM_NOGPFAULTERRORBOX 0x0002
#define SEM_NOOPENFILEERRORBOX 0x8000

// Versions
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

// Waits and processes
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u
#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_FORCEONFEEDBACK 0x00000040
#define STARTF_USESTDHANDLES 0x00000100
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

// Registry
#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_READ 0x20019
#define KEY_ALL_ACCESS 0xF003F
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

// Messages
#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_COMMAND 0x0111
#define WM_COPY 0x0301
#define WM_PASTE 0x0302
#define WM_SETTEXT 0x000C
#define WM_USER 0x0400
#define BM_CLICK 0x00F5
#define EM_SETSEL 0x00B1
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// Windows
#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5
#define GWL_STYLE (-16)
#define WS_VISIBLE 0x10000000L
#define WS_CHILD 0x40000000L
#define WS_POPUP 0x80000000L
#define MAX_PATH 260
#define CW_USEDEFAULT ((int)0x80000000)
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define MAKEINTRESOURCEA(i) ((LPSTR)(ULONG_PTR)((WORD)(i)))
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDC_ARROW MAKEINTRESOURCEA(32512)

// Message boxes
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// Shut-down and shell
#define EWX_LOGOFF 0
#define EWX_SHUTDOWN 1
#define EWX_REBOOT 2
#define EW_RESTARTWINDOWS 0x0042
#define EW_REBOOTSYSTEM 0x0043
#define SW_HIDE 0
#define SW_SHOWNORMAL 1

// kernel32
BOOL GetVersionExA(LPOSVERSIONINFOA info);
DWORD GetVersion();
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, DWORD size, LPCSTR path);
UINT SetErrorMode(UINT mode);
LPSTR GetCommandLineA();
HMODULE GetModuleHandleA(LPCSTR name);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
BOOL CloseHandle(HANDLE handle);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();
DWORD GetLastError();
DWORD GetCurrentThreadId();
BOOL IsDBCSLeadByte(BYTE c);
UINT GetACP();
HANDLE GetCurrentProcess();
HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

// advapi32
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR className,
                   LPDWORD classSize, PFILETIME lastWrite);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG RegCloseKey(HKEY key);
BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD size,
                           PTOKEN_PRIVILEGES previous, LPDWORD returnSize);

// user32
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
void PostQuitMessage(int exitCode);
BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last);
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
DWORD WaitForInputIdle(HANDLE process, DWORD milliseconds);
HWND GetDesktopWindow();
HWND GetWindow(HWND hwnd, UINT command);
BOOL EnumThreadWindows(DWORD threadId, WNDENUMPROC proc, LPARAM param);
BOOL EnumWindows(WNDENUMPROC proc, LPARAM param);
HWND GetParent(HWND hwnd);
int GetClassNameA(HWND hwnd, LPSTR buffer, int size);
BOOL GetWindowRect(HWND hwnd, LPRECT rect);
LONG GetWindowLongA(HWND hwnd, int index);
DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId);
HWND GetDlgItem(HWND dialog, int id);
HWND FindWindowExA(HWND parent, HWND after, LPCSTR className, LPCSTR title);
BOOL IsWindow(HWND hwnd);
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL SendNotifyMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL SendMessageCallbackA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, SENDASYNCPROC callback, ULONG_PTR data);
BOOL SetForegroundWindow(HWND hwnd);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND hwnd);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
int GetSystemMetrics(int index);
int wsprintfA(LPSTR buffer, LPCSTR format, ...);
BOOL ExitWindowsEx(UINT flags, DWORD reserved);

// shell32
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show);
