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

// The candidates nearest to a hyphenated name such as a finding code, best
// first, at most `most`: NearestName's, then those that share at least half
// of their words with it in any order (a word one slip off counts), so that
// driver-missing-file finds driver-file-missing. None when the word is one.
std::vector<std::string> NearestCodes(const std::string& word, const std::vector<std::string>& candidates,
                                      size_t most = 3);

// "; did you mean X?" for NearestName, or "".
std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates);

} // namespace pkgcheck
