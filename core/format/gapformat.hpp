#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ravik {

/// A GAP file is a headerless run of 8-byte records: the silence's start and end in
/// milliseconds, each a little-endian 32-bit field whose high word a well-formed file keeps 0.
inline constexpr std::uint64_t kRecordSize = 8;
/// No real GAP file comes near this (the largest well-formed one has 32,768 records), so a
/// bigger file is refused before it is read into memory.
inline constexpr std::uint64_t kLargestRecordCount = 1'048'576;
inline constexpr std::uint64_t kLargestFileSize = kRecordSize * kLargestRecordCount;

/// Read access to a file's bytes at explicit offsets. Bytes beyond the end read as zero: the
/// counting scans rely on that to find the end of the data.
class GapBytes {
public:
    explicit GapBytes(std::span<const std::uint8_t> bytes)
        : bytes_(bytes) {}

    [[nodiscard]] std::uint64_t size() const { return bytes_.size(); }
    /// True when the whole read of `length` bytes at `offset` lies inside the file.
    [[nodiscard]] bool holds(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size() && length <= size() - offset;
    }
    /// Signed 16-bit little-endian word at `offset`.
    [[nodiscard]] std::int16_t word(std::uint64_t offset) const {
        if (holds(offset, 2)) { // the common case, in a form the compiler makes one load
            const std::uint8_t* at = bytes_.data() + offset;
            return static_cast<std::int16_t>(at[0] | at[1] << 8);
        }
        return static_cast<std::int16_t>(beyondTheEnd(offset, 2));
    }
    /// Signed 32-bit little-endian field at `offset`.
    [[nodiscard]] std::int32_t field(std::uint64_t offset) const {
        if (holds(offset, 4)) {
            const std::uint8_t* at = bytes_.data() + offset;
            return static_cast<std::int32_t>(std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 |
                                             std::uint32_t{at[2]} << 16 |
                                             std::uint32_t{at[3]} << 24);
        }
        return static_cast<std::int32_t>(beyondTheEnd(offset, 4));
    }

private:
    // A read that reaches past the end: the missing bytes read as zero.
    [[nodiscard]] std::uint32_t beyondTheEnd(std::uint64_t offset, std::uint64_t length) const {
        std::uint32_t value = 0;
        for (std::uint64_t i = length; i-- > 0;) {
            const std::uint64_t at = offset + i;
            value = (value << 8) | (at < size() ? bytes_[static_cast<std::size_t>(at)] : 0U);
        }
        return value;
    }

    std::span<const std::uint8_t> bytes_;
};

/// Offset of the first 32-bit field that reads 0, scanning in steps of 4. A first silence that
/// starts at 0 is skipped whole, so a valid file's count never stops at its first end.
[[nodiscard]] std::uint64_t zeroScan(const GapBytes& bytes);

/// A record as every writer writes it: the start's low word, a zero word, the end's low word, a
/// zero word.
[[nodiscard]] constexpr std::array<std::uint8_t, kRecordSize> encodeRecord(std::int16_t start,
                                                                           std::int16_t end) {
    const auto s = static_cast<std::uint16_t>(start);
    const auto e = static_cast<std::uint16_t>(end);
    return {static_cast<std::uint8_t>(s & 0xFFU), static_cast<std::uint8_t>(s >> 8), 0, 0,
            static_cast<std::uint8_t>(e & 0xFFU), static_cast<std::uint8_t>(e >> 8), 0, 0};
}

/// Number of records a file of `fileSize` bytes holds, a trailing partial record included.
[[nodiscard]] constexpr std::uint64_t recordsHeld(std::uint64_t fileSize) {
    return (fileSize + kRecordSize - 1) / kRecordSize;
}

} // namespace ravik
