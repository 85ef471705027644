#pragma once

#include "silencerules.hpp"

#include <cstddef>
#include <optional>
#include <vector>

/// Which silences of two lists are the same silence: the one rule that comparing two GAP files
/// and scoring detected against true silences share.
namespace ravik::silences {

/// Two silences are the same when their overlap lasts at least half of their union. Two silences
/// of no length match only at the same time.
[[nodiscard]] bool sameSilence(const Silence& a, const Silence& b);

/// One entry of a comparison: a silence of `a`, of `b`, or of both.
struct Pairing {
    std::optional<std::size_t> a; ///< index into the first list
    std::optional<std::size_t> b; ///< index into the second list
    bool operator==(const Pairing&) const = default;
};

/// Pairs the silences of two lists, each in time order, each silence at most once; the result is
/// in time order, unmatched silences on their own.
[[nodiscard]] std::vector<Pairing> pairSilences(const std::vector<Silence>& a,
                                                const std::vector<Silence>& b);

} // namespace ravik::silences
