// "Did you mean ...?" for a name that is nearly one the reader knows.
#pragma once
#include <string>
#include <vector>

namespace pkgcheck {

// The candidate nearest to `word` in edits (letters compared without regard
// to case; other digits count as a bigger slip than other letters, so WIN98
// is W98 rather than WIN95), when it is near enough to be a slip; "" when
// none is, or when the word is one of them.
std::string NearestName(const std::string& word, const std::vector<std::string>& candidates);

// "; did you mean X?" for NearestName, or "".
std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates);

} // namespace pkgcheck
