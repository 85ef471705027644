// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/gapformat.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ravik {

/// One silence from 0 to 1 ms: a file that changes nothing in the speech it belongs to.
inline constexpr std::array<std::uint8_t, kRecordSize> kGenericGap = encodeRecord(0, 1);

/// A typed time in milliseconds as a record stores it: blanks around it are ignored, a fraction
/// is rounded to the nearest whole number (an exact half to the even one), and the result must
/// lie in -32768..32767. Either '.' or the user's `decimalSeparator` separates the fraction.
[[nodiscard]] std::optional<std::int16_t> parseMilliseconds(std::string_view text,
                                                            std::string_view decimalSeparator);

} // namespace ravik
