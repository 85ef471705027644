#include "quiet.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ravik::audio {
namespace {

constexpr double kLowestHz = 200;
constexpr double kHighestHz = 4'000;
constexpr std::size_t kBlockFrames = 16'384;
// The parts of a block whose speech band is filtered at once.
constexpr std::size_t kParts = 4;

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

SpeechBand::SpeechBand(int sampleRate) {
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
    high_ = section(kLowestHz, true);
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

BandStream::BandStream(int sampleRate, std::size_t channels)
    : channels_(channels)
    , settle_(static_cast<std::size_t>(std::max(1, sampleRate / 100)))
    , running_(channels, SpeechBand(sampleRate)) {}

void BandStream::filter(std::span<const float> interleaved, std::size_t frames,
                        std::span<float> band) {
    if (frames == 0)
        return;
    const std::size_t stride = channels_;
    for (std::size_t channel = 0; channel < channels_; ++channel) {
        const float* in = interleaved.data() + channel;
        float* out = band.data() + channel;
        SpeechBand& running = running_[channel];
        if (!started_)
            running.startAt(in[0]);
        const std::size_t part = frames / kParts;
        if (part < 2 * settle_) {
            for (std::size_t frame = 0; frame < frames; ++frame)
                out[frame * stride] = running(in[frame * stride]);
            continue;
        }
        // The later parts start from the samples before them; the first goes on from the last
        // block. Four filters step together, so that no step waits for the one before, and work
        // on local copies that no store into the output can touch.
        std::vector<SpeechBand> filters(kParts, running);
        for (std::size_t lane = 1; lane < kParts; ++lane) {
            const std::size_t from = lane * part - settle_;
            filters[lane].startAt(in[from * stride]);
            for (std::size_t frame = from; frame < lane * part; ++frame)
                (void)filters[lane](in[frame * stride]);
        }
        for (std::size_t lane = 0; lane < kParts; lane += 4) {
            SpeechBand f0 = filters[lane];
            SpeechBand f1 = filters[lane + 1];
            SpeechBand f2 = filters[lane + 2];
            SpeechBand f3 = filters[lane + 3];
            const float* __restrict i0 = in + lane * part * stride;
            const float* __restrict i1 = i0 + part * stride;
            const float* __restrict i2 = i1 + part * stride;
            const float* __restrict i3 = i2 + part * stride;
            float* __restrict o0 = out + lane * part * stride;
            float* __restrict o1 = o0 + part * stride;
            float* __restrict o2 = o1 + part * stride;
            float* __restrict o3 = o2 + part * stride;
            for (std::size_t at = 0; at < part * stride; at += stride) {
                o0[at] = f0(i0[at]);
                o1[at] = f1(i1[at]);
                o2[at] = f2(i2[at]);
                o3[at] = f3(i3[at]);
            }
            filters[lane + 3] = f3;
        }
        SpeechBand& last = filters[kParts - 1];
        for (std::size_t frame = kParts * part; frame < frames; ++frame)
            out[frame * stride] = last(in[frame * stride]);
        running = last;
    }
    started_ = true;
}

std::vector<SoundSpan> soundInside(SoundFile& recording, std::int64_t start, std::int64_t end,
                                   double soundDb) {
    std::vector<SoundSpan> sounds;
    if (end <= start)
        return sounds;
    const auto channels = static_cast<std::size_t>(recording.channels());
    const int tickFrames = tickFramesAt(recording.sampleRate());
    if (!recording.seek(start))
        return {{start, end, 0}};

    // Each tick's energy (its loudest channel's sum of squares) and frames, from `start` on,
    // and where in it the first and last sample at the level lie (-1 and 0 when none does).
    const double sound = std::pow(10.0, soundDb / 10);
    std::vector<double> energy;
    std::vector<int> frames;
    std::vector<int> loudFrom;
    std::vector<int> loudTo;
    int firstLoud = -1;
    int lastLoud = -1;
    BandStream bands(recording.sampleRate(), channels);
    std::vector<float> block(kBlockFrames * channels);
    std::vector<float> inBand(block.size());
    std::vector<double> sums(channels, 0.0);
    int inTick = 0;
    std::int64_t readTo = start;
    while (readTo < end) {
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(end - readTo, static_cast<std::int64_t>(kBlockFrames)));
        const std::size_t got = recording.readFrames(std::span(block).first(want * channels));
        if (got == 0)
            break;
        bands.filter(block, got, inBand);
        for (std::size_t frame = 0; frame < got; ++frame) {
            for (std::size_t channel = 0; channel < channels; ++channel) {
                const float value = inBand[frame * channels + channel];
                sums[channel] += double{value} * value;
                if (double{value} * value >= sound) {
                    if (firstLoud < 0)
                        firstLoud = inTick;
                    lastLoud = inTick;
                }
            }
            if (++inTick == tickFrames) {
                energy.push_back(*std::max_element(sums.begin(), sums.end()));
                frames.push_back(inTick);
                loudFrom.push_back(firstLoud);
                loudTo.push_back(lastLoud + 1);
                firstLoud = -1;
                lastLoud = -1;
                std::fill(sums.begin(), sums.end(), 0.0);
                inTick = 0;
            }
        }
        readTo += static_cast<std::int64_t>(got);
    }
    if (inTick > 0) {
        loudFrom.push_back(firstLoud);
        loudTo.push_back(lastLoud + 1);
        energy.push_back(*std::max_element(sums.begin(), sums.end()));
        frames.push_back(inTick);
    }

    // Every window of 20 ms inside the stretch (the whole of it when shorter) that reaches the
    // level makes its ticks loud; the loudest window touching a tick gives its level.
    const std::size_t ticks = energy.size();
    const std::size_t span = std::min(kLevelTicks, ticks);
    std::vector<double> loudest(ticks, -1.0);
    double windowEnergy = 0;
    std::int64_t windowFrames = 0;
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        windowEnergy += energy[tick];
        windowFrames += frames[tick];
        if (tick + 1 < span)
            continue;
        if (tick + 1 > span) {
            windowEnergy -= energy[tick - span];
            windowFrames -= frames[tick - span];
        }
        const double power = std::max(0.0, windowEnergy) / static_cast<double>(windowFrames);
        if (power >= sound)
            for (std::size_t covered = tick + 1 - span; covered <= tick; ++covered)
                loudest[covered] = std::max(loudest[covered], power);
    }

