// SPDX-License-Identifier: GPL-3.0-or-later
#include "edges.hpp"

#include "quiet.hpp"
#include "ticklevels.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ravik::audio {
namespace {

// Ticks read before a scanned part, for the band filter to settle.
constexpr std::size_t kSettleTicks = 4;
// How much of the pauses' middles calmReach reads.
constexpr std::size_t kCalmSamples = 32;
constexpr std::size_t kCalmSampleTicks = 100 / kTickMs;
constexpr double kCalmShare = 0.95;

} // namespace

EdgeFinder::EdgeFinder(SoundFile& recording, std::int64_t origin, int tickFrames,
                       const EdgeRule& rule)
    : recording_(recording)
    , origin_(origin)
    , tickFrames_(tickFrames)
    , channels_(static_cast<std::size_t>(recording.channels()))
    , rule_(rule)
    , rest_(channels_) {}

std::int64_t EdgeFinder::frameAt(std::size_t tick) const {
    return origin_ + static_cast<std::int64_t>(tick) * tickFrames_;
}

std::optional<std::int64_t> EdgeFinder::lastSound(std::size_t from, std::size_t to,
                                                  std::size_t rest) {
    if (!load(from, std::max(to, rest + 1), rest))
        return frameAt(to);
    std::optional<std::int64_t> faint;
    for (std::int64_t frame = frameAt(to); frame-- > frameAt(from) && !faint;)
        if (loud(frame, rule_.edgeLevel))
            faint = frame;
    if (!faint || resting(*faint + 1, *faint + 1 + rule_.fringeFrames))
        return faint ? std::optional(*faint + 1) : std::nullopt;
    for (std::int64_t frame = *faint + 1; frame-- > frameAt(from);)
        if (loud(frame, rule_.strongLevel)) {
            std::int64_t last = frame;
            for (std::int64_t next = frame + 1; next <= frame + rule_.fringeFrames; ++next)
                if (loud(next, rule_.edgeLevel))
                    last = next;
            return last + 1;
        }
    return std::nullopt;
}

std::optional<std::int64_t> EdgeFinder::firstSound(std::size_t from, std::size_t to,
                                                   std::size_t rest) {
    if (!load(std::min(from, rest), to, rest))
        return frameAt(from);
    std::optional<std::int64_t> faint;
    for (std::int64_t frame = frameAt(from); frame < frameAt(to) && !faint; ++frame)
        if (loud(frame, rule_.edgeLevel))
            faint = frame;
    if (!faint || resting(std::max(start_, *faint - rule_.fringeFrames), *faint))
        return faint;
    for (std::int64_t frame = *faint; frame < frameAt(to); ++frame)
        if (loud(frame, rule_.strongLevel)) {
            std::int64_t first = frame;
            for (std::int64_t before = frame - 1;
                 before >= std::max(start_, frame - rule_.fringeFrames); --before)
                if (loud(before, rule_.edgeLevel))
                    first = before;
            return first;
        }
    return std::nullopt;
}

// Reads ticks [from, to) with the ticks before them that the filter needs, and notes where each
// channel of tick `rest` rests.
bool EdgeFinder::load(std::size_t from, std::size_t to, std::size_t rest) {
    const std::size_t settled = from - std::min(from, kSettleTicks);
    start_ = frameAt(settled);
    raw_.resize(static_cast<std::size_t>(frameAt(to) - start_) * channels_);
    if (!recording_.seek(start_))
        return false;
    raw_.resize(recording_.readFrames(raw_) * channels_);
    band_ = speechBandOf(raw_, channels_, recording_.sampleRate(), rule_.lowestHz);
    const auto restAt = static_cast<std::size_t>(frameAt(rest) - start_) * channels_;
    const std::size_t restEnd =
        std::min(raw_.size(), restAt + static_cast<std::size_t>(tickFrames_) * channels_);
    for (std::size_t channel = 0; channel < channels_; ++channel) {
        float high = -std::numeric_limits<float>::infinity();
        float low = std::numeric_limits<float>::infinity();
        for (std::size_t at = restAt + channel; at < restEnd; at += channels_) {
            high = std::max(high, raw_[at]);
            low = std::min(low, raw_[at]);
        }
        rest_[channel] = low + (high - low) / 2;
    }
    return !raw_.empty();
}

// Every channel of frames [from, to) lies within the resting level of where the pause rests.
bool EdgeFinder::resting(std::int64_t from, std::int64_t to) const {
    for (std::int64_t frame = from; frame < to; ++frame) {
        const auto at = static_cast<std::size_t>(frame - start_) * channels_;
        if (at >= raw_.size())
            return true;
        for (std::size_t channel = 0; channel < channels_; ++channel)
            if (std::fabs(raw_[at + channel] - rest_[channel]) > rule_.restingLevel)
                return false;
    }
    return true;
}

bool EdgeFinder::loud(std::int64_t frame, float level) const {
    const auto at = static_cast<std::size_t>(frame - start_) * channels_;
    if (at >= raw_.size())
        return false;
    // A sample where a channel of digital silence rests is no sound, whatever the filter still
    // rings with.
    for (std::size_t channel = 0; channel < channels_; ++channel)
        if (raw_[at + channel] != rest_[channel] && std::fabs(band_[at + channel]) > level)
            return true;
    return false;
}

double calmReach(SoundFile& recording, std::int64_t origin, int tickFrames,
                 const std::vector<char>& calm, double lowestHz) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t tick = 0; tick < calm.size();) {
        if (calm[tick] == 0) {
            ++tick;
            continue;
        }
        std::size_t end = tick;
        while (end < calm.size() && calm[end] != 0)
            ++end;
        runs.emplace_back(tick, end);
        tick = end;
    }
    std::vector<float> perPause;
    const auto channels = static_cast<std::size_t>(recording.channels());
    const std::size_t every = runs.size() / kCalmSamples + 1;
    std::vector<float> raw;
    for (std::size_t at = 0; at < runs.size(); at += every) {
        const auto [from, to] = runs[at];
        const std::size_t ticks = std::min(to - from, kCalmSampleTicks);
        const std::size_t first = from + (to - from - ticks) / 2;
        // Read from a little before, so that the filter has settled.
        const std::size_t settled = first - std::min(first, kSettleTicks);
        const std::int64_t start = origin + static_cast<std::int64_t>(settled) * tickFrames;
        raw.resize((first + ticks - settled) * static_cast<std::size_t>(tickFrames) * channels);
        if (!recording.seek(start))
            continue;
        raw.resize(recording.readFrames(raw) * channels);
        const std::vector<float> band =
            speechBandOf(raw, channels, recording.sampleRate(), lowestHz);
        std::vector<float> tickPeaks(first + ticks - settled, 0.0F);
        for (std::size_t sample = 0; sample < band.size(); ++sample) {
            const std::size_t tick = sample / channels / static_cast<std::size_t>(tickFrames);
            tickPeaks[tick] = std::max(tickPeaks[tick], std::fabs(band[sample]));
        }
        std::vector<float> spans;
        for (std::size_t tick = first - settled; tick + kLevelTicks <= tickPeaks.size(); ++tick)
            spans.push_back(*std::max_element(tickPeaks.begin() + static_cast<std::ptrdiff_t>(tick),
                                              tickPeaks.begin() +
                                                  static_cast<std::ptrdiff_t>(tick + kLevelTicks)));
        if (!spans.empty())
            perPause.push_back(static_cast<float>(percentile(spans, kCalmShare)));
    }
    return perPause.empty() ? 0.0 : percentile(perPause, 0.5);
}

} // namespace ravik::audio
