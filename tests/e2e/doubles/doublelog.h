// What the doubles share: JSON text and the one-append log line, so that
// programs running side by side never interleave their lines.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

inline std::string JsonEscape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
        else if (c < 0x20 || c >= 0x7f) {
            char b[8];
            snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else out += static_cast<char>(c);
    }
    return out;
}

inline void AppendLogLine(const char* log, const std::string& line) {
    if (!log || !*log) return;
    HANDLE f = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD n;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &n, nullptr);
    CloseHandle(f);
}
