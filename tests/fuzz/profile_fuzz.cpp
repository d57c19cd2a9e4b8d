// The host's profile reader on arbitrary file bytes. The input is the
// section, the key and the default (each ended by a backslash and another
// character, libFuzzer's string format), then the file; its last bytes give
// the buffer size and which names are left out. The value is read into a
// buffer of exactly that size, so any write past it is reported.
// Findings: a crash or sanitizer report; a result that is not the length of
// a terminated text inside the buffer; a read into a smaller buffer that is
// not the start of the same read into a large one.
#include "simwin/machine.h"
#include "tests/fuzz/check.h"
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>

namespace {

template <typename Context>
std::string Read(const std::string& file, const char* section, const char* key, const char* def, DWORD size,
                 const Context& context) {
    std::unique_ptr<char[]> buffer(new char[size ? size : 1]);
    std::memset(buffer.get(), 'Z', size ? size : 1);
    DWORD n = sim::ReadProfileString(&file, section, key, def, size ? buffer.get() : nullptr, size);
    if (size == 0) {
        FUZZ_CHECK(n == 0 && buffer[0] == 'Z', context());
        return std::string();
    }
    FUZZ_CHECK(n < size, context() + " returned " + std::to_string(n));
    FUZZ_CHECK(buffer[n] == '\0' && std::strlen(buffer.get()) == n, context());
    if (!section || !key) FUZZ_CHECK(n == 0 && (size < 2 || buffer[1] == '\0'), context());
    return std::string(buffer.get(), n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string section = in.ConsumeRandomLengthString(300);
    std::string key = in.ConsumeRandomLengthString(300);
    std::string def = in.ConsumeRandomLengthString(600);
    DWORD bufferSize = in.ConsumeIntegralInRange<DWORD>(0, 600);
    unsigned omit = in.ConsumeIntegralInRange(0u, 15u);
    std::string file = in.ConsumeRemainingBytesAsString();
    const char* s = omit == 1 ? nullptr : section.c_str();
    const char* k = omit == 2 ? nullptr : key.c_str();
    const char* d = omit == 3 ? nullptr : def.c_str();
    auto context = [&] { // built only for a failed check
        return "section " + fuzz::Shown(section) + " key " + fuzz::Shown(key) + " default " + fuzz::Shown(def) +
               " size " + std::to_string(bufferSize) + " file " + fuzz::Shown(file);
    };

    std::string cut = Read(file, s, k, d, bufferSize, context);
    // Nothing is longer than the file or the default; their sum is room enough.
    std::string whole = Read(file, s, k, d, (DWORD)(file.size() + def.size() + 2), context);
    FUZZ_CHECK(whole.compare(0, cut.size(), cut) == 0,
               context() + " cut " + fuzz::Shown(cut) + " whole " + fuzz::Shown(whole));
    return 0;
}
