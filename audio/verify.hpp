// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/silencedetector.hpp"
#include "core/format/gapformat.hpp"

#include <optional>
#include <string>
#include <vector>

namespace ravik::audio {

/// One disagreement between a GAP file and its recording.
struct Finding {
    int atMs = 0;     ///< where it is, for putting findings in time order
    std::string text; ///< one line for the user

    bool operator==(const Finding&) const = default;
};

/// Compares the silences a GAP file lists with `recording`, in which `detection` found its
/// silences. Reports, in time order: sound inside a listed silence by soundInside's rule at
/// detection's threshold, judged from the samples inside that silence only (where, how loud),
/// pauses detection found that no listed silence covers, listed silences past the recording's
/// end, and a recording longer than a GAP file reaches. Empty when the two agree, as they do
/// for the silences detection found.
[[nodiscard]] std::vector<Finding> compareSilences(const std::vector<Silence>& listed,
                                                   SoundFile& recording,
                                                   const Detection& detection);

struct Verification {
    std::vector<Finding> findings;
    /// Set when the recording could not be read or holds nothing to find silences in.
    std::optional<Failure> failure;
    bool noSpeech = false; ///< the failure is about the recording's content (see Detection)
};

/// Compares the GAP file `bytes` (every whole record, in file order) with `recording`: detects
/// its silences with `options`, then reports as compareSilences does.
[[nodiscard]] Verification verifyRecording(const GapBytes& bytes, SoundFile& recording,
                                           const DetectOptions& options = {});

} // namespace ravik::audio
