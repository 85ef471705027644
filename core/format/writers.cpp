// SPDX-License-Identifier: GPL-3.0-or-later
#include "writers.hpp"

#include <limits>

namespace ravik {

std::optional<std::int16_t> parseMilliseconds(std::string_view text,
                                              std::string_view decimalSeparator) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);

    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::size_t digits = 0;
    while (digits < text.size() && isDigit(text[digits]))
        ++digits;
    std::string_view whole = text.substr(0, digits);
    text.remove_prefix(digits);

    std::string_view fraction;
    if (!text.empty()) {
        if (text.front() == '.')
            text.remove_prefix(1);
        else if (!decimalSeparator.empty() && text.starts_with(decimalSeparator))
            text.remove_prefix(decimalSeparator.size());
        else
            return std::nullopt;
        std::size_t fractionDigits = 0;
        while (fractionDigits < text.size() && isDigit(text[fractionDigits]))
            ++fractionDigits;
        if (fractionDigits != text.size())
            return std::nullopt;
        fraction = text;
    }
    if (whole.empty() && fraction.empty())
        return std::nullopt;

    while (whole.size() > 1 && whole.front() == '0')
        whole.remove_prefix(1);
    if (whole.size() > 6)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : whole)
        value = value * 10 + (c - '0');

    // Decided on the digits themselves, so that 0.5000000000000000001 rounds up as it should.
    if (!fraction.empty()) {
        const bool aboveHalf = fraction.front() > '5' ||
                               (fraction.front() == '5' &&
                                fraction.find_first_not_of('0', 1) != std::string_view::npos);
        const bool exactHalf = fraction.front() == '5' && !aboveHalf;
        if (aboveHalf || (exactHalf && value % 2 != 0))
            ++value;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

} // namespace ravik
