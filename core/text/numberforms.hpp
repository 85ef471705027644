// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

/// The number forms of the status lines and fields, in one place. The writers are inline: the
/// timeline and defrag write four numbers for each of up to a million records.
namespace ravik::numberforms {

/// Room for the longest number form: a blank or sign and 20 digits.
inline constexpr std::size_t kLongestNumber = 21;

// Each writer puts its form at `out`, which has room for kLongestNumber characters, and
// returns one past its last character.

/// The digits, a minus sign when negative, no blank: "5", "-5".
inline char* writePlainDecimal(char* out, std::int64_t value) {
    return std::to_chars(out, out + kLongestNumber, value).ptr;
}

/// The digits after one blank, or after a minus sign when negative: " 5", "-5".
inline char* writeSpacedDecimal(char* out, std::int64_t value) {
    if (value >= 0)
        *out++ = ' ';
    return writePlainDecimal(out, value);
}

/// Upper-case hexadecimal digits without leading zeros.
inline char* writeHexDigits(char* out, std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const int count = std::max(1, static_cast<int>(std::bit_width(value) + 3) / 4);
    for (int i = count - 1; i >= 0; --i, value >>= 4)
        out[i] = kDigits[value & 0xFU];
    return out + count;
}

/// Hexadecimal of the 16-bit pattern: "0", "FFFF" for -1.
inline char* writeHex16(char* out, std::int16_t value) {
    return writeHexDigits(out, static_cast<std::uint16_t>(value));
}

/// Hexadecimal of the 32-bit pattern: "FFFFFFFF" for -1.
inline char* writeHex32(char* out, std::int32_t value) {
    return writeHexDigits(out, static_cast<std::uint32_t>(value));
}

[[nodiscard]] std::string spacedDecimal(std::int64_t value);
[[nodiscard]] std::string plainDecimal(std::int64_t value);
[[nodiscard]] std::string hex16(std::int16_t value);
[[nodiscard]] std::string hex32(std::int32_t value);
/// Hexadecimal of a byte offset: "1F8".
[[nodiscard]] std::string hexOffset(std::uint64_t value);
/// A count of halves as a plain decimal: 4 gives "2", 5 gives "2.5" with the separator given.
[[nodiscard]] std::string halves(std::uint64_t halfCount, std::string_view decimalSeparator);

/// One status line of literal pieces and numbers, assembled without allocating.
class ShortLine {
public:
    static constexpr std::size_t kCapacity = 128;

    // User-provided, so that `ShortLine()` does not zero the buffer first.
    ShortLine() {}

    /// Precondition: the line and one more number stay within kCapacity characters.
    ShortLine& text(std::string_view piece) {
        std::memcpy(end(), piece.data(), piece.size());
        length_ += piece.size();
        return *this;
    }
    ShortLine& spaced(std::int64_t value) { return put(writeSpacedDecimal(end(), value)); }
    ShortLine& plain(std::int64_t value) { return put(writePlainDecimal(end(), value)); }
    ShortLine& hex16(std::int16_t value) { return put(writeHex16(end(), value)); }
    ShortLine& hex32(std::int32_t value) { return put(writeHex32(end(), value)); }

    [[nodiscard]] std::string_view view() const { return {chars_.data(), length_}; }

private:
    char* end() { return chars_.data() + length_; }
    ShortLine& put(char* newEnd) {
        length_ = static_cast<std::size_t>(newEnd - chars_.data());
        return *this;
    }

    std::array<char, kCapacity> chars_; // filled only as far as length_
    std::size_t length_ = 0;
};

} // namespace ravik::numberforms
