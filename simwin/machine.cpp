#include "simwin/machine.h"
#include <cstdio>
#include <strings.h>

namespace sim {

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

Machine::Machine() {}
Machine::~Machine() {}

bool Machine::SetVersion(const std::string& name) {
    static const struct {
        const char* name;
        DWORD platform, major, minor, build;
        const char* csd;
    } table[] = {
        {"win95", 1, 4, 0, 950, ""},
        {"win98", 1, 4, 10, 1998, " A "},
        {"winme", 1, 4, 90, 3000, " "},
        {"nt351", 2, 3, 51, 1057, "Service Pack 5"},
        {"nt40", 2, 4, 0, 1381, "Service Pack 6a"},
        {"win2k", 2, 5, 0, 2195, "Service Pack 4"},
        {"winxp", 2, 5, 1, 2600, "Service Pack 3"},
        {"win7", 2, 6, 1, 7601, "Service Pack 1"},
        {"win10", 2, 10, 0, 19043, ""},
    };
    for (const auto& v : table) {
        if (strcasecmp(v.name, name.c_str()) == 0) {
            platformId = v.platform;
            majorVersion = v.major;
            minorVersion = v.minor;
            buildNumber = v.build;
            csdVersion = v.csd;
            systemDirectory = v.platform == VER_PLATFORM_WIN32_NT ? "C:\\WINNT\\system32" : "C:\\WINDOWS\\SYSTEM";
            return true;
        }
    }
    return false;
}

std::string* Machine::FindFile(const std::string& path) {
    std::string full = path;
    // A path from the root of the current drive.
    if (full.size() >= 1 && full[0] == '\\' && currentDirectory.size() >= 2 && currentDirectory[1] == ':')
        full = currentDirectory.substr(0, 2) + full;
    auto it = files.find(full);
    return it == files.end() ? nullptr : &it->second;
}

static std::vector<std::string> SplitKeyPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

RegKey& Machine::Key(const std::string& path) {
    RegKey* k = &localMachine;
    for (const auto& part : SplitKeyPath(path)) k = &k->subkeys[part];
    return *k;
}

RegKey* Machine::FindKey(const std::string& path) {
    RegKey* k = &localMachine;
    for (const auto& part : SplitKeyPath(path)) {
        auto it = k->subkeys.find(part);
        if (it == k->subkeys.end()) return nullptr;
        k = &it->second;
    }
    return k;
}

void Machine::AddPciFunction(unsigned bus, unsigned device, unsigned function, unsigned vendorId, unsigned deviceId) {
    pciFunctions[(bus & 0xFF) << 8 | (device & 0x1F) << 3 | (function & 7)] =
        (uint32_t)(deviceId & 0xFFFF) << 16 | (vendorId & 0xFFFF);
}

void Machine::Record(const std::string& event) {
    events.push_back(event);
}

static Machine g_default;
static Machine* g_current = &g_default;

Machine& Current() {
    Machine& m = *g_current;
    if (++m.platformCalls > m.callLimit && m.callLimit != 0) {
        m.callLimit = 0; // once: what unwinds from here may call again
        m.Hung("more platform calls than the limit");
    }
    return m;
}

UseMachine::UseMachine(Machine& m) : previous_(g_current) { g_current = &m; }
UseMachine::~UseMachine() { g_current = previous_; }

} // namespace sim
