// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/soundfile.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

/// Where a pause's edges lie to the sample, found by reading back the ticks around them.
namespace ravik::audio {

/// How samples count as sound at a pause's edge. A sample is sound where a channel leaves where
/// the pause rests and its speech band (from `lowestHz` up) reaches `edgeLevel`; where the quiet
/// beside it does not fall to within `restingLevel` of rest within `fringeFrames` (a lossy
/// codec's noise dying away, not digital silence), it must reach `strongLevel` instead, or
/// `edgeLevel` within `fringeFrames` of a sample that does.
struct EdgeRule {
    double lowestHz = 200;
    float edgeLevel = 0;
    float strongLevel = 0;
    float restingLevel = 0;
    std::int64_t fringeFrames = 0;
};

class EdgeFinder {
public:
    EdgeFinder(SoundFile& recording, std::int64_t origin, int tickFrames, const EdgeRule& rule);

    /// One past the last sound in ticks [from, to), judged against where each channel rests in
    /// tick `rest`, a tick of the pause; nothing when there is none there. Where the recording
    /// cannot be read, the end of the ticks: they stay out of the silence.
    [[nodiscard]] std::optional<std::int64_t> lastSound(std::size_t from, std::size_t to,
                                                        std::size_t rest);
    /// The first sound in ticks [from, to), as lastSound judges it; where the recording cannot
    /// be read, the start of the ticks.
    [[nodiscard]] std::optional<std::int64_t> firstSound(std::size_t from, std::size_t to,
                                                         std::size_t rest);
    /// The first frame of tick `tick`.
    [[nodiscard]] std::int64_t frameAt(std::size_t tick) const;

private:
    bool load(std::size_t from, std::size_t to, std::size_t rest);
    [[nodiscard]] bool resting(std::int64_t from, std::int64_t to) const;
    [[nodiscard]] bool loud(std::int64_t frame, float level) const;

    SoundFile& recording_;
    std::int64_t origin_;
    int tickFrames_;
    std::size_t channels_;
    EdgeRule rule_;
    std::int64_t start_ = 0; ///< the first frame loaded
    std::vector<float> raw_;
    std::vector<float> band_;
    std::vector<float> rest_;
};

/// What the speech band (from `lowestHz` up, sample by sample as EdgeFinder measures it) reaches
/// in the middle of the pauses: the ticks marked in `calm`, ticks counted from `origin`. Per
/// pause, what 19 of 20 spans of 20 ms stay under (so that a noise with a period, such as mains
/// hum, is taken at its peaks), then the middle of those figures, so that a pause that still
/// holds a word's soft end or start sets nothing. 0 when nothing is calm. Reads 100 ms from the
/// middle of up to 32 pauses spread over the recording, however long it is.
[[nodiscard]] double calmReach(SoundFile& recording, std::int64_t origin, int tickFrames,
                               const std::vector<char>& calm, double lowestHz);

} // namespace ravik::audio
