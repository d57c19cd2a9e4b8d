// Reading script values the way the programs cut them, for the checks.
#pragma once
#include "tools/pkgtool/check/checkers.h"
#include <string>
#include <vector>

namespace pkgcheck {

// The fields the programs get from the value, each cut to fieldSize less one.
std::vector<std::string> SplitFields(const std::string& value, size_t fieldSize = 256);

// A comma at the start or two in a row before a later field: the author
// left a field empty, and the programs shift the later fields forward.
bool HasEmptyField(const std::string& value);

bool StartsWithBlank(const std::string& s);
bool EndsWithBlank(const std::string& s);

// The value quoted for a message.
std::string Quoted(const std::string& s);

// Reports a value that the program's buffer cuts: `size` is the buffer,
// and for comma lists only a cut that changes the fields counts.
// Returns the value as the program reads it.
std::string ReadChecked(const IniFile& ini, Sink& sink, const std::string& section, const std::string& key,
                        size_t size, bool commaList);

// "[CWD]"-style tokens: the known ones in another letter case are not
// replaced, and bracketed words the program does not know stay as written.
void CheckTokens(const std::string& value, int line, Sink& sink, const std::vector<std::string>& known);

} // namespace pkgcheck
