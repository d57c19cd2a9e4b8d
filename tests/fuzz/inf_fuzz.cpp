// The driver INF reader on arbitrary file bytes, leniently and as each
// target reads it. Findings: a crash, a sanitizer report or an exception; a
// card outside the 16-bit ids or at a line the file does not have; a target
// card the lenient reading lacks; a lenient card that a target neither
// finds nor says why it misses; a refused file that yields cards or no
// reason.
#include "tests/fuzz/check.h"
#include "tools/pkgtool/formats/inffile.h"
#include <algorithm>
#include <set>

namespace {

typedef std::pair<unsigned, unsigned> Ids;

void CheckCards(const std::vector<pkgcheck::InfCard>& cards, int lines, const std::string& input) {
    std::set<Ids> seen;
    for (const pkgcheck::InfCard& c : cards) {
        FUZZ_CHECK(c.vendor <= 0xFFFF && c.device <= 0xFFFF, fuzz::Shown(input));
        FUZZ_CHECK(c.line >= 1 && c.line <= lines, fuzz::Shown(input) + " line " + std::to_string(c.line));
        FUZZ_CHECK(seen.insert({c.vendor, c.device}).second, fuzz::Shown(input) + " twice");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // Lines as any reader counts them, UTF-16 files by their characters.
    const int lines = int(std::count(input.begin(), input.end(), '\n')) + 1;
    const pkgcheck::InfFile inf = pkgcheck::ReadInf(input);
    CheckCards(inf.cards, lines, input);
    std::set<Ids> lenient;
    for (const pkgcheck::InfCard& c : inf.cards) lenient.insert({c.vendor, c.device});
    for (pkgcheck::InfReader r : {pkgcheck::InfReader::kWin9x, pkgcheck::InfReader::kNt4}) {
        const pkgcheck::InfReading& reading = inf.As(r);
        CheckCards(reading.cards, lines, input);
        FUZZ_CHECK(reading.takesFile || (reading.cards.empty() && !reading.whyNot.empty()), fuzz::Shown(input));
        std::set<Ids> found;
        for (const pkgcheck::InfCard& c : reading.cards) {
            FUZZ_CHECK(lenient.count({c.vendor, c.device}), fuzz::Shown(input));
            found.insert({c.vendor, c.device});
        }
        for (const auto& m : reading.missed) {
            FUZZ_CHECK(!m.second.empty() && !found.count({m.first.vendor, m.first.device}), fuzz::Shown(input));
            found.insert({m.first.vendor, m.first.device});
        }
        FUZZ_CHECK(found == lenient, fuzz::Shown(input));
        for (const pkgcheck::InfNotice& n : reading.notices)
            FUZZ_CHECK(n.line >= 0 && n.line <= lines && !n.code.empty(), fuzz::Shown(input));
    }
    return 0;
}
