#include "silencedetector.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>

namespace ravik::audio {
namespace {

// Levels are kept per tick of 5 ms: short enough that a pause's edge is found within a tick
// before it is placed to the sample, long enough that a tick of noise has a steady level.
constexpr int kTickMs = 5;
// Sound this short between two pauses is a click (a lip smack, a cable), not speech.
constexpr int kLongestClickMs = 15;
// The level that decides quiet is the mean over this many ticks; it spreads a click over as
// many more.
constexpr std::size_t kLevelTicks = 4;
// Levels below this are taken as digital silence.
constexpr double kBottomDb = -100;
// A recording whose speech stands less than this above its pauses holds no speech to find.
constexpr double kLeastContrastDb = 6;
// The levels of a pause's noise lie within this much of its quietest moments.
constexpr double kPauseWidthDb = 3;
constexpr std::size_t kBlockFrames = 16'384;
// Beyond these a file's header is damaged, not a recording of speech.
constexpr int kHighestRate = 1'000'000;
constexpr int kMostChannels = 256;

double decibels(double meanSquare) {
    return meanSquare > 0 ? std::max(10 * std::log10(meanSquare), kBottomDb) : kBottomDb;
}

// Each tick's level: the mean square of its loudest channel, and its largest sample.
struct Levels {
    int tickFrames = 1;
    std::int64_t frames = 0;
    std::vector<float> energy;
    std::vector<float> peak;
};

Levels readLevels(SoundFile& recording, int tickFrames) {
    Levels levels;
    levels.tickFrames = tickFrames;
    const auto channels = static_cast<std::size_t>(recording.channels());
    const std::int64_t expected = recording.frames() / tickFrames + 1;
    levels.energy.reserve(static_cast<std::size_t>(std::min<std::int64_t>(expected, 1 << 20)));
    levels.peak.reserve(levels.energy.capacity());
    std::vector<float> block(kBlockFrames * channels);
    std::vector<float> sums(channels, 0.0F);
    float peak = 0;
    std::size_t inTick = 0;
    const auto closeTick = [&] {
        const float loudest = *std::max_element(sums.begin(), sums.end());
        levels.energy.push_back(loudest / static_cast<float>(inTick));
        levels.peak.push_back(peak);
        std::fill(sums.begin(), sums.end(), 0.0F);
        peak = 0;
        inTick = 0;
    };
    const auto ticks = static_cast<std::size_t>(tickFrames);
    for (;;) {
        const std::size_t got = recording.readFrames(block);
        if (got == 0)
            break;
        levels.frames += static_cast<std::int64_t>(got);
        // A tick's part of the block at a time, in loops the compiler can keep in registers.
        for (std::size_t frame = 0; frame < got;) {
            const std::size_t count = std::min(got - frame, ticks - inTick);
            const float* samples = block.data() + frame * channels;
            if (channels == 1) {
                float sum[4] = {};
                float high[4] = {};
                std::size_t i = 0;
                for (; i + 4 <= count; i += 4)
                    for (std::size_t lane = 0; lane < 4; ++lane) {
                        const float value = samples[i + lane];
                        sum[lane] += value * value;
                        high[lane] = std::max(high[lane], std::fabs(value));
                    }
                for (; i < count; ++i) {
                    sum[0] += samples[i] * samples[i];
                    high[0] = std::max(high[0], std::fabs(samples[i]));
                }
                sums[0] += (sum[0] + sum[1]) + (sum[2] + sum[3]);
                peak = std::max({peak, high[0], high[1], high[2], high[3]});
            } else {
                for (std::size_t i = 0; i < count * channels; ++i) {
                    const float value = samples[i];
                    sums[i % channels] += value * value;
                    peak = std::max(peak, std::fabs(value));
                }
            }
            frame += count;
            inTick += count;
            if (inTick == ticks)
                closeTick();
        }
    }
    if (inTick > 0)
        closeTick();
    return levels;
}

// The value below which `share` of `values` lie.
double percentile(std::vector<float> values, double share) {
    const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at),
                     values.end());
    return values[at];
}

// Places a pause's edges to the sample by reading back the ticks around them.
class EdgeFinder {
public:
    EdgeFinder(SoundFile& recording, const Levels& levels, float edgeLevel)
        : recording_(recording)
        , levels_(levels)
        , edgeLevel_(edgeLevel)
        , buffer_(static_cast<std::size_t>(levels.tickFrames) *
                  static_cast<std::size_t>(recording.channels())) {}

