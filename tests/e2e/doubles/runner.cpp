// runner.exe [options] <result-file> <working-dir|-> <command-line...>
//
// Starts one program and reports what only Windows can tell: the full 32-bit
// exit code (the Linux side sees 8 bits) and the process times.
//
// The command line is the rest of runner's own command line, verbatim, so the
// caller controls the quoting; "@<file>" instead reads it from a file, which
// keeps it safe from the re-quoting that starting runner from Linux applies.
//
// Options (before the result file):
//   --timeout=<ms>        time-out of the wait (default: env RUNNER_TIMEOUT_MS,
//                         else 60000); on time-out the program is terminated
//   --version=<v>         sets HKCU\Software\Wine Version before the start
//                         ("default" removes it, so Wine reports its default)
//   --app-version=<exe>=<v>  the same, for AppDefaults\<exe> only
//
// Result file, key=value lines: status (exited|timeout|createfailed),
// exit_code (decimal, unsigned), exit_code_hex, pid, user_ms, kernel_ms,
// cpu_ms, wall_ms, error (GetLastError when createfailed), cmdline,
// cwd_drive_type (GetDriveTypeA of the working directory's drive),
// program_attributes (GetFileAttributesA of the program named first).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Skips one argument of a Windows command line as the C runtime splits it.
const char* skip_arg(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    bool quoted = false;
    while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
        if (*p == '\\') {
            const char* s = p;
            while (*p == '\\') ++p;
            if (*p == '"' && ((p - s) % 2)) ++p;  // escaped quote
            continue;
        }
        if (*p == '"') quoted = !quoted;
        ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

bool set_version(const char* subkey, const char* value) {
    HKEY k;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr))
        return false;
    LONG rc;
    if (!lstrcmpiA(value, "default")) {
        rc = RegDeleteValueA(k, "Version");
        if (rc == ERROR_FILE_NOT_FOUND) rc = 0;
    } else {
        rc = RegSetValueExA(k, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            lstrlenA(value) + 1);
    }
    RegCloseKey(k);
    return rc == 0;
}

ULONGLONG ft_ms(const FILETIME& f) {
    return ((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000;
}

const DWORD kFindThreadsMs = 250;

class CpuSampler {
public:
    explicit CpuSampler(DWORD pid) : pid_(pid) {}
    ~CpuSampler() {
        for (Thread& t : threads_) CloseHandle(t.handle);
    }
    // findThreads: look for threads started since, with a snapshot of every
    // thread in the prefix (costly); else only read the known ones' times.
    void sample(bool findThreads) {
        HANDLE snap = findThreads ? CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0) : INVALID_HANDLE_VALUE;
        if (snap != INVALID_HANDLE_VALUE) {
            THREADENTRY32 te;
            te.dwSize = sizeof te;
            for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
                if (te.th32OwnerProcessID != pid_ || known(te.th32ThreadID)) continue;
                if (HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, te.th32ThreadID))
                    threads_.push_back({te.th32ThreadID, h, 0, 0});
            }
            CloseHandle(snap);
        }
        for (Thread& t : threads_) {
            FILETIME c, e, k, u;
            if (GetThreadTimes(t.handle, &c, &e, &k, &u) && ft_ms(k) + ft_ms(u) >= t.k + t.u) {
                t.k = ft_ms(k);
                t.u = ft_ms(u);
            }
        }
    }
    // The larger of the thread sum and what the system reports for the process.
    void totals(HANDLE process, ULONGLONG* k, ULONGLONG* u) const {
        ULONGLONG sk = 0, su = 0;
        for (const Thread& t : threads_) sk += t.k, su += t.u;
        FILETIME c, e, pk, pu;
        if (GetProcessTimes(process, &c, &e, &pk, &pu) && ft_ms(pk) + ft_ms(pu) > sk + su)
            sk = ft_ms(pk), su = ft_ms(pu);
        *k = sk;
        *u = su;
    }

private:
    struct Thread {
        DWORD id;
        HANDLE handle;
        ULONGLONG k, u;
    };
    bool known(DWORD id) const {
        for (const Thread& t : threads_)
            if (t.id == id) return true;
        return false;
    }
    DWORD pid_;
    std::vector<Thread> threads_;
};

std::string read_file(const char* path) {
    std::string s;
    FILE* f = fopen(path, "rb");
    if (!f) return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

void one_line(std::string& s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
}

}  // namespace

