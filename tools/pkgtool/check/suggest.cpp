#include "tools/pkgtool/check/suggest.h"

#include <algorithm>
#include <cctype>

namespace pkgcheck {
namespace {

// Edits with adjacent transposition, in thirds (3 an edit), and 4 more
// where the digits differ: a version number is seldom the slip.
size_t Distance(const std::string& a, const std::string& b, bool digitsCount) {
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<size_t>> d(n + 1, std::vector<size_t>(m + 1));
    for (size_t i = 0; i <= n; ++i) d[i][0] = 3 * i;
    for (size_t j = 0; j <= m; ++j) d[0][j] = 3 * j;
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j) {
            const char x = char(tolower((unsigned char)a[i - 1])), y = char(tolower((unsigned char)b[j - 1]));
            const size_t swap = x == y ? 0 : 3;
            d[i][j] = std::min({d[i - 1][j] + 3, d[i][j - 1] + 3, d[i - 1][j - 1] + swap});
            if (i > 1 && j > 1 && x == tolower((unsigned char)b[j - 2]) && tolower((unsigned char)a[i - 2]) == y)
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 3);
        }
    auto digits = [](const std::string& s) {
        std::string out;
        for (char c : s)
            if (isdigit((unsigned char)c)) out += c;
        return out;
    };
    return d[n][m] + (!digitsCount || digits(a) == digits(b) ? 0 : 4);
}

} // namespace

std::string NearestName(const std::string& word, const std::vector<std::string>& candidates) {
    if (word.empty() || word.size() > 64) return "";
    // Two slips in a longer name, one in a short one; a name with the same
    // digits first, then any (W97 is W98).
    const size_t allowed = word.size() >= 5 ? 6 : 3;
    for (bool digitsCount : {true, false}) {
        std::string best;
        size_t bestCost = 0;
        for (const std::string& c : candidates) {
            if (c.size() > 64) continue;
            const size_t cost = Distance(word, c, digitsCount);
            if (cost == 0) return "";
            if (best.empty() || cost < bestCost) best = c, bestCost = cost;
        }
        if (!best.empty() && bestCost <= allowed) return best;
    }
    return "";
}

namespace {

std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> words;
    std::string w;
    for (char c : s + "-") {
        if (c == '-' || c == '_' || c == ' ') {
            if (!w.empty()) words.push_back(w);
            w.clear();
        } else {
            w += char(tolower((unsigned char)c));
        }
    }
    return words;
}

// Shared words, each of b used once, over the words of the longer name.
double WordsShared(const std::vector<std::string>& a, std::vector<std::string> b) {
    const size_t longer = std::max(a.size(), b.size());
    if (!longer) return 0;
    size_t shared = 0;
    for (const std::string& w : a)
        for (size_t i = 0; i < b.size(); ++i)
            if (Distance(w, b[i], false) <= (w.size() >= 5 ? 3u : 0u)) {
                ++shared;
                b.erase(b.begin() + i);
                break;
            }
    return double(shared) / double(longer);
}

} // namespace

std::vector<std::string> NearestCodes(const std::string& word, const std::vector<std::string>& candidates,
                                      size_t most) {
    std::vector<std::string> out;
    if (word.empty() || word.size() > 64 || std::find(candidates.begin(), candidates.end(), word) != candidates.end())
        return out;
    const std::string near = NearestName(word, candidates);
    if (!near.empty()) out.push_back(near);
    const std::vector<std::string> words = Words(word);
    std::vector<std::pair<double, std::string>> scored;
    for (const std::string& c : candidates) {
        if (c.size() > 64 || c == near) continue;
        const double share = WordsShared(words, Words(c));
        if (share >= 0.5) scored.push_back({-share, c});
    }
    std::stable_sort(scored.begin(), scored.end(), [&](const auto& x, const auto& y) {
        return x.first != y.first ? x.first < y.first : Distance(word, x.second, false) < Distance(word, y.second, false);
    });
    for (const auto& s : scored)
        if (out.size() < most) out.push_back(s.second);
    return out;
}

std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates) {
    const std::string near = NearestName(word, candidates);
    return near.empty() ? "" : "; did you mean " + near + "?";
}

} // namespace pkgcheck
