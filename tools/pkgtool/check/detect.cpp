// DetectCard sections: numbered entries "vendor,device,bus type,helper
// flag,fifth field", identifiers in decimal.
#include "framework/text.h"
#include "setup/cardentry.h"
#include "setup/decimal.h"
#include "tools/pkgtool/check/checkers.h"
#include "tools/pkgtool/check/suggest.h"
#include "tools/pkgtool/check/valuetext.h"

#include <cctype>
#include <map>
#include <regex>

namespace pkgcheck {
namespace {

std::string Hex4(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(value >> shift) & 15];
    return out;
}

void CheckIdentifier(Sink& sink, int line, const std::string& field, const char* what) {
    // The reader skips white space and takes a sign and digits; the rest of
    // the field is ignored.
    std::string text = field;
    while (!text.empty() && std::isspace((unsigned char)text.back())) text.pop_back();
    size_t start = 0;
    while (start < text.size() && std::isspace((unsigned char)text[start])) ++start;
    text = text.substr(start);
    const unsigned read = unsigned(ReadSignedDecimal(field.c_str())) & 0xFFFF;
    const std::string reads = "it is read as " + std::to_string(read) + " (" + Hex4(read) + ")";
    static const std::regex decimal("[+-]?[0-9]+"), hex("(0[xX])?[0-9A-Fa-f]+[hH]?");
    if (std::regex_match(text, decimal)) {
        long long value = text.size() > 12 ? -1 : std::stoll(text);
        if (value < 0 || value > 65535) {
            const std::string fix = std::string("write the ") + what +
                                    " as the decimal number (0..65535) of the card's four hexadecimal digits";
            sink.Error(line, "identifier-range",
                       std::string("the ") + what + " " + Quoted(text) +
                           " is outside 0..65535; only its low 16 bits count, so " + reads + ": " + fix,
                       fix);
        } else if (text.size() > 1 && text[0] == '0') {
            std::string fix = std::string("write the ") + what + " as " + std::to_string(value);
            if (text.size() <= 4) fix += ", or as " + std::to_string(std::stol(text, nullptr, 16)) + " if " + text +
                                         " is hexadecimal";
            sink.Warning(line, "hex-identifier",
                         std::string("the ") + what + " " + Quoted(text) +
                             " has a leading zero, as hexadecimal identifiers do; identifiers are decimal and " +
                             reads + ": " + fix,
                         fix);
        }
        return;
    }
    if (std::regex_match(text, hex)) {
        std::string digits = text;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
        if (digits.back() == 'h' || digits.back() == 'H') digits.pop_back();
        const std::string fix = digits.size() <= 4 ? std::string("write the ") + what + " " + text + " in decimal: " +
                                                         std::to_string(std::stol(digits, nullptr, 16))
                                                   : std::string("write the ") + what +
                                                         " in decimal, from the card's four hexadecimal digits";
        sink.Error(line, "hex-identifier",
                   std::string("the ") + what + " " + Quoted(text) + " looks hexadecimal, but identifiers are decimal: " +
                       reads + "; " + fix,
                   fix);
    } else {
        const std::string fix = std::string("write the ") + what + " as a decimal number alone";
        sink.Error(line, "bad-identifier",
                   std::string("the ") + what + " " + Quoted(text) + " is not a decimal number: " + reads + "; " + fix,
                   fix);
    }
}

void CheckBlank(Sink& sink, int line, const std::string& field, int number, bool matters, const std::string& effect) {
    if (!StartsWithBlank(field) && !EndsWithBlank(field)) return;
    std::string where = "field " + std::to_string(number) + " " + Quoted(field) + " has a blank";
    const std::string fix = "write field " + std::to_string(number) + " as " + Quoted(TrimBlanks(field));
    if (matters)
        sink.Error(line, "blank-in-field", where + "; fields are not trimmed, so " + effect + ": " + fix, fix);
    else if (StartsWithBlank(field))
        sink.Warning(line, "blank-in-field",
                     where + " after the comma; fields are not trimmed, so the blank is kept: " + fix, fix);
}

void CheckEntry(const IniFile& ini, Sink& sink, const std::string& section, int n) {
    const std::string key = std::to_string(n);
    const int line = ini.KeyLine(section, key);
    const std::string entry = ReadChecked(ini, sink, section, key, 256, true);
    const std::vector<std::string> fields = SplitFields(entry);
    if (HasEmptyField(entry)) {
        const std::string fix = "fill every field of entry " + key + " of [" + section +
                                "]: vendor,device,bus type,helper flag,0";
        sink.Error(line, "empty-field",
                   "an empty field between commas is dropped and the later fields move forward (in 4660,,AGP,1,0 "
                   "the bus type is 1): " + fix,
                   fix);
    } else if (fields.size() < 2) {
        const std::string fix = "write entry " + key + " of [" + section + "] as " +
                                (fields.empty() ? std::string("vendor") : TrimBlanks(fields[0])) +
                                ",device,bus type,helper flag,0, identifiers in decimal";
        sink.Error(line, "card-missing-fields",
                   "the entry lacks the device identifier, so it never matches a card: " + fix, fix);
    } else if (fields.size() < 5) {
        // Said as the launcher's own parser reads the entry, so that the
        // two cannot disagree.
        const CardEntryReading r = ReadCardEntry(entry);
        const std::string reads = "where its card is on the bus, setup takes " + r.Describe();
        if (fields.size() == 4)
            sink.Note(line, "card-missing-fields",
                      "the entry has 4 fields of 5 (vendor,device,bus type,helper flag,fifth field); setup never "
                      "reads the fifth, so the entry works as written: " + reads);
        else {
            const std::string fix = "write " + Quoted(entry + (fields.size() == 2 ? ",PCI,1,0" : ",1,0")) +
                                    " with the bus type and helper flag this card needs";
            sink.Warning(line, "card-missing-fields",
                         "the entry has " + std::to_string(fields.size()) +
                             " fields of 5 (vendor,device,bus type,helper flag,fifth field); the missing ones read "
                             "as empty, so " + reads + ": " + fix,
                         fix);
        }
    }
    if (fields.size() >= 1) CheckIdentifier(sink, line, fields[0], "vendor identifier");
    if (fields.size() >= 2) CheckIdentifier(sink, line, fields[1], "device identifier");
    if (fields.size() >= 3) {
        const std::string& bus = fields[2];
        CheckBlank(sink, line, bus, 3, IsAgpBusType(TrimBlanks(bus).c_str()),
                   "it is not AGP and the location stays the scanned one instead of 000800");
        if (bus.size() > 7) {
            const std::string fix = std::string("write the bus type as ") +
                                    (IsAgpBusType(TrimBlanks(bus).c_str()) ? "AGP" : "PCI");
            sink.Warning(line, "bus-type-too-long",
                         "the bus type " + Quoted(bus) + " has " + std::to_string(bus.size()) +
                             " characters; the launcher keeps only 7: " + fix,
                         fix);
        }
    }
    if (fields.size() >= 4) {
        const std::string& flag = fields[3];
        CheckBlank(sink, line, flag, 4, StartsWithBlank(flag) && TrimBlanks(flag)[0] == '1',
                   "its first character is not 1 and the helper flag is 0");
    }
}

} // namespace

