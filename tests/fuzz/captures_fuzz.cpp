// The readers of what an author captures on a real PC, on arbitrary bytes:
// `lspci -n` output (last byte even) and a REGEDIT4 export (odd). Findings:
// a crash, a sanitizer report or an exception; an error that names no line
// of the file; a card outside what the configuration ports can address, or
// two at one location; a registry entry without its key.
#include "tests/fuzz/check.h"
#include "tools/pkgtool/formats/captures.h"
#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

// "line N: ..." with N a line of the text, or one of the whole-file errors.
bool NamesALine(const std::string& error, int lines, const char* whole) {
    if (error.empty() || error == whole) return true;
    if (error.compare(0, 5, "line ") != 0) return false;
    const int n = std::atoi(error.c_str() + 5);
    return n >= 1 && n <= lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size - 1);
    const int lines = int(std::count(input.begin(), input.end(), '\n')) + 1;
    if (data[size - 1] % 2 == 0) {
        std::vector<PciCard> cards;
        std::vector<std::string> notes;
        const std::string error = ReadLspci(input, cards, notes);
        // A capture without a function is refused as a whole.
        FUZZ_CHECK(NamesALine(error, lines, "") || error.rfind("no function line", 0) == 0 ||
                       error.rfind("every function of the capture", 0) == 0,
                   fuzz::Shown(input) + " gave " + error);
        std::set<unsigned> at;
        for (const PciCard& c : cards) {
            FUZZ_CHECK(c.bus <= 255 && c.slot <= 31 && c.function <= 7 && c.vendor <= 0xFFFF && c.device <= 0xFFFF,
                       fuzz::Shown(input));
            FUZZ_CHECK(at.insert(c.bus << 8 | c.slot << 3 | c.function).second, fuzz::Shown(input));
        }
    } else {
        std::vector<RegistryEntry> entries;
        std::vector<std::string> notes;
        const std::string error = ReadRegistryExport(input, entries, &notes);
        // UTF-16 exports are narrowed first: their lines are no more than the bytes' newlines.
        FUZZ_CHECK(NamesALine(error, lines, "not a registry export: it is empty"), fuzz::Shown(input) + " gave " + error);
        for (const RegistryEntry& e : entries) FUZZ_CHECK(!e.key.empty(), fuzz::Shown(input));
    }
    return 0;
}
