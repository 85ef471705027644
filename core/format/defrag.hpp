// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/gapformat.hpp"
#include "core/text/statuslines.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ravik {

/// A silence of this many milliseconds or less is a fragment and is removed.
inline constexpr int kFragmentLimit = 50;

struct DefragPlan {
    std::vector<std::uint8_t> kept; ///< the kept records, high words zero
    std::uint64_t keptCount = 0;
    std::uint64_t droppedCount = 0;
    bool operator==(const DefragPlan&) const = default;
};

/// Judges every record the bytes hold, a trailing partial one included (WalkEnd::AnyByte: its
/// missing bytes read as zero), on the low words of start and end read as signed 16-bit values.
/// Adds a line to `fragmentLines` for each record dropped, in file order.
[[nodiscard]] DefragPlan planDefrag(const GapBytes& bytes, StatusLines& fragmentLines);

} // namespace ravik
