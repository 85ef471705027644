// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/gapformat.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// The rules that keep a GAP file valid, for everything that makes one from a list of silences:
/// the importers, and any editor of silences.
namespace ravik::silences {

/// The last millisecond a GAP record can hold (a signed 16-bit word): a valid file keeps every
/// time within 0 to 32,767 ms.
inline constexpr int kLastMs = 32'767;

/// One silence in whole milliseconds, as the editor, the detector and the importers hold it.
/// The times are wide so that an importer can name a time no record holds. `origin` says where
/// it came from (a line of an input file, counting from 1; 0 when unknown), so that a refusal
/// can name it.
struct Silence {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::size_t origin = 0;
    bool operator==(const Silence&) const = default;
};

/// The rule a silence breaks, in the order they are tried.
enum class Rule {
    BeforeZero,       ///< it starts before 0 ms
    PastLatest,       ///< it ends after 32,767 ms
    EndBeforeStart,   ///< it ends before it starts
    OutOfOrder,       ///< it starts before the previous silence starts
    NotAfterPrevious, ///< it starts at or before the previous silence's end: touching, overlapping
};

struct Break {
    std::size_t index = 0; ///< the silence that breaks the rule
    Rule rule = Rule::BeforeZero;
    bool operator==(const Break&) const = default;
};

/// The first silence that keeps the list from being a valid GAP file, if any.
[[nodiscard]] std::optional<Break> firstBreak(std::span<const Silence> list);

/// A sentence on what is wrong, naming the silence (and the one before when that matters), and,
/// when a mending option exists, the option of `gaptool import` that mends it.
[[nodiscard]] std::string explain(const std::vector<Silence>& list, const Break& broken);

/// How to make a list valid where that can be done without guessing.
struct Mending {
    bool sort = false;  ///< put the silences in the order of their starts
    bool clip = false;  ///< cut the parts before 0 ms and after 32,767 ms; drop what is left empty
    bool merge = false; ///< join silences that overlap or touch into one
    bool operator==(const Mending&) const = default;
};

/// Applies the mendings asked for, in the order sort, clip, merge. Leaves whatever it cannot
/// mend for firstBreak() to find.
void mend(std::vector<Silence>& list, const Mending& mending);

/// The GAP file of a valid list. Precondition: !firstBreak(list).
[[nodiscard]] std::vector<std::uint8_t> encode(std::span<const Silence> list);

/// The one decoder of silences: a silence for each record `end` walks (see WalkEnd), each low
/// word read as a signed 16-bit time, as the check and defrag read them (`origin` stays 0). By
/// default, the records the check walks, a trailing partial record included (its missing bytes
/// zero) and without the record of zeros an empty file reads as.
[[nodiscard]] std::vector<Silence> decode(const GapBytes& bytes, WalkEnd end = WalkEnd::FirstWord);

} // namespace ravik::silences
