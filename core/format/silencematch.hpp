// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/silencerules.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

/// Which silences of two lists are the same silence: the one rule that comparing two GAP files
/// and scoring detected against true silences share. A silence is anything with a `start` and an
/// `end` (whole milliseconds in a GAP file, fractions of one in a recording's truth).
namespace ravik::silences {

/// Two silences are the same when their overlap lasts at least half of their union. Two silences
/// of no length match only at the same time.
template <class Span>
[[nodiscard]] bool sameSilence(const Span& a, const Span& b) {
    const auto overlap = std::min(a.end, b.end) - std::max(a.start, b.start);
    const auto together = std::max(a.end, b.end) - std::min(a.start, b.start);
    return overlap >= 0 && 2 * overlap >= together;
}

/// One entry of a comparison: a silence of `a`, of `b`, or of both.
struct Pairing {
    std::optional<std::size_t> a; ///< index into the first list
    std::optional<std::size_t> b; ///< index into the second list
    bool operator==(const Pairing&) const = default;
};

/// Pairs the silences of two lists, each in time order, each silence at most once; the result is
/// in time order, unmatched silences on their own.
template <class Span>
[[nodiscard]] std::vector<Pairing> pairSilences(const std::vector<Span>& a,
                                                const std::vector<Span>& b) {
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
