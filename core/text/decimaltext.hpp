// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// Numbers in the text files other programs exchange with us, read and written exactly and
/// never through the user's locale: seconds become whole milliseconds without the rounding
/// errors of binary fractions, so that 1.234 s is 1234 ms and never 1233 or 1235.
namespace ravik::decimaltext {

/// A number read from text, rounded to whole units both ways.
struct Rounded {
    std::int64_t down = 0; ///< the largest whole unit not above the number
    std::int64_t up = 0;   ///< the smallest whole unit not below the number
    bool operator==(const Rounded&) const = default;
};

/// Reads a decimal number ("12", "-0.5", "1.25e-3", ".5") as `10^scale` units of the number's
/// own (scale 3 reads seconds as milliseconds). `decimalComma` lets ',' stand for the point.
/// Numbers beyond a trillion units are held at a trillion, which no GAP time reaches. Nothing but
/// the number may be in `text`.
[[nodiscard]] std::optional<Rounded> parse(std::string_view text, int scale,
                                           bool decimalComma = false);

/// Whether two texts are numbers and the same number: "1.5" and "1.500000e0" are.
[[nodiscard]] bool sameNumber(std::string_view a, std::string_view b, bool decimalComma = false);

/// Milliseconds as seconds with exactly `decimals` decimals, at least 3: 1234 gives "1.234000"
/// for six.
[[nodiscard]] std::string seconds(std::int64_t milliseconds, int decimals);
/// Milliseconds as seconds in the fewest decimals that hold them: "1.234", "0.5", "2".
[[nodiscard]] std::string shortSeconds(std::int64_t milliseconds);

} // namespace ravik::decimaltext
