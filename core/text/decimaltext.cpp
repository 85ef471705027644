// SPDX-License-Identifier: GPL-3.0-or-later
#include "decimaltext.hpp"

#include <cstdlib>

namespace ravik::decimaltext {

namespace {

constexpr std::int64_t kHeld = 1'000'000'000'000; // a trillion: far beyond any GAP time
constexpr int kHeldDigits = 13;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

namespace {

/// A number as digits × 10^exponent, the digits without leading or trailing zeros.
struct Decimal {
    bool negative = false;
    std::string digits;
    long long exponent = 0;
    bool operator==(const Decimal&) const = default;
};

std::optional<Decimal> read(std::string_view text, bool decimalComma) {
    Decimal number;
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        number.negative = text[at++] == '-';
    bool anyDigit = false;
    bool point = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (isDigit(c)) {
            anyDigit = true;
            if (!(number.digits.empty() && c == '0'))
                number.digits += c;
            if (point)
                --number.exponent;
        } else if ((c == '.' || (decimalComma && c == ',')) && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        bool negativeExponent = false;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            negativeExponent = text[at++] == '-';
        if (at == text.size())
            return std::nullopt;
        long long written = 0;
        for (; at < text.size() && isDigit(text[at]); ++at)
            written = std::min(written * 10 + (text[at] - '0'), 100'000LL);
        number.exponent += negativeExponent ? -written : written;
    }
    if (at != text.size())
        return std::nullopt;
    while (!number.digits.empty() && number.digits.back() == '0') {
        number.digits.pop_back();
        ++number.exponent;
    }
    if (number.digits.empty())
        number = Decimal{}; // every zero is the same zero
    return number;
}

} // namespace

std::optional<Rounded> parse(std::string_view text, int scale, bool decimalComma) {
    const auto number = read(text, decimalComma);
    if (!number)
        return std::nullopt;
    const std::string& digits = number->digits;
    const long long exponent = number->exponent + scale;

    // digits × 10^exponent: split it into whole units and whether a fraction is left.
    std::int64_t whole = 0;
    bool fraction = false;
    const long long wholeDigits = static_cast<long long>(digits.size()) + exponent;
    if (wholeDigits > kHeldDigits) {
        whole = kHeld;
    } else {
        for (long long i = 0; i < wholeDigits; ++i)
            whole = whole * 10 + (i < static_cast<long long>(digits.size())
                                      ? digits[static_cast<std::size_t>(i)] - '0'
                                      : 0);
        whole = std::min(whole, kHeld);
        // The digits hold no trailing zeros: any digit after the whole part is a fraction.
        fraction = wholeDigits < static_cast<long long>(digits.size());
    }
    if (number->negative)
        return Rounded{-whole - (fraction ? 1 : 0), -whole};
    return Rounded{whole, whole + (fraction ? 1 : 0)};
}

bool sameNumber(std::string_view a, std::string_view b, bool decimalComma) {
    const auto first = read(a, decimalComma);
    return first && first == read(b, decimalComma);
}

std::string seconds(std::int64_t milliseconds, int decimals) {
    const std::int64_t magnitude = milliseconds < 0 ? -milliseconds : milliseconds;
    std::string fraction = std::to_string(magnitude % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    fraction.resize(static_cast<std::size_t>(decimals), '0');
    std::string text = (milliseconds < 0 ? "-" : "") + std::to_string(magnitude / 1000);
    if (decimals > 0)
        text += '.' + fraction;
    return text;
}

std::string shortSeconds(std::int64_t milliseconds) {
    std::string text = seconds(milliseconds, 3);
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

} // namespace ravik::decimaltext