    // One past the last sample above the edge level in tick `tick`; its start when it has none.
    [[nodiscard]] std::int64_t afterLastSound(std::size_t tick) {
        const std::int64_t first = firstFrame(tick);
        const std::size_t got = read(tick);
        for (std::size_t frame = got; frame-- > 0;)
            if (loud(frame))
                return first + static_cast<std::int64_t>(frame) + 1;
        // An unreadable tick: keep the whole of it out of the silence.
        return got == 0 ? first + levels_.tickFrames : first;
    }
    // The first sample above the edge level in tick `tick`; its start when it cannot be read.
    [[nodiscard]] std::int64_t firstSound(std::size_t tick) {
        const std::int64_t first = firstFrame(tick);
        const std::size_t got = read(tick);
        for (std::size_t frame = 0; frame < got; ++frame)
            if (loud(frame))
                return first + static_cast<std::int64_t>(frame);
        return got == 0 ? first : first + static_cast<std::int64_t>(got);
    }

private:
    [[nodiscard]] std::int64_t firstFrame(std::size_t tick) const {
        return static_cast<std::int64_t>(tick) * levels_.tickFrames;
    }
    std::size_t read(std::size_t tick) {
        if (!recording_.seek(firstFrame(tick)))
            return 0;
        return recording_.readFrames(buffer_);
    }
    [[nodiscard]] bool loud(std::size_t frame) const {
        const auto channels = static_cast<std::size_t>(recording_.channels());
        const float* sample = buffer_.data() + frame * channels;
        for (std::size_t channel = 0; channel < channels; ++channel)
            if (std::fabs(sample[channel]) > edgeLevel_)
                return true;
        return false;
    }

    SoundFile& recording_;
    const Levels& levels_;
    float edgeLevel_;
    std::vector<float> buffer_;
};

struct TickRun {
    std::size_t begin = 0;
    std::size_t end = 0; // one past
};

std::string thousands(std::int64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return digits;
}

