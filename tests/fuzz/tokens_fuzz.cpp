// Path-token expansion: ExpandToken on its own with arbitrary values,
// tokens, replacements and buffer sizes, and the launcher's
// ExpandPathTokens with launch directories and [OS] texts up to the 255
// characters their buffers hold. Each is compared with the rule read
// plainly: every occurrence in the value as it was, leftmost first, is
// replaced, inserted text is never searched again (the [OS] pass runs over
// the result of the [CWD] pass), and a result that does not fit leaves the
// value as it was and reports it. Values live in heap buffers of exactly
// their size, so any write past one is reported.
#include "framework/text.h"
#include "framework/tokens.h"
#include "setup/setupapp.h"
#include "tests/fuzz/check.h"
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>

extern CSetupApp theApp;

namespace {

const size_t kWork = 512; // the work buffer of every expansion

std::string Replaced(const std::string& value, const std::string& token, const std::string& replacement) {
    if (token.empty()) return value;
    std::string out;
    size_t at = 0;
    for (size_t hit; (hit = value.find(token, at)) != std::string::npos; at = hit + token.size())
        out += value.substr(at, hit - at) + replacement;
    return out + value.substr(at);
}

const char* const kTokens[] = {"[CWD]", "[OS]", "[", "", "CWD]", "[CWD][CWD]"};

std::string Text(FuzzedDataProvider& in, size_t most) {
    return in.ConsumeRandomLengthString(most).c_str(); // as C text: up to a NUL
}

void OneToken(FuzzedDataProvider& in) {
    size_t size = in.ConsumeIntegralInRange<size_t>(1, 700);
    std::string token = in.ConsumeBool() ? std::string(in.PickValueInArray(kTokens)) : Text(in, 8);
    std::string replacement = Text(in, 300);
    std::string value = Text(in, size - 1);
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memcpy(buffer.get(), value.c_str(), value.size() + 1);
    bool fitted = ExpandToken(buffer.get(), size, token.c_str(), replacement.c_str());
    std::string expected = Replaced(value, token, replacement);
    bool found = !token.empty() && value.find(token) != std::string::npos;
    bool fits = !found || expected.size() < std::min(size, kWork);
    auto context = [&] { // built only for a failed check
        return fuzz::Shown(value) + " token " + fuzz::Shown(token) + " by " + fuzz::Shown(replacement) + " size " +
               std::to_string(size) + " gave " + fuzz::Shown(buffer.get());
    };
    FUZZ_CHECK(fitted == fits, context());
    FUZZ_CHECK(buffer.get() == (fits ? expected : value), context());
}

void PathTokens(FuzzedDataProvider& in) {
    size_t size = in.ConsumeIntegralInRange<size_t>(1, 300);
    std::string launch = Text(in, sizeof theApp.m_szLaunchDir - 1);
    std::string os = Text(in, sizeof theApp.m_szOsTokenText - 1);
    std::string value = Text(in, size - 1);
    CopyText(theApp.m_szLaunchDir, sizeof theApp.m_szLaunchDir, launch.c_str());
    CopyText(theApp.m_szOsTokenText, sizeof theApp.m_szOsTokenText, os.c_str());
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memcpy(buffer.get(), value.c_str(), value.size() + 1);
    BOOL fitted = theApp.ExpandPathTokens(buffer.get(), (DWORD)size);

    std::string once = Replaced(value, "[CWD]", launch);
    std::string twice = Replaced(once, "[OS]", os);
    bool fits = once.size() < kWork && twice.size() < kWork && twice.size() < size;
    auto context = [&] {
        return fuzz::Shown(value) + " launch " + fuzz::Shown(launch) + " os " + fuzz::Shown(os) + " size " +
               std::to_string(size) + " gave " + fuzz::Shown(buffer.get());
    };
    FUZZ_CHECK((fitted != FALSE) == fits, context());
    FUZZ_CHECK(buffer.get() == (fits ? twice : value), context());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) OneToken(in);
    else PathTokens(in);
    return 0;
}
