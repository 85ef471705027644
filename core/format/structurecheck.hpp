// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/gapformat.hpp"
#include "core/text/failure.hpp"
#include "core/text/statuslines.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ravik {

enum class Verdict { NotChecked, Correct, Incorrect };

/// The rules a record can break; when it breaks several, the highest one is reported.
enum class StructureError {
    None = 0,
    HighWord = 1,       ///< a high word is not 0
    EndBeforeStart = 2, ///< end < start
    Misplaced = 3,      ///< start <= the previous record's end
};

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};

struct StructureCheck {
    StatusLines lines;
    Verdict verdict = Verdict::NotChecked;
    StructureError error = StructureError::None;
    std::uint64_t failingOffset = 0; ///< byte offset of the record that broke a rule
    std::optional<Failure> failure;  ///< the file could not be read: no verdict (see gapfile.hpp)

    /// Text of the verdict field: "Correct", "Incorrect !", or empty when not checked.
    [[nodiscard]] std::string_view verdictText() const;
    /// Colour of the verdict field's text: black for a correct file, red for an incorrect one.
    [[nodiscard]] Rgb verdictColour() const;
    bool operator==(const StructureCheck&) const = default;
};

/// Walks the records in file order (WalkEnd::ReadAhead) and stops at the first one that breaks
/// a rule.
[[nodiscard]] StructureCheck checkStructure(const GapBytes& bytes);

} // namespace ravik
