// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

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

/// Offset of the first 32-bit field that reads 0, scanning in steps of 4: the timeline's count
/// of silences. A first silence that starts at 0 is skipped whole, so a valid file's count never
/// stops at its first end.
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

/// One record as the readers see it. The timeline reads each time as its whole 32-bit field;
/// the check, defrag and everything that decodes silences read only the low word, as a signed
/// 16-bit time, so a stored 40000 is -25536 to them.
struct Record {
    std::uint64_t offset = 0;
    std::int32_t wideStart = 0; ///< the start's whole field
    std::int32_t wideEnd = 0;   ///< the end's whole field

    [[nodiscard]] constexpr std::int16_t start() const {
        return static_cast<std::int16_t>(wideStart);
    }
    [[nodiscard]] constexpr std::int16_t end() const { return static_cast<std::int16_t>(wideEnd); }
    /// A well-formed record's high words are 0 ("AAAA 0000 BBBB 0000").
    [[nodiscard]] constexpr bool highWordsZero() const {
        return (static_cast<std::uint32_t>(wideStart) | static_cast<std::uint32_t>(wideEnd)) >>
                   16 ==
               0;
    }
    bool operator==(const Record&) const = default;
};

/// The bytes after a file's last whole record, as every window and command words them: "the
/// file ends 1 byte into a record of 8"; empty when the file ends with a whole record.
[[nodiscard]] std::string strayBytesText(std::uint64_t fileSize);

/// Where a walk over a file's records ends. Every reader walks the records at offsets 0, 8, 16,
/// ... in file order and reads the bytes missing at the end of the file as zero; the readers
/// differ only in the last record they take, which shows only in a file that ends inside a
/// record. For a file of S = 8N + k bytes:
///
// clang-format off
/// | End            | records walked      | k = 1 | k = 2 to 7 | walked by                           |
/// |----------------|---------------------|-------|------------|-------------------------------------|
/// | `ReadAhead`    | max(1, (S + 6) / 8) | N     | N + 1      | the check, the timeline's lines     |
/// | `FirstWord`    | (S + 6) / 8         | N     | N + 1      | decode(), lint's record findings    |
/// | `AnyByte`      | (S + 7) / 8         | N + 1 | N + 1      | defrag (it drops no byte), lint's fragments |
/// | `WholeRecords` | S / 8               | N     | N          | the Recording window, verify        |
// clang-format on
enum class WalkEnd {
    /// The first record always, then each record whose first word lies in the file: the check
    /// and the timeline read the next record's first word ahead and stop when that read runs
    /// past the end, so a lone byte after the last whole record is never read, two to seven
    /// bytes make a last, partial record, and an empty file (or one byte) reads as one record.
    ReadAhead,
    /// Each record whose first word lies in the file: the silences a file holds, as the check
    /// reads them, without the record an empty file reads as.
    FirstWord,
    /// Each record that holds any byte of the file.
    AnyByte,
    /// Each whole record; a partial one is not read.
    WholeRecords,
};

/// How many records a walk from offset 0 takes in a file of `size` bytes (see WalkEnd).
[[nodiscard]] constexpr std::uint64_t recordCount(std::uint64_t size, WalkEnd end) {
    switch (end) {
    case WalkEnd::ReadAhead:
        return size < 2 ? 1 : (size + kRecordSize - 2) / kRecordSize;
    case WalkEnd::FirstWord:
        return (size + kRecordSize - 2) / kRecordSize;
    case WalkEnd::AnyByte:
        return (size + kRecordSize - 1) / kRecordSize;
    case WalkEnd::WholeRecords:
        break;
    }
    return size / kRecordSize;
}

/// The records of a file in order, from `from` (a record's offset) to where `end` stops:
/// `for (const Record& record : RecordWalk(bytes, WalkEnd::FirstWord))`. Every reader of the
/// format walks its records so.
class RecordWalk {
public:
    RecordWalk(const GapBytes& bytes, WalkEnd end, std::uint64_t from = 0)
        : bytes_(bytes)
        , end_(end)
        , from_(from) {}

    class Iterator {
    public:
        using value_type = Record;
        using difference_type = std::ptrdiff_t;

        Iterator() = default;
        [[nodiscard]] Record operator*() const {
            return {offset_, walk_->bytes_.field(offset_), walk_->bytes_.field(offset_ + 4)};
        }
        Iterator& operator++() {
            offset_ += kRecordSize;
            if (!walk_->takes(offset_))
                offset_ = kPastTheEnd;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const Iterator&) const = default;

    private:
        friend class RecordWalk;
        Iterator(const RecordWalk* walk, std::uint64_t offset)
            : walk_(walk)
            , offset_(offset) {}
        const RecordWalk* walk_ = nullptr;
        std::uint64_t offset_ = 0;
    };

    [[nodiscard]] Iterator begin() const {
        return {this, end_ == WalkEnd::ReadAhead || takes(from_) ? from_ : kPastTheEnd};
    }
    [[nodiscard]] Iterator end() const { return {this, kPastTheEnd}; }

private:
    static constexpr std::uint64_t kPastTheEnd = ~std::uint64_t{0};

    // Whether the walk takes the record at `offset`, once it has taken the one before.
    [[nodiscard]] bool takes(std::uint64_t offset) const {
        switch (end_) {
        case WalkEnd::ReadAhead:
        case WalkEnd::FirstWord:
            return bytes_.holds(offset, 2);
        case WalkEnd::AnyByte:
            return offset < bytes_.size();
        case WalkEnd::WholeRecords:
            break;
        }
        return bytes_.holds(offset, kRecordSize);
    }

    GapBytes bytes_; // a view, kept by value so that a walk over a temporary's bytes is safe
    WalkEnd end_;
    std::uint64_t from_;
};

} // namespace ravik
