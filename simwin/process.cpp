// Processes, the clock and the waits of the simulated PC.
#include "simwin/machine.h"
#include <cstring>

namespace sim {

void Machine::At(uint64_t ms, Event event) {
    timeline.emplace(ms, std::move(event));
}

bool Machine::RunNextEvent() {
    if (timeline.empty()) return false;
    auto it = timeline.begin();
    if (it->first > nowMs) nowMs = it->first;
    auto event = std::move(it->second);
    timeline.erase(it);
    event(*this);
    return true;
}

void Machine::Settle() {
    while (!timeline.empty() && timeline.begin()->first <= nowMs) RunNextEvent();
}

void Machine::Hung(const std::string& why) {
    ++hangs;
    Record("hang: " + why);
    throw Hang{why};
}

void Machine::Advance(uint64_t ms) {
    uint64_t until = nowMs + ms;
    if (until > clockLimitMs) Hung("the clock passed its limit");
    while (!timeline.empty() && timeline.begin()->first <= until) RunNextEvent();
    if (nowMs < until) nowMs = until;
}

Process* Machine::FindProcess(DWORD id) {
    for (auto& p : processes)
        if (p.id == id) return &p;
    return nullptr;
}

// A process handle is its id times eight; its thread's handle follows it.
HANDLE ProcessHandle(DWORD id) { return (HANDLE)(uintptr_t)(id * 8); }
HANDLE ThreadHandle(DWORD id) { return (HANDLE)(uintptr_t)(id * 8 + 4); }

Process* Machine::ProcessOfHandle(HANDLE h) {
    uintptr_t v = (uintptr_t)h;
    if (v == 0 || v % 8 != 0) return nullptr;
    return FindProcess((DWORD)(v / 8));
}

void Machine::EndProcess(DWORD id, DWORD code) {
    Process* p = FindProcess(id);
    if (!p || !p->running) return;
    p->running = false;
    p->exitCode = code;
    p->endedMs = nowMs;
    // Its windows go with it.
    std::vector<HWND> gone;
    for (auto& w : windows)
        if (w.second.processId == id && !w.second.destroyed) gone.push_back(w.first);
    for (HWND h : gone) DestroyWindowModel(h);
    Record("process ended: " + p->commandLine + " with " + std::to_string((int32_t)code));
}

static std::string TrimSlash(std::string s) {
    if (s.size() > 3 && s.back() == '\\') s.pop_back();
    return s;
}

bool Machine::DirectoryExists(const std::string& path) {
    NoCaseLess less;
    auto same = [&](const std::string& a, const std::string& b) { return !less(a, b) && !less(b, a); };
    std::string p = TrimSlash(path);
    if (same(p, TrimSlash(currentDirectory))) return true;
    if (p.size() == 2 && p[1] == ':') return true;
    for (const auto& d : directories)
        if (same(p, TrimSlash(d))) return true;
    for (const auto& f : files)
        if (f.first.size() > p.size() && f.first[p.size()] == '\\' && same(f.first.substr(0, p.size()), p))
            return true;
    return false;
}

} // namespace sim

using sim::Current;

static std::string ImageOf(const char* commandLine) {
    const char* p = commandLine;
    std::string image;
    if (*p == '"') {
        for (++p; *p && *p != '"'; ++p) image += *p;
    } else {
        for (; *p && *p != ' ' && *p != '\t'; ++p) image += *p;
    }
    return image;
}

BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID, LPCSTR currentDirectory,
                    LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION info) {
    sim::Machine& m = Current();
    if (!application && !commandLine) {
        // Wine's process creation faults on this; the model refuses and counts it.
        m.Hung("CreateProcessA with neither application nor command line crashes the caller");
    }
    std::string line = commandLine ? commandLine : application;
    std::string image = application ? std::string(application) : ImageOf(line.c_str());
    if (currentDirectory && !m.DirectoryExists(currentDirectory)) {
        m.Record("start failed (directory): " + line);
        return FALSE;
    }
    auto it = m.programs.find(image);
    if (it == m.programs.end()) {
        // By characters: a second byte 0x5C of a double-byte name is no separator.
        size_t name = 0;
        for (size_t i = 0; i < image.size(); ++i) {
            if (sim::IsLeadByteOf(m.codePage, (unsigned char)image[i]) && i + 1 < image.size()) ++i;
            else if (image[i] == '\\' || image[i] == '/' || image[i] == ':') name = i + 1;
        }
        if (name) it = m.programs.find(image.substr(name));
    }
    if (it == m.programs.end()) {
        m.Record("start failed (not found): " + line);
        return FALSE;
    }
    sim::Process p;
    p.id = m.nextId;
    p.mainThreadId = m.nextId + 1;
    m.nextId += 4;
    p.applicationName = application ? application : "";
    p.commandLine = line;
    p.currentDirectory = currentDirectory ? currentDirectory : m.currentDirectory;
    p.creationFlags = creationFlags;
    p.inheritHandles = inheritHandles != FALSE;
    if (startupInfo) p.startup = *startupInfo;
    p.startedMs = m.nowMs;
    p.idleAtMs = m.nowMs;
    m.processes.push_back(p);
    m.Record("process started: " + line);
    sim::ProgramModel model = it->second; // the model may add programs while it runs
    if (model.start && !model.start(m, m.processes.back())) {
        m.processes.pop_back();
        m.Record("start failed (program refused): " + line);
        return FALSE;
    }
    DWORD id = p.id;
    if (info) {
        info->hProcess = sim::ProcessHandle(id);
        info->hThread = sim::ThreadHandle(id);
        info->dwProcessId = id;
        info->dwThreadId = id + 1;
    }
    m.openHandles += 2;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD ms) {
    sim::Machine& m = Current();
    sim::Process* p = m.ProcessOfHandle(handle);
    if (!p) return WAIT_FAILED;
    DWORD id = p->id;
    uint64_t deadline = ms == INFINITE ? UINT64_MAX : m.nowMs + ms;
    for (;;) {
        p = m.FindProcess(id);
        if (!p->running) return WAIT_OBJECT_0;
        bool due = !m.timeline.empty() && m.timeline.begin()->first <= deadline;
        if (!due) {
            if (ms != INFINITE) {
                m.nowMs = deadline;
                return WAIT_TIMEOUT;
            }
            m.Hung("waiting without limit for a process that never ends: " + p->commandLine);
        }
        m.RunNextEvent();
    }
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD code) {
    sim::Process* p = Current().ProcessOfHandle(process);
    if (!p) return FALSE;
    *code = p->exitCode;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    sim::Machine& m = Current();
    uintptr_t v = (uintptr_t)handle;
    if (handle == sim::kTokenHandle) {
        --m.openHandles;
        return TRUE;
    }
    if (v == 0 || v % 4 != 0 || !m.FindProcess((DWORD)(v / 8))) return FALSE;
    --m.openHandles;
    return TRUE;
}

// Idle: the model says when the program is ready for input; a program that
// has ended is idle at once.
DWORD WaitForInputIdle(HANDLE process, DWORD) {
    sim::Machine& m = Current();
    sim::Process* p = m.ProcessOfHandle(process);
    if (!p) return WAIT_FAILED;
    DWORD id = p->id;
    while (m.FindProcess(id)->running && m.FindProcess(id)->idleAtMs > m.nowMs) {
        uint64_t idle = m.FindProcess(id)->idleAtMs;
        if (!m.timeline.empty() && m.timeline.begin()->first <= idle) m.RunNextEvent();
        else m.nowMs = idle;
    }
    return 0;
}
