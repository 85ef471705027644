// SPDX-License-Identifier: GPL-3.0-or-later
#include "numberforms.hpp"

namespace ravik::numberforms {

std::string spacedDecimal(std::int64_t value) {
    char buffer[kLongestNumber];
    return std::string(buffer, writeSpacedDecimal(buffer, value));
}

std::string plainDecimal(std::int64_t value) {
    char buffer[kLongestNumber];
    return std::string(buffer, writePlainDecimal(buffer, value));
}

std::string hex16(std::int16_t value) {
    char buffer[kLongestNumber];
    return std::string(buffer, writeHex16(buffer, value));
}

std::string hex32(std::int32_t value) {
    char buffer[kLongestNumber];
    return std::string(buffer, writeHex32(buffer, value));
}

std::string hexOffset(std::uint64_t value) {
    char buffer[kLongestNumber];
    return std::string(buffer, writeHexDigits(buffer, value));
}

std::string halves(std::uint64_t halfCount, std::string_view decimalSeparator) {
    char buffer[kLongestNumber];
    std::string text(buffer, writePlainDecimal(buffer, static_cast<std::int64_t>(halfCount / 2)));
    if (halfCount % 2 != 0) {
        text += decimalSeparator;
        text += '5';
    }
    return text;
}

} // namespace ravik::numberforms