    const auto frameOf = [&](std::size_t tick) {
        return start + static_cast<std::int64_t>(tick) * tickFrames;
    };
    // A click's sound spreads over every window that holds it, and its ticks may straddle two.
    const std::int64_t longestClick =
        static_cast<std::int64_t>(kLongestClickMs + kTickMs * static_cast<int>(kLevelTicks + 2)) *
        recording.sampleRate() / 1000;
    // The quiet beside a click is measured in whole ticks here and by the detector, each from
    // where its own ticks start: two ticks' leeway.
    const std::int64_t clickSide =
        static_cast<std::int64_t>(kClickSideMs - 2 * kTickMs) * recording.sampleRate() / 1000;
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
        const auto reaches = [&](std::size_t at) {
            return energy[at] >= sound * static_cast<double>(frames[at]);
        };
        while (first + 1 < last && !reaches(first))
            ++first;
        while (last - 1 > first && !reaches(last - 1))
            --last;
        if (!reaches(first)) {
            first = tick;
            last = stop;
        }
        // To the sample where the first and last of those ticks hold one at the level.
        const std::int64_t from = frameOf(first) + std::max(0, loudFrom[first]);
        const std::int64_t to = std::min(
            loudTo[last - 1] > 0 ? frameOf(last - 1) + loudTo[last - 1] : frameOf(last), end);
        std::size_t next = stop;
        while (next < ticks && loudest[next] < 0)
            ++next;
        const std::int64_t quietAfter = std::min(frameOf(next), end) - to;
        const bool click =
            to - from <= longestClick && from - quietSince >= clickSide && quietAfter >= clickSide;
        if (!click)
            sounds.push_back({from, to, decibels(peak)});
        quietSince = to;
        tick = stop;
    }
    // What could not be read is not known to be quiet.
    if (readTo < end)
        sounds.push_back({readTo, end, 0});
    return sounds;
}

} // namespace ravik::audio
