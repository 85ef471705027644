#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// The number forms of the status lines and fields.
namespace ravik::numberforms {

/// The digits after one blank, or after a minus sign when negative: " 5", "-5".
[[nodiscard]] std::string spacedDecimal(std::int64_t value);
/// The digits, a minus sign when negative, no blank: "5", "-5".
[[nodiscard]] std::string plainDecimal(std::int64_t value);
/// Upper-case hexadecimal of the 16-bit pattern, without leading zeros: "0", "FFFF" for -1.
[[nodiscard]] std::string hex16(std::int16_t value);
/// Upper-case hexadecimal of the 32-bit pattern, without leading zeros: "FFFFFFFF" for -1.
[[nodiscard]] std::string hex32(std::int32_t value);
/// Upper-case hexadecimal of a byte offset, without leading zeros: "1F8".
[[nodiscard]] std::string hexOffset(std::uint64_t value);
/// A count of halves as a plain decimal: 4 gives "2", 5 gives "2.5" with the separator given.
[[nodiscard]] std::string halves(std::uint64_t halfCount, std::string_view decimalSeparator);

} // namespace ravik::numberforms
