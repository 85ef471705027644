// SPDX-License-Identifier: GPL-3.0-or-later
#include "quiet.hpp"

#include "ticklevels.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ravik::audio {
namespace {

constexpr double kHighestHz = 4'000;

} // namespace

int tickFramesAt(int sampleRate) {
    return std::max(1, static_cast<int>(std::lround(sampleRate * kTickMs / 1000.0)));
}

FrameSpan framesOf(std::int64_t startMs, std::int64_t endMs, int sampleRate) {
    const auto frameAt = [sampleRate](std::int64_t ms) {
        const std::int64_t scaled = ms * sampleRate;
        return scaled <= 0 ? 0 : (scaled + 999) / 1000;
    };
    return {frameAt(startMs), std::max(frameAt(startMs), frameAt(endMs))};
}

double decibels(double meanSquare) {
    return meanSquare > 0 ? std::max(10 * std::log10(meanSquare), kBottomDb) : kBottomDb;
}

SpeechBand::SpeechBand(int sampleRate, double lowestHz) {
    // Butterworth sections by the bilinear transform; a band edge past 45% of the sample rate
    // is left out (the section passes everything).
    const auto section = [sampleRate](double hz, bool high) {
        Section made;
        if (hz >= 0.45 * sampleRate) {
            made.b0 = 1;
            return made;
        }
        const double w = 2 * std::numbers::pi * hz / sampleRate;
        const double alpha = std::sin(w) / std::numbers::sqrt2;
        const double c = std::cos(w);
        const double a0 = 1 + alpha;
        const double b = high ? (1 + c) / 2 : (1 - c) / 2;
        made.b0 = static_cast<float>(b / a0);
        made.b1 = static_cast<float>((high ? -2 * b : 2 * b) / a0);
        made.b2 = made.b0;
        made.a1 = static_cast<float>(-2 * c / a0);
        made.a2 = static_cast<float>((1 - alpha) / a0);
        return made;
    };
    high_ = section(lowestHz, true);
    low_ = section(kHighestHz, false);
    lowPass_ = kHighestHz < 0.45 * sampleRate;
}

void SpeechBand::startAt(float sample) {
    // A section at rest under a constant input gives that input times its gain at 0 Hz.
    const auto rest = [](Section& section, float in, float gain) {
        const float out = gain * in;
        section.s1 = out - section.b0 * in;
        section.s2 = section.b2 * in - section.a2 * out;
        return out;
    };
    const float high = rest(high_, sample, high_.b1 == 0.0F ? 1.0F : 0.0F);
    rest(low_, high, 1.0F);
}

std::vector<float> speechBandOf(const std::vector<float>& interleaved, std::size_t channels,
                                int sampleRate, double lowestHz) {
    std::vector<float> band(interleaved.size());
    for (std::size_t channel = 0; channel < channels && !interleaved.empty(); ++channel) {
        SpeechBand filter(sampleRate, lowestHz);
        filter.startAt(interleaved[channel]);
        for (std::size_t at = channel; at < interleaved.size(); at += channels)
            band[at] = filter(interleaved[at]);
    }
    return band;
}

namespace {

// For each tick of `levels` (ticks counted from `start`), the loudest 20 ms inside the stretch
// that holds it and reaches `sound` (the whole stretch when it is shorter); -1 where none does.
std::vector<double> loudestWindows(const TickLevels& levels, std::int64_t start,
                                   std::int64_t readTo, int tickFrames, double sound) {
    const std::size_t ticks = levels.ticks();
    const auto framesIn = [&](std::size_t tick) {
        const std::int64_t first = start + static_cast<std::int64_t>(tick) * tickFrames;
        return static_cast<double>(std::min<std::int64_t>(tickFrames, readTo - first));
    };
    const std::size_t span = std::min(kLevelTicks, ticks);
    std::vector<double> loudest(ticks, -1.0);
    double windowEnergy = 0;
    double windowFrames = 0;
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        windowEnergy += levels.energy[tick] * framesIn(tick);
        windowFrames += framesIn(tick);
        if (tick + 1 < span)
            continue;
        if (tick + 1 > span) {
            windowEnergy -= levels.energy[tick - span] * framesIn(tick - span);
            windowFrames -= framesIn(tick - span);
        }
        const double power = std::max(0.0, windowEnergy) / std::max(1.0, windowFrames);
        if (power >= sound)
            for (std::size_t covered = tick + 1 - span; covered <= tick; ++covered)
                loudest[covered] = std::max(loudest[covered], power);
    }
    return loudest;
}

