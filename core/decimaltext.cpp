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

std::optional<Rounded> parse(std::string_view text, int scale, bool decimalComma) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';

    std::string digits; // without leading zeros
    int exponent = scale;
    bool anyDigit = false;
    bool point = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (isDigit(c)) {
            anyDigit = true;
            if (!(digits.empty() && c == '0'))
                digits += c;
            if (point)
                --exponent;
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
        exponent += static_cast<int>(negativeExponent ? -written : written);
    }
    if (at != text.size())
        return std::nullopt;

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
        for (std::size_t i = static_cast<std::size_t>(std::max(wholeDigits, 0LL));
             i < digits.size(); ++i)
            fraction = fraction || digits[i] != '0';
    }
    if (negative)
        return Rounded{-whole - (fraction ? 1 : 0), -whole};
    return Rounded{whole, whole + (fraction ? 1 : 0)};
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
