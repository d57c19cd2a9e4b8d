#include "tools/pkgtool/formats/captures.h"

#include <algorithm>
#include <cstring>
#include <regex>
#include <set>
#include <sstream>
#include <strings.h>

namespace {

std::string At(int line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

} // namespace

std::string ReadLspci(const std::string& text, std::vector<PciCard>& cards, std::vector<std::string>& notes) {
    static const std::regex location(R"(^(?:([0-9a-fA-F]{4,8}):)?([0-9a-fA-F]{2}):([0-9a-fA-F]{2})\.([0-7])\s+(.*)$)");
    static const std::regex numeric(R"(^(?:Class\s+)?[0-9a-fA-F]{4}:\s+([0-9a-fA-F]{4}):([0-9a-fA-F]{4})\b.*$)");
    static const std::regex bracketed(R"(\[([0-9a-fA-F]{4}):([0-9a-fA-F]{4})\])");
    std::istringstream in(text);
    std::string line;
    std::set<unsigned> seen;
    int number = 0, otherDomains = 0;
    while (std::getline(in, line)) {
        ++number;
        line = TrimRight(line);
        // Blank lines, and the indented details of -v.
        if (line.empty() || line[0] == ' ' || line[0] == '\t') continue;
        std::smatch m, ids;
        if (line.compare(0, 5, "Slot:") == 0)
            return At(number, "lspci -vmm output, which is not read: capture the output of lspci -n");
        if (line.size() > 1024 || !std::regex_match(line, m, location))
            return At(number, "not a line of lspci -n output (BUS:DEVICE.FUNCTION CLASS: VENDOR:DEVICE)");
        const std::string rest = m[5].str();
        std::string vendor, device;
        if (std::regex_match(rest, ids, numeric)) {
            vendor = ids[1].str(), device = ids[2].str();
        } else {
            // -nn: the last bracketed pair is the card's, after the class's.
            for (auto it = std::sregex_iterator(rest.begin(), rest.end(), bracketed); it != std::sregex_iterator(); ++it)
                vendor = (*it)[1].str(), device = (*it)[2].str();
            if (vendor.empty()) return At(number, "no VENDOR:DEVICE pair; capture the output of lspci -n");
        }
        if (m[1].matched && std::stoul(m[1].str(), nullptr, 16) != 0) {
            ++otherDomains;
            continue;
        }
        PciCard c;
        c.bus = unsigned(std::stoul(m[2].str(), nullptr, 16));
        c.placed = true;
        c.slot = unsigned(std::stoul(m[3].str(), nullptr, 16));
        c.function = unsigned(std::stoul(m[4].str(), nullptr, 16));
        c.vendor = unsigned(std::stoul(vendor, nullptr, 16));
        c.device = unsigned(std::stoul(device, nullptr, 16));
        if (c.slot > 31) return At(number, "device number " + m[3].str() + " is past 1f");
        if (!seen.insert(c.bus << 8 | c.slot << 3 | c.function).second)
            return At(number, "a second function at " + m[2].str() + ":" + m[3].str() + "." + m[4].str());
        cards.push_back(c);
    }
    // Every PC's bus holds its host bridge at least: an empty capture is a
    // failed one, and --no-card says an empty bus outright.
    if (cards.empty())
        return otherDomains ? "every function of the capture sits outside PCI domain 0, out of the configuration "
                              "ports' reach: no card would be found"
                            : "no function line: the capture is empty, but lspci -n lists at least the host bridge "
                              "of any PC; capture it again (--no-card describes an empty bus)";
    if (otherDomains)
        notes.push_back(std::to_string(otherDomains) + " function(s) of the capture sit outside PCI domain 0, out of "
                        "the configuration ports' reach: left out.");
    return "";
}

namespace {

bool StartsNoCase(const std::string& s, const char* prefix) {
    return strncasecmp(s.c_str(), prefix, strlen(prefix)) == 0;
}

// regedit writes a UTF-16 export from version 5 on.
std::string Narrow(const std::string& raw) {
    if (raw.compare(0, 2, "\xff\xfe") != 0) return raw.compare(0, 3, "\xef\xbb\xbf") == 0 ? raw.substr(3) : raw;
    std::string out;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) out += raw[i + 1] ? '?' : raw[i];
    return out;
}

// "text" with \\ and \" escapes, at s[pos]; false when it is not closed.
bool QuotedText(const std::string& s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    for (++pos; pos < s.size(); ++pos) {
        if (s[pos] == '\\' && pos + 1 < s.size()) {
            out += s[++pos];
        } else if (s[pos] == '"') {
            ++pos;
            return true;
        } else {
            out += s[pos];
        }
    }
    return false;
}

bool HexBytes(const std::string& s, std::string& out) {
    std::istringstream in(s);
    std::string byte;
    while (std::getline(in, byte, ',')) {
        size_t b = byte.find_first_not_of(" \t"), e = byte.find_last_not_of(" \t");
        if (b == std::string::npos) return false;
        byte = byte.substr(b, e - b + 1);
        if (byte.size() > 2 || byte.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        out += char(std::stoul(byte, nullptr, 16));
    }
    return true;
}

} // namespace

namespace {

// The launcher finds a card's key by substring and with case (setup's
// CheckPCIKey). The DDKs' pages write hardware ids VEN_xxxx&DEV_xxxx in
// capitals; no document of the time found says how Windows 95/98 spell
// the keys they enumerate, so the note leaves keys regedit wrote alone.
bool HasSmallLetters(const std::string& s) {
    for (char c : s)
        if (c >= 'a' && c <= 'z') return true;
    return false;
}

void NoteSmallLetters(const std::vector<RegistryEntry>& entries, std::vector<std::string>* notes) {
    if (!notes) return;
    std::set<std::string> shown;
    bool anyPci = false;
    for (const RegistryEntry& e : entries) {
        if (!StartsNoCase(e.key, "Enum\\PCI\\")) continue;
        anyPci = true;
        std::string rest = e.key.substr(9);
        const size_t slash = rest.find('\\');
        if (slash != std::string::npos) rest = rest.substr(0, rest.find('\\', slash + 1));
        if (HasSmallLetters(rest)) shown.insert(rest);
    }
    if (!anyPci)
        notes->push_back("The export holds no key under Enum\\PCI, so CheckPCIKey finds no card in it; on the PC, "
                         "regedit /e PC.REG HKEY_LOCAL_MACHINE\\Enum\\PCI exports those keys.");
    if (shown.empty()) return;
    std::string list;
    int n = 0;
    for (const std::string& k : shown)
        if (n++ < 3) list += (list.empty() ? "" : ", ") + k;
    if (shown.size() > 3) list += " and " + std::to_string(shown.size() - 3) + " more";
    notes->push_back("Enum\\PCI keys of the export have small letters (" + list +
                     "). The launcher compares the card's VEN_xxxx&DEV_xxxx and its location with case, in "
                     "capitals, so CheckPCIKey does not find a card there; keys that regedit wrote are as the PC "
                     "holds them, so correct only keys edited by hand.");
}

} // namespace

std::string ReadRegistryExport(const std::string& raw, std::vector<RegistryEntry>& entries,
                               std::vector<std::string>* notes) {
    std::istringstream in(Narrow(raw));
    std::string line, key;
    bool header = false, inLocalMachine = false;
    int number = 0;
    while (std::getline(in, line)) {
        const int first = ++number;
        line = TrimRight(line);
        // A value continues on the next line after a final backslash.
        std::string more;
        while (!line.empty() && line.back() == '\\' && line[0] != '[' && std::getline(in, more)) {
            ++number;
            more = TrimRight(more);
            line.pop_back();
            line += more.substr(std::min(more.size(), more.find_first_not_of(" \t")));
        }
        if (line.empty() || line[0] == ';') continue;
        if (!header) {
            if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00") {
                std::string shown;
                for (char c : line.substr(0, 40)) shown += (unsigned char)c < 0x20 || (unsigned char)c >= 0x7f ? '?' : c;
                return At(first, "not a registry export: its first line is \"" + shown + (line.size() > 40 ? "..." : "") +
                                     "\", where regedit writes REGEDIT4 (Windows 95, 98 and NT 4.0) or \"Windows "
                                     "Registry Editor Version 5.00\" (later Windows)");
            }
            header = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') return At(first, "a key without its closing ]");
            std::string path = line.substr(1, line.size() - 2);
            inLocalMachine = false;
            for (const char* root : {"HKEY_LOCAL_MACHINE", "HKLM"}) {
                if (!StartsNoCase(path, root)) continue;
                std::string rest = path.substr(strlen(root));
                if (!rest.empty() && rest[0] != '\\') continue;
                key = rest.empty() ? "" : rest.substr(1);
                inLocalMachine = true;
            }
            if (inLocalMachine && !key.empty()) entries.push_back({key, false, "", {}});
            continue;
        }
        RegistryEntry e;
        e.key = key;
        e.hasValue = true;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!QuotedText(line, pos, e.valueName)) {
            return At(first, "neither [KEY] nor \"NAME\"=VALUE");
        }
        if (pos >= line.size() || line[pos] != '=') return At(first, "\"NAME\" without =VALUE");
        const std::string data = line.substr(pos + 1);
        sim::RegValue& v = e.value;
        if (data == "-") continue; // a deletion, which an export does not hold
        if (!data.empty() && data[0] == '"') {
            size_t at = 0;
            if (!QuotedText(data, at, v.data) || at != data.size()) return At(first, "a text value without its closing quote");
            v.type = REG_SZ;
            v.data += '\0';
        } else if (StartsNoCase(data, "dword:")) {
            std::string hex = data.substr(6);
            if (hex.size() != 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return At(first, "dword: takes eight hexadecimal digits");
            unsigned long n = std::stoul(hex, nullptr, 16);
            v.type = REG_DWORD;
            for (int i = 0; i < 4; ++i) v.data += char((n >> (8 * i)) & 0xFF);
        } else if (StartsNoCase(data, "hex")) {
            size_t colon = data.find(':');
            std::string kind = data.substr(3, colon == std::string::npos ? 0 : colon - 3);
            v.type = REG_BINARY;
            if (!kind.empty()) {
                static const std::regex type(R"(\(([0-9a-fA-F]{1,8})\))");
                std::smatch m;
                if (!std::regex_match(kind, m, type)) return At(first, "hex(TYPE): with TYPE in hexadecimal");
                v.type = DWORD(std::stoul(m[1].str(), nullptr, 16));
            }
            if (colon == std::string::npos || (colon + 1 < data.size() && !HexBytes(data.substr(colon + 1), v.data)))
                return At(first, "hex: takes bytes as two hexadecimal digits separated by commas");
        } else {
            return At(first, "a value is \"TEXT\", dword:, hex: or hex(TYPE):");
        }
        if (inLocalMachine && !key.empty()) entries.push_back(e);
    }
    if (!header) return "not a registry export: it is empty";
    NoteSmallLetters(entries, notes);
    return "";
}
