#include "silencematch.hpp"

#include <algorithm>

namespace ravik::silences {

bool sameSilence(const Silence& a, const Silence& b) {
    const std::int64_t overlap = std::min(a.end, b.end) - std::max(a.start, b.start);
    const std::int64_t together = std::max(a.end, b.end) - std::min(a.start, b.start);
    return overlap >= 0 && 2 * overlap >= together;
}

std::vector<Pairing> pairSilences(const std::vector<Silence>& a, const std::vector<Silence>& b) {
    std::vector<Pairing> pairs;
    pairs.reserve(a.size() + b.size());
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() || j < b.size()) {
        if (i == a.size()) {
            pairs.push_back({std::nullopt, j++});
        } else if (j == b.size()) {
            pairs.push_back({i++, std::nullopt});
        } else if (sameSilence(a[i], b[j])) {
            pairs.push_back({i++, j++});
        } else if (a[i].end < b[j].end || (a[i].end == b[j].end && a[i].start <= b[j].start)) {
            // The one that ends first can match nothing else: the other list's later silences
            // start after the other one ends.
            pairs.push_back({i++, std::nullopt});
        } else {
            pairs.push_back({std::nullopt, j++});
        }
    }
    return pairs;
}

} // namespace ravik::silences
