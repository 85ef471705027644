// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/soundfile.hpp"
#include "core/text/failure.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace ravik::audio {

/// The lowest and highest sample of a stretch, -1..1 scaled to int16.
struct PeakRange {
    std::int16_t low = 0;
    std::int16_t high = 0;
    bool operator==(const PeakRange&) const = default;
};

/// A recording's envelope (its channels mixed to one) as min/max pairs at several resolutions,
/// made once when it is read, so that drawing any zoom level reads a few numbers per pixel
/// column and never the samples. The finest level holds one pair per kFinestBlock frames, each
/// coarser one a pair per kFanOut pairs of the level below.
class Peaks {
public:
    static constexpr std::int64_t kFinestBlock = 8;
    static constexpr std::int64_t kFanOut = 8;

    struct Read;
    /// Reads the whole recording from its current position.
    [[nodiscard]] static Read read(SoundFile& recording);

    [[nodiscard]] int sampleRate() const { return sampleRate_; }
    [[nodiscard]] std::int64_t frames() const { return frames_; }
    [[nodiscard]] double lengthMs() const;

    /// The lowest and highest sample from frame `first` up to (not including) `last`, to the
    /// precision of the level whose blocks are no longer than the stretch: exact to
    /// kFinestBlock frames at the finest. An empty or out-of-range stretch gives nothing.
    [[nodiscard]] std::optional<PeakRange> range(std::int64_t first, std::int64_t last) const;

    /// The memory the summaries take, in bytes.
    [[nodiscard]] std::size_t bytes() const;

private:
    int sampleRate_ = 0;
    std::int64_t frames_ = 0;
    std::vector<std::vector<PeakRange>> levels_; // finest first
};

struct Peaks::Read {
    Peaks peaks;
    /// Set when the recording could not be read to its end; the peaks then hold what was read.
    std::optional<Failure> failure;
};

} // namespace ravik::audio
