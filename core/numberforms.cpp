#include "numberforms.hpp"

#include <charconv>

namespace ravik::numberforms {
namespace {

template <typename Integer>
std::string digits(Integer value, int base) {
    char buffer[24];
    // 24 characters hold any 64-bit value in base 10 or 16, so to_chars cannot fail here.
    std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, value, base).ptr);
    if (base == 16)
        for (char& c : text)
            if (c >= 'a' && c <= 'f')
                c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

std::string spacedDecimal(std::int64_t value) {
    return value < 0 ? digits(value, 10) : " " + digits(value, 10);
}

std::string plainDecimal(std::int64_t value) {
    return digits(value, 10);
}

std::string hex16(std::int16_t value) {
    return digits(static_cast<std::uint16_t>(value), 16);
}

std::string hex32(std::int32_t value) {
    return digits(static_cast<std::uint32_t>(value), 16);
}

std::string hexOffset(std::uint64_t value) {
    return digits(value, 16);
}

std::string halves(std::uint64_t halfCount, std::string_view decimalSeparator) {
    std::string text = digits(halfCount / 2, 10);
    if (halfCount % 2 != 0) {
        text += decimalSeparator;
        text += '5';
    }
    return text;
}

} // namespace ravik::numberforms
