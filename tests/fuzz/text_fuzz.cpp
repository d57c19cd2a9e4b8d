// The platform-free text work of the programs, each compared with a plain
// reading of its rule: comma splitting, the decimal reader, the message
// escapes, the fields of a DetectCard entry and the helper's command line.
// The input's last byte picks the function; every output goes to a heap buffer of
// exactly its documented size, so any write past it is reported.
#include "framework/fields.h"
#include "setup/cardentry.h"
#include "setup/decimal.h"
#include "setup/escapes.h"
#include "setup/helpercmd.h"
#include "tests/fuzz/check.h"
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <vector>

namespace {

std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        if (comma > at) fields.push_back(text.substr(at, comma - at));
        at = comma + 1;
    }
    return fields;
}

void Split(FuzzedDataProvider& in) {
    size_t size = in.ConsumeIntegralInRange<size_t>(0, 300);
    std::string text = in.ConsumeRemainingBytesAsString().c_str(); // as C text: up to a NUL
    std::vector<std::string> expected = Fields(text);
    std::unique_ptr<char[]> field(new char[size]);
    const char* pos = text.c_str();
    for (size_t i = 0;; ++i) {
        // Built only for a failed check: inputs run to kilobytes.
        auto context = [&] { return fuzz::Shown(text) + " size " + std::to_string(size) + " field " + std::to_string(i); };
        bool found = NextField(&pos, field.get(), size);
        FUZZ_CHECK(pos >= text.c_str() && pos <= text.c_str() + text.size(), context());
        if (i == expected.size()) {
            FUZZ_CHECK(!found && *pos == '\0', context());
            if (size) FUZZ_CHECK(field[0] == '\0', context());
            break;
        }
        FUZZ_CHECK(found, context());
        if (size) FUZZ_CHECK(field.get() == expected[i].substr(0, size - 1), context() + " gave " + fuzz::Shown(field.get()));
    }
}

// Signed decimal up to the first non-digit, after C white space and one sign;
// wraps modulo 2^32.
int Decimal(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::strchr(" \t\n\v\f\r", text[i]) && text[i]) ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = (value * 10 + (text[i] - '0')) & 0xFFFFFFFFu;
    if (negative) value = (0x100000000ull - value) & 0xFFFFFFFFu;
    return (int)(uint32_t)value;
}

void ReadDecimal(FuzzedDataProvider& in) {
    std::string text = in.ConsumeRemainingBytesAsString().c_str();
    FUZZ_CHECK(ReadSignedDecimal(text.c_str()) == Decimal(text), fuzz::Shown(text));
}

// The rule as written: search from the start for the first escape, rebuild,
// search again; all backslash-n first, then all backslash-t.
std::string Escapes(std::string text) {
    for (size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\r\n");
    for (size_t at; (at = text.find("\\t")) != std::string::npos;) text.replace(at, 2, "\t");
    return text;
}

void ExpandEscapes(FuzzedDataProvider& in) {
    std::string text = in.ConsumeBytesAsString(511).c_str(); // a [Message] value
    std::unique_ptr<char[]> buffer(new char[text.size() + 1]);
    std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
    ExpandMessageEscapes(buffer.get());
    FUZZ_CHECK(buffer.get() == Escapes(text), fuzz::Shown(text) + " gave " + fuzz::Shown(buffer.get()));
}

void CardEntry(FuzzedDataProvider& in) {
    std::string entry = in.ConsumeBytesAsString(255).c_str();
    std::vector<std::string> fields = Fields(entry);
    unsigned short vendor = 0x5a5a, device = 0x5a5a;
    bool ids = ReadCardIds(entry.c_str(), &vendor, &device);
    FUZZ_CHECK(ids == (fields.size() >= 2), fuzz::Shown(entry));
    if (ids) FUZZ_CHECK(vendor == (Decimal(fields[0]) & 0xFFFF) && device == (Decimal(fields[1]) & 0xFFFF), fuzz::Shown(entry));
    std::unique_ptr<char[]> busType(new char[8]);
    int flag = -1;
    ReadCardFields(entry.c_str(), busType.get(), 8, &flag);
    std::string third = fields.size() >= 3 ? fields[2].substr(0, 7) : "";
    FUZZ_CHECK(busType.get() == third, fuzz::Shown(entry));
    FUZZ_CHECK(flag == (fields.size() >= 4 && fields[3][0] == '1'), fuzz::Shown(entry));
}

void HelperCommandLine(FuzzedDataProvider& in) {
    size_t size = in.ConsumeIntegralInRange<size_t>(1, 600);
    int flag = in.ConsumeIntegral<int>();
    std::string deviceKey = in.ConsumeRandomLengthString(300);
    std::string location = in.ConsumeRandomLengthString(300);
    std::string osDirectory = in.ConsumeRandomLengthString(300);
    char expected[2048];
    std::snprintf(expected, sizeof expected, "fitter16.exe Enum\\PCI\\%s %s %s %d", deviceKey.c_str(),
                  location.c_str(), osDirectory.c_str(), flag);
    std::unique_ptr<char[]> out(new char[size]);
    std::memset(out.get(), 'Z', size);
    bool fits = FormatHelperCommandLine(out.get(), size, deviceKey.c_str(), location.c_str(), osDirectory.c_str(), flag);
    auto context = [&] { return std::string(expected) + " size " + std::to_string(size); };
    FUZZ_CHECK(fits == (std::strlen(expected) < size), context());
    if (fits) FUZZ_CHECK(std::strcmp(out.get(), expected) == 0, context() + " gave " + fuzz::Shown(out.get()));
    else FUZZ_CHECK(out[0] == 'Z', context()); // nothing written
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0: Split(in); break;
    case 1: ReadDecimal(in); break;
    case 2: ExpandEscapes(in); break;
    case 3: CardEntry(in); break;
    case 4: HelperCommandLine(in); break;
    }
    return 0;
}
