// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

namespace ravik {

/// A number written plainly, as options take them ("2", "-38.5", "007"): the whole text is the
/// number, with no blank, sign of plus, thousands separator or locale's decimal comma, and it
/// fits `Number`. The typed times of the windows (`writers::parseMilliseconds`) and the numbers of
/// other programs' files (`decimaltext::parse`) have rules of their own.
template <class Number>
[[nodiscard]] std::optional<Number> plainNumber(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end)
        return std::nullopt;
    return value;
}

} // namespace ravik