int main(int argc, char** argv) {
    DWORD timeout = 60000;
    if (const char* e = getenv("RUNNER_TIMEOUT_MS")) timeout = strtoul(e, nullptr, 10);
    int i = 1;
    const char* p = skip_arg(GetCommandLineA());  // runner itself
    for (; i < argc && !strncmp(argv[i], "--", 2); ++i, p = skip_arg(p)) {
        const char* a = argv[i];
        if (!strncmp(a, "--timeout=", 10)) {
            timeout = strtoul(a + 10, nullptr, 10);
        } else if (!strncmp(a, "--version=", 10)) {
            if (!set_version("Software\\Wine", a + 10)) return 4;
        } else if (!strncmp(a, "--app-version=", 14)) {
            std::string arg = a + 14;
            size_t eq = arg.rfind('=');
            if (eq == std::string::npos) return 2;
            std::string key = "Software\\Wine\\AppDefaults\\" + arg.substr(0, eq);
            if (!set_version(key.c_str(), arg.substr(eq + 1).c_str())) return 4;
        } else {
            fprintf(stderr, "runner: unknown option %s\n", a);
            return 2;
        }
    }
    if (argc - i < 3) {
        fprintf(stderr, "usage: runner.exe [options] <result-file> <working-dir|-> <command-line...>\n");
        return 2;
    }
    const char* result_path = argv[i];
    const char* cwd = strcmp(argv[i + 1], "-") ? argv[i + 1] : nullptr;
    p = skip_arg(skip_arg(p));
    std::string cmdline = (argc - i == 3 && argv[i + 2][0] == '@') ? read_file(argv[i + 2] + 1) : p;

    FILE* out = fopen(result_path, "wb");
    if (!out) return 3;
    std::string shown = cmdline;
    one_line(shown);
    fprintf(out, "cmdline=%s\n", shown.c_str());
    // Where the program starts from: its working directory's drive type
    // (5: a CD-ROM drive) and its file's attributes (bit 0: read-only).
    if (cwd && cwd[0] && cwd[1] == ':') {
        const char root[4] = {cwd[0], ':', '\\', 0};
        fprintf(out, "cwd_drive_type=%u\n", GetDriveTypeA(root));
    }
    std::string program = cmdline.substr(0, size_t(skip_arg(cmdline.c_str()) - cmdline.c_str()));
    while (!program.empty() && (program.back() == ' ' || program.back() == '\t')) program.pop_back();
    if (program.size() >= 2 && program.front() == '"') program = program.substr(1, program.size() - 2);
    fprintf(out, "program_attributes=0x%lX\n", GetFileAttributesA(program.c_str()));

    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    std::string buf = cmdline;  // CreateProcessA may write into it
    buf.push_back('\0');
    DWORD t0 = GetTickCount();
    if (cmdline.empty() ||
        !CreateProcessA(nullptr, &buf[0], nullptr, nullptr, TRUE, 0, nullptr, cwd, &si, &pi)) {
        fprintf(out, "status=createfailed\nerror=%lu\n", GetLastError());
        fclose(out);
        return 1;
    }
    fprintf(out, "pid=%lu\n", pi.dwProcessId);
    fflush(out);
    // Wine answers GetProcessTimes for another process with zeros, but
    // GetThreadTimes works while a thread lives: sample every thread during
    // the wait and keep each one's last figures. New threads are looked for
    // only every kFindThreadsMs: a thread snapshot costs the server a round
    // trip per thread in the whole prefix, and on every 20 ms wake it kept
    // the runner and the server busy half the time under an emulated CPU,
    // slowing the very programs it measures.
    CpuSampler cpu(pi.dwProcessId);
    DWORD w;
    DWORD searched = t0 - kFindThreadsMs;
    for (;;) {
        DWORD spent = GetTickCount() - t0;
        DWORD left = spent >= timeout ? 0 : timeout - spent;
        w = WaitForSingleObject(pi.hProcess, left < 20 ? left : 20);
        if (w == WAIT_TIMEOUT) {
            bool find = GetTickCount() - searched >= kFindThreadsMs;
            cpu.sample(find);
            if (find) searched = GetTickCount();
        }
        if (w != WAIT_TIMEOUT || left == 0) break;
    }
    ULONGLONG kms = 0, ums = 0;
    cpu.totals(pi.hProcess, &kms, &ums);
    const char* status = "exited";
    if (w != WAIT_OBJECT_0) {
        status = "timeout";
        TerminateProcess(pi.hProcess, 0xDEAD);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    DWORD wall = GetTickCount() - t0;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    fprintf(out, "status=%s\nexit_code=%lu\nexit_code_hex=0x%08lX\nuser_ms=%llu\nkernel_ms=%llu\ncpu_ms=%llu\nwall_ms=%lu\n",
            status, code, code, ums, kms, ums + kms, wall);
    fprintf(out, "end=1\n");
    fclose(out);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return w == WAIT_OBJECT_0 ? 0 : 1;
}
