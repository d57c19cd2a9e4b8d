// A failed check in a fuzz target is a finding: say what and where, then
// abort so that libFuzzer keeps the input.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition, context)                                                             \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", __FILE__, __LINE__, #condition, \
                         std::string(context).c_str());                                            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {
// Text with its control bytes shown, for the context of a failed check.
inline std::string Shown(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += (char)c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return "\"" + out + "\"";
}
} // namespace fuzz
