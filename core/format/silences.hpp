// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/gapformat.hpp"
#include "core/format/silencerules.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ravik {

/// A silence in whole milliseconds (see silences::Silence).
using Silence = silences::Silence;

/// Editing a list of silences so that it stays a valid GAP file (the rules themselves are in
/// silencerules.hpp): each silence lies within 0..kLastMs and starts after the one before ends;
/// a silence the editor makes or moves lasts at least 1 ms.
namespace silences {

enum class Edge { Start, End };

/// Inclusive bounds of a time in ms.
struct Range {
    int low = 0;
    int high = 0;
    [[nodiscard]] int clamp(int ms) const { return ms < low ? low : ms > high ? high : ms; }
    bool operator==(const Range&) const = default;
};

/// True when `list` is a valid file's list (see firstBreak).
[[nodiscard]] bool isValid(std::span<const ravik::Silence> list);

/// Where the given edge of silence `index` may go without crossing or touching its neighbours,
/// leaving 0..kLastMs or shrinking the silence below 1 ms. Always holds the edge's place now.
[[nodiscard]] Range edgeRange(std::span<const ravik::Silence> list, std::size_t index, Edge edge);

/// The free room around `ms` (outside every silence, not touching one) where a new silence may
/// lie; nothing when `ms` is inside or beside a silence or out of 0..kLastMs.
[[nodiscard]] std::optional<Range> freeRoomAround(std::span<const ravik::Silence> list, int ms);

/// The silence a new one from `anchor` to `to` becomes, kept inside the free room around
/// `anchor`; nothing when there is no room for 1 ms.
[[nodiscard]] std::optional<ravik::Silence> newSilence(std::span<const ravik::Silence> list,
                                                       int anchor, int to);

/// The index at which `silence`, lying in free room, keeps the list in order.
[[nodiscard]] std::size_t insertionIndex(std::span<const ravik::Silence> list,
                                         const ravik::Silence& silence);

/// The index of the silence holding `ms` (edges included), if any.
[[nodiscard]] std::optional<std::size_t> silenceAt(std::span<const ravik::Silence> list, int ms);

struct Decoded {
    std::vector<ravik::Silence> list; ///< every whole record, in file order (WalkEnd::WholeRecords)
    bool valid = false; ///< the file is a valid list (see isValid) with nothing left over
    std::string fault;  ///< when not valid for a reason of the file's bytes, that reason
};
/// The silences a GAP file holds, for the editor, which shows and saves only a valid file's.
[[nodiscard]] Decoded decodeFile(const GapBytes& bytes);

/// The editor's status line: the pointer's time and, when one is selected, the silence's start,
/// end and length: "Pointer 1250 ms   Silence 1200 to 1480 ms, 280 ms long".
[[nodiscard]] std::string statusLine(std::optional<int> pointerMs,
                                     std::optional<ravik::Silence> selected);

/// What the editor says of a GAP file whose records are not a valid list, with the fault when
/// the file's bytes name one.
[[nodiscard]] std::string invalidFileNotice(const std::string& gapPath, const std::string& fault);

} // namespace silences
} // namespace ravik
