// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/gapformat.hpp"
#include "core/format/structurecheck.hpp"
#include "core/text/failure.hpp"
#include "core/text/statuslines.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravik {

/// One silence on the picture: from `left` to `left + width`, across the picture's full height.
/// A negative width reaches left of `left`; whatever lies outside the picture is clipped.
struct Box {
    float left = 0;
    float width = 0;
    bool operator==(const Box&) const = default;
};

/// Outer size of the picture, in the units the boxes are drawn in; one of no width gets no boxes.
struct PictureSize {
    double width = 0;
    double height = 0;
};

/// The main window's picture of the timeline: boxes are blue on black.
inline constexpr PictureSize kTimelinePicture{393, 33};

struct Timeline {
    StatusLines lines;
    std::string count;   ///< the silence count field
    std::string minimum; ///< the source length field: "Bigger than  1200 msecs."
    std::string length;  ///< the silences length field: " 400"
    std::vector<Box> boxes;
    int boxHeight = 0;                     ///< the picture's height, rounded
    Verdict verdict = Verdict::NotChecked; ///< the structure check's, for the bytes drawn
    std::optional<Failure> failure;        ///< the file could not be read: no fields, no boxes

    bool operator==(const Timeline&) const = default;
};

/// Takes the timeline's lines as they are made, a block of at most kTimelineBlock lines at a time,
/// so that a million lines need never be held at once.
using LineBlocks = std::function<void(const StatusLines&)>;
inline constexpr std::size_t kTimelineBlock = 32768;

/// The timeline of a file's bytes: its lines walk the records as the check does
/// (WalkEnd::ReadAhead), its count ends at the first zero field (zeroScan).
/// `decimalSeparator` is the user's, for a count of one half. With `blocks` the lines go there
/// and the timeline holds none.
[[nodiscard]] Timeline buildTimeline(const GapBytes& bytes, PictureSize picture,
                                     std::string_view decimalSeparator,
                                     const LineBlocks& blocks = {});

} // namespace ravik