CardEntryReading ReadCardEntry(const std::string& entry) {
    CardEntryReading r;
    unsigned short vendor = 0, device = 0;
    r.namesCard = ReadCardIds(entry.c_str(), &vendor, &device);
    r.vendor = vendor, r.device = device;
    char busType[8];
    ReadCardFields(entry.c_str(), busType, sizeof busType, &r.helperFlag);
    r.busType = busType;
    r.agp = IsAgpBusType(busType);
    return r;
}

std::string CardEntryReading::Describe() const {
    if (!namesCard) return "no card (the entry lacks an identifier)";
    return std::string(agp ? "the location 000800 (bus type " + Quoted(busType) + ")"
                           : busType.empty() ? "the scanned location (no bus type)"
                                             : "the scanned location (bus type " + Quoted(busType) + ", not AGP)") +
           " and helper flag " + std::to_string(helperFlag);
}

void CheckDetectCardSection(const IniFile& ini, Sink& sink, const NamedSection& named) {
    const IniSection* section = ini.FindSection(named.name);
    if (!section) {
        const std::string near = NearestName(named.name, SectionNames(ini));
        const std::string fix = near.empty() ? "add the section [" + named.name +
                                                   "] with the entry 1=vendor,device,bus type,helper flag,0"
                                             : "rename [" + near + "] (line " +
                                                   std::to_string(ini.FindSection(near)->line) + ") to [" +
                                                   named.name + "]";
        sink.Error(named.listLine, "missing-section",
                   "the script has no section [" + named.name + "], so " + Quoted(named.name) +
                       " finds no card and always fails: " + fix,
                   fix);
        return;
    }
    const int count = CheckNumberedKeys(ini, sink, named.name, "the list of [" + named.name + "]");
    if (count == 0) {
        const std::string fix = "number the entries of [" + named.name + "] from 1=vendor,device,bus type,helper flag,0";
        sink.Error(section->line, "no-entry-1",
                   "[" + named.name + "] has no entry 1 (or it is empty); DetectCard reads the entries from 1 on, "
                   "so it finds no card and always fails: " + fix,
                   fix);
        return;
    }
    for (int n = 1; n <= count; ++n) CheckEntry(ini, sink, named.name, n);
    // DetectCard takes the first entry whose card is on the bus: a later
    // entry for the same vendor and device never decides bus type or flag.
    std::map<std::pair<unsigned, unsigned>, int> first;
    for (int n = 1; n <= count; ++n) {
        unsigned short v = 0, d = 0;
        if (!ReadCardIds(ini.Read(named.name, std::to_string(n), 256).c_str(), &v, &d)) continue;
        auto at = first.emplace(std::make_pair(v, d), n);
        const std::string fix = "keep one entry: remove entry " + std::to_string(n) + " of [" + named.name +
                                "], and give entry " + std::to_string(at.first->second) +
                                " the bus type that fits, or leave CheckPCIKey out of the list";
        if (!at.second)
            sink.Warning(ini.KeyLine(named.name, std::to_string(n)), "card-duplicate",
                         "entry " + std::to_string(n) + " names the card " + std::to_string(v) + "," +
                             std::to_string(d) + " of entry " + std::to_string(at.first->second) + " (line " +
                             std::to_string(ini.KeyLine(named.name, std::to_string(at.first->second))) +
                             "); DetectCard takes the first entry whose card is there, so entry " +
                             std::to_string(n) + " is never used. This launcher cannot tell an AGP card of a chip "
                             "from a PCI card of it. With bus type AGP, CheckPCIKey looks for the "
                             "instance 000800, which no document of the time confirms Windows names a card; with "
                             "PCI, for the slot where the card was found (BUS_bb&DEV_dd&FUNC_ff), which is how "
                             "Windows 95 and 98 name a card's instance: " + fix,
                         fix);
    }
}

} // namespace pkgcheck