// The runs of loud ticks as sounds, in frames, but for the clicks: sound of up to 15 ms with at
// least 51 ms of quiet on each side.
std::vector<SoundSpan> soundsBetweenQuiet(const TickLevels& levels,
                                          const std::vector<double>& loudest, std::int64_t start,
                                          std::int64_t end, int rate, double sound) {
    const std::size_t ticks = levels.ticks();
    const int tickFrames = levels.tickFrames;
    std::vector<SoundSpan> sounds;
    const auto frameOf = [&](std::size_t tick) {
        return std::min(end, start + static_cast<std::int64_t>(tick) * tickFrames);
    };
    // A click's sound spreads over every window that holds it, and its ticks may straddle two.
    const std::int64_t longestClick =
        static_cast<std::int64_t>(kLongestClickMs + kTickMs * static_cast<int>(kLevelTicks + 2)) *
        rate / 1000;
    // The quiet beside a click is measured in whole ticks here and by the detector, each from
    // where its own ticks start: two ticks' leeway.
    const std::int64_t clickSide =
        static_cast<std::int64_t>(kClickSideMs - 2 * kTickMs) * rate / 1000;
    std::int64_t quietSince = start;
    for (std::size_t tick = 0; tick < ticks;) {
        if (loudest[tick] < 0) {
            ++tick;
            continue;
        }
        std::size_t stop = tick;
        double peak = 0;
        while (stop < ticks && loudest[stop] >= 0)
            peak = std::max(peak, loudest[stop++]);
        // The windows spread a sound over the quiet beside it: its ends are the ticks that
        // reach the level themselves, where any do.
        std::size_t first = tick;
        std::size_t last = stop;
        const auto reaches = [&](std::size_t at) { return levels.energy[at] >= sound; };
        while (first + 1 < last && !reaches(first))
            ++first;
        while (last - 1 > first && !reaches(last - 1))
            --last;
        if (!reaches(first)) {
            first = tick;
            last = stop;
        }
        const std::int64_t from = frameOf(first);
        const std::int64_t to = frameOf(last);
        std::size_t next = stop;
        while (next < ticks && loudest[next] < 0)
            ++next;
        const bool click = to - from <= longestClick && from - quietSince >= clickSide &&
                           frameOf(next) - to >= clickSide;
        if (!click)
            sounds.push_back({from, to, decibels(peak)});
        quietSince = to;
        tick = stop;
    }
    return sounds;
}

// Each sound's ends to the sample: its first and last sample at the level, within a tick of its
// first and last tick (whose level the octaves' filters spread a little further than the samples
// go), or those ticks' own edges where none is.
void soundEndsToTheSample(SoundFile& recording, std::vector<SoundSpan>& sounds, std::int64_t start,
                          std::int64_t readTo, int tickFrames, double sound) {
    const auto channels = static_cast<std::size_t>(recording.channels());
    const auto atLevel = [&](float sample) { return double{sample} * sample >= sound; };
    std::vector<float> frames;
    for (SoundSpan& found : sounds) {
        const std::int64_t from = std::max(start, found.start - tickFrames);
        const std::int64_t to = std::min(readTo, found.end + tickFrames);
        const std::int64_t reach = 2 * std::int64_t{tickFrames};
        if (to <= from || !recording.seek(from))
            continue;
        frames.resize(static_cast<std::size_t>(to - from) * channels);
        frames.resize(recording.readFrames(frames) * channels);
        const std::vector<float> band = speechBandOf(frames, channels, recording.sampleRate());
        const auto frameLoud = [&](std::int64_t frame) {
            const auto at = static_cast<std::size_t>(frame - from) * channels;
            return std::any_of(band.begin() + static_cast<std::ptrdiff_t>(at),
                               band.begin() + static_cast<std::ptrdiff_t>(at + channels), atLevel);
        };
        const std::int64_t read = from + static_cast<std::int64_t>(frames.size() / channels);
        for (std::int64_t frame = from; frame < std::min(read, found.start + reach); ++frame)
            if (frameLoud(frame)) {
                found.start = frame;
                break;
            }
        for (std::int64_t frame = std::min(read, to);
             frame-- > std::max(from, found.end - tickFrames);)
            if (frameLoud(frame)) {
                found.end = std::max(found.start + 1, frame + 1);
                break;
            }
    }
}

} // namespace

std::vector<SoundSpan> soundInside(SoundFile& recording, std::int64_t start, std::int64_t end,
                                   double soundDb) {
    if (end <= start)
        return {};
    const int tickFrames = tickFramesAt(recording.sampleRate());
    const TickLevels levels = readTickLevels(recording, start, end, tickFrames);
    const std::int64_t readTo = std::min(levels.frames, end);
    const double sound = std::pow(10.0, soundDb / 10);
    std::vector<SoundSpan> sounds =
        soundsBetweenQuiet(levels, loudestWindows(levels, start, readTo, tickFrames, sound), start,
                           end, recording.sampleRate(), sound);
    soundEndsToTheSample(recording, sounds, start, readTo, tickFrames, sound);
    // What could not be read is not known to be quiet.
    if (readTo < end)
        sounds.push_back({readTo, end, 0});
    return sounds;
}

} // namespace ravik::audio
