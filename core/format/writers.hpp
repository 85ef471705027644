#pragma once

#include "core/files/replacement.hpp"
#include "core/format/gapformat.hpp"
#include "core/text/failure.hpp"
#include "core/text/statuslines.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ravik {

/// One silence from 0 to 1 ms: a file that changes nothing in the speech it belongs to.
inline constexpr std::array<std::uint8_t, kRecordSize> kGenericGap = encodeRecord(0, 1);

/// Creates, or replaces whole, the file at `path` with the generic GAP, in one atomic step.
[[nodiscard]] std::optional<Failure> createGenericGap(const std::string& path);

struct GenericCreation {
    std::optional<Failure> failure;      ///< nothing was written
    std::optional<Replacement> replaced; ///< what undo takes back; none when the file it
                                         ///< replaced could not be read as a GAP file
    bool operator==(const GenericCreation&) const = default;
};

/// createGenericGap, after the backup `keeping` asks for; a backup needs the file it replaces
/// to be readable as a GAP file.
[[nodiscard]] GenericCreation createGenericGap(const std::string& path, const Keeping& keeping);

/// A typed time in milliseconds as a record stores it: blanks around it are ignored, a fraction
/// is rounded to the nearest whole number (an exact half to the even one), and the result must
/// lie in -32768..32767. Either '.' or the user's `decimalSeparator` separates the fraction.
[[nodiscard]] std::optional<std::int16_t> parseMilliseconds(std::string_view text,
                                                            std::string_view decimalSeparator);

struct SilenceWrite {
    StatusLines lines;              ///< "Writing Silence : " with the texts as typed, on success
    std::uint64_t offset = 0;       ///< where the record went
    std::optional<Failure> failure; ///< nothing was written
    bool operator==(const SilenceWrite&) const = default;
};

/// Writes one silence record at the end of the file at `path` (the length rounded down to an
/// even number), creating the file when missing. Writes nothing when either text is not a time.
[[nodiscard]] SilenceWrite writeSilence(const std::string& path, std::string_view startText,
                                        std::string_view endText,
                                        std::string_view decimalSeparator);

/// Deletes the file at `path`, so that the next silence written starts a new file. A file that
/// is already gone is no failure.
[[nodiscard]] std::optional<Failure> deleteGapFile(const std::string& path);

} // namespace ravik