template <class Number>
std::optional<Number> numberOf(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> thresholdFromText(std::string_view text) {
    const std::optional<double> db = numberOf<double>(text);
    if (!db || !std::isfinite(*db) || *db >= 0)
        return std::nullopt;
    return db;
}

std::optional<int> leastSilenceFromText(std::string_view text) {
    const std::optional<int> ms = numberOf<int>(text);
    if (!ms || *ms < 1 || *ms > silences::kLastMs)
        return std::nullopt;
    return ms;
}

Detection detectSilences(SoundFile& recording, const DetectOptions& options) {
    Detection detection;
    const std::string& path = recording.path();
    const int rate = recording.sampleRate();
    if (rate <= 0 || rate > kHighestRate || recording.channels() <= 0 ||
        recording.channels() > kMostChannels) {
        detection.failure = Failure{"Could not read the recording", path,
                                    "it has " + std::to_string(rate) + " samples a second in " +
                                        std::to_string(recording.channels()) +
                                        " channels, which is no recording of speech"};
        return detection;
    }
    const int tickFrames = std::max(1, static_cast<int>(std::lround(rate * kTickMs / 1000.0)));
    const Levels levels = readLevels(recording, tickFrames);
    if (auto failure = recording.readFailure()) {
        detection.failure = std::move(failure);
        return detection;
    }
    const auto ms = [rate](std::int64_t frame, bool up) {
        const std::int64_t scaled = frame * 1000;
        return up ? (scaled + rate - 1) / rate : scaled / rate;
    };
    detection.lengthMs = ms(levels.frames, false);
    if (levels.energy.empty()) {
        detection.failure = Failure{"Could not find silences in", path, "it holds no samples"};
        detection.noSpeech = true;
        return detection;
    }

    // Quiet is judged on the level over 20 ms (four ticks): white noise at 22 kHz then varies by
    // a third of a decibel from tick to tick, so the threshold can sit just above it.
    std::vector<float> level(levels.energy.size());
    for (std::size_t tick = 0; tick < level.size(); ++tick) {
        const std::size_t from = tick >= kLevelTicks / 2 ? tick - kLevelTicks / 2 : 0;
        const std::size_t to = std::min(level.size(), tick + kLevelTicks - kLevelTicks / 2);
        double sum = 0;
        for (std::size_t at = from; at < to; ++at)
            sum += levels.energy[at];
        level[tick] = static_cast<float>(sum / static_cast<double>(to - from));
    }
    std::vector<float> levelDb(level.size());
    std::transform(level.begin(), level.end(), levelDb.begin(),
                   [](float energy) { return static_cast<float>(decibels(energy)); });

    // The noise floor is the median level of the pauses: of the ticks within 3 dB of the
    // quietest hundredth of the recording (every voice line has some pause, at least before
    // and after speaking). The speech level is that of the loudest tenth. The threshold sits
    // just above the floor, by two and a half times the pauses' spread (their median less
    // their 10th percentile: soft speech cannot widen it from below) and at least 1 dB, and never
    // more than 40% of the way to the speech: soft speech (fricatives, fading ends) stays speech,
    // while the noise of a pause stays under it.
    const double lowest = percentile(levelDb, 0.01);
    std::vector<float> pauseDb;
    std::copy_if(levelDb.begin(), levelDb.end(), std::back_inserter(pauseDb),
                 [lowest](float db) { return db <= lowest + kPauseWidthDb; });
    detection.noiseFloorDb = percentile(pauseDb, 0.5);
    detection.speechLevelDb = percentile(levelDb, 0.90);
    if (options.thresholdDb) {
        detection.thresholdDb = *options.thresholdDb;
    } else {
        const double contrast = detection.speechLevelDb - detection.noiseFloorDb;
        if (contrast < kLeastContrastDb) {
            detection.failure =
                Failure{"Could not find silences in", path,
                        detection.speechLevelDb <= kBottomDb
                            ? std::string("it is digital silence throughout")
                            : "no speech stands out from its level of " +
                                  std::to_string(std::lround(detection.noiseFloorDb)) + " dBFS"};
            detection.noSpeech = true;
            return detection;
        }
        const double spread = detection.noiseFloorDb - percentile(pauseDb, 0.1);
        detection.thresholdDb =
            detection.noiseFloorDb + std::min(std::max(1.0, 2.5 * spread), 0.4 * contrast);
    }
    const double threshold = std::pow(10.0, detection.thresholdDb / 10);

    // A pause's edges lie where the signal last and first rises above its calm: a quarter
    // above the typical peak of a quiet tick (0 in digital silence, so there the edges are
    // exact to the sample). A quiet stretch with no calm tick in it is soft speech.
    std::vector<float> quietPeaks;
    for (std::size_t tick = 0; tick < levels.energy.size(); ++tick)
        if (levels.energy[tick] < threshold)
            quietPeaks.push_back(levels.peak[tick]);
    const auto edgeLevel =
        static_cast<float>(quietPeaks.empty() ? 0.0 : 1.25 * percentile(quietPeaks, 0.5));
    const auto calm = [&](std::size_t tick) { return levels.peak[tick] <= edgeLevel; };
    const auto quietTick = [&](std::size_t tick) { return level[tick] < threshold; };

    // Quiet stretches, joined across clicks when both sides are pauses in their own right.
    const std::size_t ticks = levels.energy.size();
    const auto longestClick =
        static_cast<std::size_t>((kLongestClickMs + kTickMs - 1) / kTickMs) + kLevelTicks;
    // Both sides of a click must be pauses of the default least length, whatever the option.
    const auto leastTicks = static_cast<std::size_t>(kDefaultLeastSilenceMs / kTickMs);
    std::vector<TickRun> quiet;
    for (std::size_t tick = 0; tick < ticks;) {
        const bool isQuiet = quietTick(tick);
        std::size_t end = tick;
        double loudest = 0;
        while (end < ticks && quietTick(end) == isQuiet)
            loudest = std::max(loudest, double{level[end++]});
        if (isQuiet) {
            const bool joins = !quiet.empty() && tick - quiet.back().end <= longestClick &&
                               quiet.back().end - quiet.back().begin > leastTicks &&
                               end - tick > leastTicks;
            if (joins)
                quiet.back().end = end;
            else
                quiet.push_back({tick, end});
        } else {
            detection.sounds.push_back({static_cast<int>(std::min<std::int64_t>(
                                            ms(static_cast<std::int64_t>(tick) * tickFrames, false),
                                            std::numeric_limits<int>::max())),
                                        static_cast<int>(std::min<std::int64_t>(
                                            ms(static_cast<std::int64_t>(end) * tickFrames, true),
                                            std::numeric_limits<int>::max())),
                                        decibels(loudest)});
        }
        tick = end;
    }

    EdgeFinder edges(recording, levels, edgeLevel);
    int leftOut = 0;
    for (const TickRun& run : quiet) {
        std::size_t first = run.begin;
        while (first < run.end && !calm(first))
            ++first;
        if (first == run.end)
            continue;
        std::size_t last = run.end - 1;
        while (!calm(last))
            --last;
        while (first > 0 && calm(first - 1))
            --first;
        while (last + 1 < ticks && calm(last + 1))
            ++last;
        const std::int64_t startFrame = first == 0 ? 0 : edges.afterLastSound(first - 1);
        const std::int64_t endFrame =
            last + 1 == ticks ? levels.frames : edges.firstSound(last + 1);
        const std::int64_t start = ms(startFrame, true);
        std::int64_t end = ms(endFrame, false);
        if (end - start < options.leastSilenceMs)
            continue;
        if (start > silences::kLastMs) {
            ++leftOut;
            continue;
        }
        end = std::min<std::int64_t>(end, silences::kLastMs);
        if (!detection.silences.empty() && start <= detection.silences.back().end)
            continue; // cannot happen: a sound lies between; kept out all the same
        detection.silences.push_back({static_cast<int>(start), static_cast<int>(end)});
    }
    if (detection.lengthMs > silences::kLastMs)
        detection.warnings.push_back(
            "the recording lasts " + thousands(detection.lengthMs) +
            " ms, longer than a GAP file reaches (32,767 ms): " + std::to_string(leftOut) +
            (leftOut == 1 ? " silence" : " silences") + " after that left out");
    return detection;
}

} // namespace ravik::audio
