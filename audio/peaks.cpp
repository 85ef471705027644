// SPDX-License-Identifier: GPL-3.0-or-later
#include "peaks.hpp"

#include <algorithm>
#include <cmath>

namespace ravik::audio {
namespace {

std::int16_t quantise(float sample) {
    return static_cast<std::int16_t>(std::lround(std::clamp(sample, -1.0F, 1.0F) * 32767.0F));
}

PeakRange merge(PeakRange a, PeakRange b) {
    return {std::min(a.low, b.low), std::max(a.high, b.high)};
}

} // namespace

Peaks::Read Peaks::read(SoundFile& recording) {
    Read result;
    Peaks& peaks = result.peaks;
    peaks.sampleRate_ = recording.sampleRate();
    const auto channels = static_cast<std::size_t>(recording.channels());
    std::vector<PeakRange>& finest = peaks.levels_.emplace_back();
    finest.reserve(
        static_cast<std::size_t>(std::max<std::int64_t>(recording.frames(), 0) / kFinestBlock + 1));

    constexpr std::size_t kChunkFrames = 64 * kFinestBlock * kFanOut; // a whole number of blocks
    std::vector<float> buffer(kChunkFrames * channels);
    const float scale = 1.0F / static_cast<float>(channels);
    for (;;) {
        const std::size_t got = recording.readFrames(buffer);
        if (got == 0)
            break;
        for (std::size_t block = 0; block < got; block += kFinestBlock) {
            const std::size_t end = std::min<std::size_t>(block + kFinestBlock, got);
            float low = 1.0F;
            float high = -1.0F;
            for (std::size_t frame = block; frame < end; ++frame) {
                float mixed = 0.0F;
                for (std::size_t channel = 0; channel < channels; ++channel)
                    mixed += buffer[frame * channels + channel];
                mixed *= scale;
                low = std::min(low, mixed);
                high = std::max(high, mixed);
            }
            finest.push_back({quantise(low), quantise(high)});
        }
        peaks.frames_ += static_cast<std::int64_t>(got);
        if (got < kChunkFrames && got % kFinestBlock != 0)
            break; // a short block can only be the last one
    }
    result.failure = recording.readFailure();

    while (peaks.levels_.back().size() > 1) {
        const std::vector<PeakRange>& below = peaks.levels_.back();
        std::vector<PeakRange> level((below.size() + kFanOut - 1) / kFanOut);
        for (std::size_t i = 0; i < below.size(); ++i)
            level[i / kFanOut] = i % kFanOut == 0 ? below[i] : merge(level[i / kFanOut], below[i]);
        peaks.levels_.push_back(std::move(level));
    }
    return result;
}

double Peaks::lengthMs() const {
    return sampleRate_ > 0 ? static_cast<double>(frames_) * 1000.0 / sampleRate_ : 0.0;
}

std::optional<PeakRange> Peaks::range(std::int64_t first, std::int64_t last) const {
    first = std::max<std::int64_t>(first, 0);
    last = std::min(last, frames_);
    if (first >= last || levels_.empty())
        return std::nullopt;
    std::size_t level = 0;
    std::int64_t block = kFinestBlock;
    while (level + 1 < levels_.size() && block * kFanOut <= last - first) {
        ++level;
        block *= kFanOut;
    }
    const std::vector<PeakRange>& pairs = levels_[level];
    const auto from = static_cast<std::size_t>(first / block);
    const auto to = std::min(static_cast<std::size_t>((last - 1) / block) + 1, pairs.size());
    PeakRange result = pairs[from];
    for (std::size_t i = from + 1; i < to; ++i)
        result = merge(result, pairs[i]);
    return result;
}

std::size_t Peaks::bytes() const {
    std::size_t total = 0;
    for (const std::vector<PeakRange>& level : levels_)
        total += level.size() * sizeof(PeakRange);
    return total;
}

} // namespace ravik::audio
