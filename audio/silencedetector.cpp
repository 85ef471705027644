#include "silencedetector.hpp"

#include "quiet.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>

namespace ravik::audio {
namespace {

// A lossy codec spreads its noise a few milliseconds around speech, this far under it and
// more: no sound for the automatic threshold.
constexpr double kCodecNoiseDb = 40;
// A recording whose speech stands less than this above its pauses holds no speech to find.
constexpr double kLeastContrastDb = 6;
constexpr std::size_t kBlockFrames = 16'384;
// Beyond these a file's header is damaged, not a recording of speech.
constexpr int kHighestRate = 1'000'000;
constexpr int kMostChannels = 256;

// Each tick's speech-band energy (the mean square of its loudest channel), its speech band's
// peak (in any channel), and its spread: half the distance between its highest and lowest
// sample in the channel where that is widest. A spread of 0 is digital silence (zeros, or a
// constant offset).
struct Levels {
    int tickFrames = 1;
    std::int64_t origin = 0; ///< the first tick's first frame
    std::int64_t frames = 0;
    std::vector<float> energy;
    std::vector<float> peak;
    std::vector<float> spread;
};

// Where the recording first moves: the frames before it repeat the first one (digital
// silence, padding), or nothing. Ticks are counted from there, so that padding a recording
// leaves every tick of it as it was.
std::int64_t firstMove(SoundFile& recording) {
    const auto channels = static_cast<std::size_t>(recording.channels());
    std::vector<float> block(kBlockFrames * channels);
    std::vector<float> first;
    std::int64_t at = 0;
    for (;;) {
        const std::size_t got = recording.readFrames(block);
        if (got == 0)
            return at;
        if (first.empty())
            first.assign(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(channels));
        for (std::size_t frame = 0; frame < got; ++frame, ++at)
            if (!std::equal(first.begin(), first.end(),
                            block.begin() + static_cast<std::ptrdiff_t>(frame * channels)))
                return at;
    }
}

Levels readLevels(SoundFile& recording, int tickFrames) {
    Levels levels;
    levels.tickFrames = tickFrames;
    // A run shorter than a tick is no padding: two equal samples of a quiet room.
    const std::int64_t still = firstMove(recording);
    levels.origin = still < tickFrames ? 0 : still % tickFrames;
    levels.frames = levels.origin;
    if (!recording.seek(levels.origin))
        return levels;
    const auto channels = static_cast<std::size_t>(recording.channels());
    const std::int64_t expected = recording.frames() / tickFrames + 1;
    levels.energy.reserve(static_cast<std::size_t>(std::min<std::int64_t>(expected, 1 << 20)));
    levels.peak.reserve(levels.energy.capacity());
    levels.spread.reserve(levels.energy.capacity());
    std::vector<float> block(kBlockFrames * channels);
    BandStream bands(recording.sampleRate(), channels);
    std::vector<float> inBand(block.size());
    std::vector<float> sums(channels, 0.0F);
    float peak = 0;
    std::vector<float> highest(channels, -std::numeric_limits<float>::infinity());
    std::vector<float> lowest(channels, std::numeric_limits<float>::infinity());
    std::size_t inTick = 0;
    const auto closeTick = [&] {
        levels.energy.push_back(*std::max_element(sums.begin(), sums.end()) /
                                static_cast<float>(inTick));
        float widest = 0;
        for (std::size_t channel = 0; channel < channels; ++channel)
            widest = std::max(widest, (highest[channel] - lowest[channel]) / 2);
        levels.spread.push_back(widest);
        levels.peak.push_back(peak);
        peak = 0;
        std::fill(sums.begin(), sums.end(), 0.0F);
        std::fill(highest.begin(), highest.end(), -std::numeric_limits<float>::infinity());
        std::fill(lowest.begin(), lowest.end(), std::numeric_limits<float>::infinity());
        inTick = 0;
    };
    const auto ticks = static_cast<std::size_t>(tickFrames);
    for (;;) {
        const std::size_t got = recording.readFrames(block);
        if (got == 0)
            break;
        bands.filter(block, got, inBand);
        levels.frames += static_cast<std::int64_t>(got);
        // A tick's part of the block at a time, channel by channel.
        for (std::size_t frame = 0; frame < got;) {
            const std::size_t count = std::min(got - frame, ticks - inTick);
            const float* samples = block.data() + frame * channels;
            const float* filtered = inBand.data() + frame * channels;
            for (std::size_t channel = 0; channel < channels; ++channel) {
                float sum = 0;
                float bandPeak = peak;
                float high = highest[channel];
                float low = lowest[channel];
                for (std::size_t i = 0; i < count; ++i) {
                    const float value = samples[i * channels + channel];
                    const float speech = filtered[i * channels + channel];
                    sum += speech * speech;
                    bandPeak = std::max(bandPeak, std::fabs(speech));
                    high = std::max(high, value);
                    low = std::min(low, value);
                }
                sums[channel] += sum;
                peak = bandPeak;
                highest[channel] = high;
                lowest[channel] = low;
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

// The level of a recording's pauses: the lowest 6 dB of tick levels that holds a twentieth of
// them, moved up to where most of the ticks near it lie, and the middle of the ticks there. A
// room's floor is the level most of its pauses keep; a fade passes through every level and
// sets none of them.
double floorLevel(std::vector<float> levels) {
    std::sort(levels.begin(), levels.end());
    const auto within = [&](double low, double high) {
        return std::make_pair(std::lower_bound(levels.begin(), levels.end(), low),
                              std::upper_bound(levels.begin(), levels.end(), high));
    };
    const auto mass = [&](double centre) {
        const auto [from, to] = within(centre - 3, centre + 3);
        return to - from;
    };
    const auto enough = static_cast<std::ptrdiff_t>(levels.size() / 20 + 1);
    double centre = levels.front();
    while (centre < levels.back() && mass(centre) < enough)
        centre += 0.5;
    double best = centre;
    for (double up = centre; up <= centre + 6; up += 0.5)
        if (mass(up) > mass(best))
            best = up;
    const auto [from, to] = within(best - 3, best + 3);
    return *(from + (to - from) / 2);
}

// Places a pause's edges to the sample by reading back the ticks around them: the last sample
// before the pause and the first after it whose speech band rises past the edge level, in any
// channel that has left where the pause rests (in digital silence the band filter still rings).
class EdgeFinder {
public:
    EdgeFinder(SoundFile& recording, std::int64_t origin, int tickFrames, float edgeLevel)
        : recording_(recording)
        , origin_(origin)
        , tickFrames_(tickFrames)
        , channels_(static_cast<std::size_t>(recording.channels()))
        , edgeLevel_(edgeLevel)
        , rest_(channels_) {}

    // One past the last sound before the quiet tick `quiet`, looking back to tick `earliest`;
    // the start of `quiet` when there is none.
    [[nodiscard]] std::int64_t afterLastSound(std::size_t quiet, std::size_t earliest) {
        for (std::size_t to = quiet; to > earliest;) {
            const std::size_t from = to - std::min(to - earliest, kScanTicks);
            if (!load(from, quiet + 1, quiet))
                return firstFrame(quiet + 1); // unreadable: keep the tick out of the silence
            for (std::int64_t frame = firstFrame(to); frame-- > firstFrame(from);)
                if (loud(frame))
                    return frame + 1;
            to = from;
        }
        return firstFrame(quiet);
    }
    // The first sound after the quiet tick `quiet`, looking on to tick `latest`; the end of
    // `quiet` when there is none.
    [[nodiscard]] std::int64_t firstSound(std::size_t quiet, std::size_t latest) {
        for (std::size_t from = quiet + 1; from <= latest;) {
            const std::size_t to = std::min(latest + 1, from + kScanTicks);
            if (!load(quiet, to, quiet))
                return firstFrame(quiet);
            for (std::int64_t frame = firstFrame(from); frame < firstFrame(to); ++frame)
                if (loud(frame))
                    return frame;
            from = to;
        }
        return firstFrame(quiet + 1);
    }

private:
    static constexpr std::size_t kScanTicks = 8;
    // Ticks read before a scanned part, for the band filter to settle.
    static constexpr std::size_t kSettleTicks = 4;

    [[nodiscard]] std::int64_t firstFrame(std::size_t tick) const {
        return origin_ + static_cast<std::int64_t>(tick) * tickFrames_;
    }
    // Reads ticks [from, to), where the quiet tick is the first or the last, with the ticks
    // before them that the filter needs; notes where each channel of the quiet tick rests.
    bool load(std::size_t from, std::size_t to, std::size_t quiet) {
        const std::size_t settled = from - std::min(from, kSettleTicks);
        start_ = firstFrame(settled);
        const auto frames = static_cast<std::size_t>(firstFrame(to) - start_);
        raw_.resize(frames * channels_);
        if (!recording_.seek(start_))
            return false;
        raw_.resize(recording_.readFrames(raw_) * channels_);
        band_.resize(raw_.size());
        for (std::size_t channel = 0; channel < channels_ && !raw_.empty(); ++channel) {
            SpeechBand filter(recording_.sampleRate());
            filter.startAt(raw_[channel]);
            for (std::size_t at = channel; at < raw_.size(); at += channels_)
                band_[at] = filter(raw_[at]);
        }
        // Where each channel of the quiet tick rests (the quiet tick is the first or the last).
        const auto quietAt = static_cast<std::size_t>(firstFrame(quiet) - start_) * channels_;
        const std::size_t quietEnd =
            std::min(raw_.size(), quietAt + static_cast<std::size_t>(tickFrames_) * channels_);
        for (std::size_t channel = 0; channel < channels_; ++channel) {
            float high = -std::numeric_limits<float>::infinity();
            float low = std::numeric_limits<float>::infinity();
            for (std::size_t at = quietAt + channel; at < quietEnd; at += channels_) {
                high = std::max(high, raw_[at]);
                low = std::min(low, raw_[at]);
            }
            rest_[channel] = low + (high - low) / 2;
        }
        return !raw_.empty();
    }
    [[nodiscard]] bool loud(std::int64_t frame) const {
        const auto at = static_cast<std::size_t>(frame - start_) * channels_;
        if (at >= raw_.size())
            return false;
        // A sample where a channel of digital silence rests is no sound, whatever the filter
        // still rings with.
        for (std::size_t channel = 0; channel < channels_; ++channel)
            if (raw_[at + channel] != rest_[channel] && std::fabs(band_[at + channel]) > edgeLevel_)
                return true;
        return false;
    }

    SoundFile& recording_;
    std::int64_t origin_;
    int tickFrames_;
    std::size_t channels_;
    float edgeLevel_;
    std::int64_t start_ = 0;
    std::vector<float> raw_;
    std::vector<float> band_;
    std::vector<float> rest_;
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
    const int tickFrames = tickFramesAt(rate);
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
    const std::size_t ticks = levels.energy.size();
    if (ticks == 0) {
        detection.failure = Failure{"Could not find silences in", path, "it holds no samples"};
        detection.noSpeech = true;
        return detection;
    }

    // Quiet is judged on the level over 20 ms (four ticks): white noise at 22 kHz then varies by
    // a third of a decibel from tick to tick, so a threshold can sit just above it. Ticks of
    // digital silence count for nothing in it (so padding changes no level of the recording),
    // and the floor and the speech level come from the other ticks only: digital silence says
    // nothing about the room.
    const auto dead = [&](std::size_t tick) { return levels.spread[tick] == 0; };
    const auto meanOf = [&](std::size_t from, std::size_t to) {
        double sum = 0;
        int live = 0;
        for (std::size_t at = from; at < to; ++at)
            if (!dead(at)) {
                sum += levels.energy[at];
                ++live;
            }
        return live == 0 ? 0.0 : sum / live;
    };
    std::vector<float> levelDb(ticks);
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        const std::size_t from = tick >= kLevelTicks / 2 ? tick - kLevelTicks / 2 : 0;
        const std::size_t to = std::min(ticks, tick + kLevelTicks - kLevelTicks / 2);
        levelDb[tick] = dead(tick) ? static_cast<float>(kBottomDb)
                                   : static_cast<float>(decibels(meanOf(from, to)));
    }
    // The recording's first and last quarter second are left out of them too, where the
    // recording is long enough: a fade in or out lies there.
    std::size_t firstLive = 0;
    while (firstLive < ticks && dead(firstLive))
        ++firstLive;
    std::size_t lastLive = ticks;
    while (lastLive > firstLive && dead(lastLive - 1))
        --lastLive;
    constexpr std::size_t kEndTicks = 250 / kTickMs;
    const bool trim = lastLive - firstLive >= 4 * kEndTicks;
    const std::size_t measuredFrom = trim ? firstLive + kEndTicks : firstLive;
    const std::size_t measuredTo = trim ? lastLive - kEndTicks : lastLive;
    const auto measured = [&](std::size_t tick) {
        return !dead(tick) && tick >= measuredFrom && tick < measuredTo;
    };
    std::vector<float> liveDb;
    for (std::size_t tick = 0; tick < ticks; ++tick)
        if (measured(tick))
            liveDb.push_back(levelDb[tick]);

    // The thresholds. A pause starts where the level falls within a few decibels of the floor
    // and lasts while it stays under a higher level: a room's floor swings (breath, rumble, a
    // chair), and a swing must not end a pause. Both margins grow with the floor's own spread
    // (the floor less the low tenth of the ticks under it) and stay well under the speech.
    double enterDb = 0;
    double soundDb = 0;
    if (liveDb.empty()) {
        detection.noiseFloorDb = kBottomDb;
        detection.speechLevelDb = kBottomDb;
    } else {
        detection.noiseFloorDb = floorLevel(liveDb);
        detection.speechLevelDb = percentile(liveDb, 0.9);
        // Pauses of digital silence inside the recording (a synthesiser's, or a noise gate's)
        // make digital silence its floor; padding at its ends does not.
        const auto leastTicks = static_cast<std::size_t>(kClickSideMs / kTickMs);
        bool silentPause = false;
        bool anyDead = false;
        for (std::size_t tick = 0; tick < ticks && !silentPause;) {
            std::size_t end = tick;
            while (end < ticks && dead(end))
                ++end;
            anyDead = anyDead || end > tick;
            silentPause = end - tick >= leastTicks && tick > 0 && end < ticks;
            tick = std::max(end, tick + 1);
        }
        // So does any digital silence when the rest holds no floor of its own.
        if (silentPause ||
            (anyDead && detection.speechLevelDb - detection.noiseFloorDb < kLeastContrastDb))
            detection.noiseFloorDb = kBottomDb;
    }
    if (options.thresholdDb) {
        enterDb = *options.thresholdDb;
        soundDb = *options.thresholdDb;
    } else {
        const double contrast = detection.speechLevelDb - detection.noiseFloorDb;
        if (liveDb.empty() || contrast < kLeastContrastDb) {
            detection.failure =
                Failure{"Could not find silences in", path,
                        liveDb.empty() || detection.speechLevelDb <= kBottomDb
                            ? std::string("it is digital silence throughout")
                            : "no speech stands out from its level of " +
                                  std::to_string(std::lround(detection.noiseFloorDb)) + " dBFS"};
            detection.noSpeech = true;
            return detection;
        }
        std::vector<float> under;
        for (float db : liveDb)
            if (db <= detection.noiseFloorDb && db > detection.noiseFloorDb - 20)
                under.push_back(db);
        const double spread = under.empty() ? 0.0 : detection.noiseFloorDb - percentile(under, 0.1);
        enterDb = detection.noiseFloorDb + std::min(std::max(1.5, 2 * spread), 0.3 * contrast);
        // How far the floor swings up: around each tick that rests at the floor, the loudest
        // moment within 25 ms, taken where three in four such moments lie. In a pause that is
        // the room's breath and rumble; the few ticks at a pause's end add the speech.
        std::vector<float> swings;
        constexpr std::size_t kAround = 25 / kTickMs;
        for (std::size_t tick = 0; tick < ticks; ++tick) {
            if (!measured(tick) || levelDb[tick] > enterDb)
                continue;
            const std::size_t from = tick - std::min(tick, kAround);
            const std::size_t to = std::min(ticks, tick + kAround + 1);
            swings.push_back(*std::max_element(levelDb.begin() + static_cast<std::ptrdiff_t>(from),
                                               levelDb.begin() + static_cast<std::ptrdiff_t>(to)));
        }
        const double swing =
            swings.empty() ? 0.0 : percentile(swings, 0.75) - detection.noiseFloorDb;
        soundDb = detection.noiseFloorDb +
                  std::min(std::max({3.0, 4 * spread, 2 * swing, 0.25 * contrast}), 0.5 * contrast);
        // However quiet the floor (digital silence), a lossy codec's noise around the speech,
        // 40 dB and more under it, is no sound.
        enterDb = std::max(enterDb, detection.speechLevelDb - kCodecNoiseDb - 10);
        soundDb = std::max({soundDb, enterDb + 1.5, detection.speechLevelDb - kCodecNoiseDb});
    }
    detection.thresholdDb = soundDb;

    // Sound: each run of ticks whose own level reaches the entering level and whose level over
    // 20 ms somewhere reaches the sound level. A swing of the floor that stays under the sound
    // level is no sound, and the run's ends lie where the speech leaves the floor, not where its
    // level over 20 ms crosses a threshold. Pauses lie between the sounds; a click between two
    // pauses of the default least length is part of the pause.
    // Over 10 ms: half a period of mains hum, whose level over one tick swings with its phase.
    const double enter = std::pow(10.0, enterDb / 10);
    const auto above = [&](std::size_t tick) {
        return !dead(tick) && meanOf(tick, std::min(ticks, tick + 2)) >= enter;
    };
    std::vector<TickRun> sounds;
    for (std::size_t tick = 0; tick < ticks;) {
        std::size_t end = tick;
        bool loud = false;
        for (; end < ticks && above(end); ++end)
            loud = loud || levelDb[end] >= soundDb;
        if (loud)
            sounds.push_back({tick, end});
        tick = std::max(end, tick + 1);
    }

    // A pause's edges lie where the signal last and first strays from its calm: a quarter
    // further than three in four of the quiet ticks do (0 in digital silence, so there the
    // edges are exact to the sample).
    std::vector<float> quietPeaks;
    for (std::size_t tick = 0; tick < ticks; ++tick)
        if (!above(tick) && (measured(tick) || detection.noiseFloorDb <= kBottomDb))
            quietPeaks.push_back(levels.peak[tick]);
    const auto edgeLevel = static_cast<float>(std::max(
        quietPeaks.empty() ? 0.0 : 1.25 * percentile(quietPeaks, 0.75),
        options.thresholdDb ? 0.0
                            : std::pow(10.0, (detection.speechLevelDb - kCodecNoiseDb) / 20)));

    // A click is a sound whose loud core (its level over 20 ms at the sound level) lasts no
    // more than 15 ms and the 20 ms the level is taken over, with a pause of the default least
    // length on each side of that core: the floor's own swings beside it belong to the pause.
    const auto longestClick =
        static_cast<std::size_t>((kLongestClickMs + kTickMs - 1) / kTickMs) + kLevelTicks;
    // Whole ticks of quiet on each side, a tick less for where the click falls in its tick,
    // and half a level's span less, by which the core reaches out on either side.
    const auto leastTicks = static_cast<std::size_t>(kClickSideMs / kTickMs) - 1 - kLevelTicks / 2;
    const auto core = [&](const TickRun& run) {
        TickRun loud = run;
        while (loud.begin + 1 < loud.end && levelDb[loud.begin] < soundDb)
            ++loud.begin;
        while (loud.end - 1 > loud.begin && levelDb[loud.end - 1] < soundDb)
            --loud.end;
        return loud;
    };
    std::vector<TickRun> kept;
    for (std::size_t at = 0; at < sounds.size(); ++at) {
        const TickRun loud = core(sounds[at]);
        const std::size_t quietBefore = loud.begin - (kept.empty() ? 0 : kept.back().end);
        const std::size_t quietAfter =
            (at + 1 < sounds.size() ? core(sounds[at + 1]).begin : ticks) - loud.end;
        const bool click = loud.end - loud.begin <= longestClick && quietBefore >= leastTicks &&
                           quietAfter >= leastTicks;
        if (!click)
            kept.push_back(sounds[at]);
    }
    sounds = std::move(kept);

    EdgeFinder edges(recording, levels.origin, tickFrames, edgeLevel);
    int leftOut = 0;
    std::vector<Silence> found;
    for (std::size_t at = 0; at <= sounds.size(); ++at) {
        const std::size_t first = at == 0 ? 0 : sounds[at - 1].end;
        const std::size_t end = at == sounds.size() ? ticks : sounds[at].begin;
        if (first >= end)
            continue;
        const std::int64_t startFrame =
            at == 0 ? 0 : edges.afterLastSound(first, sounds[at - 1].begin);
        const std::int64_t endFrame =
            at == sounds.size() ? levels.frames : edges.firstSound(end - 1, sounds[at].end - 1);
        found.push_back({ms(startFrame, true), ms(endFrame, false)});
    }

    // Every silence holds no sound by the rule verify judges with: a part that does is cut out.
    for (std::size_t at = 0; at < found.size(); ++at) {
        const Silence silence = found[at];
        if (silence.end - silence.start < options.leastSilenceMs)
            continue;
        const FrameSpan span = framesOf(silence.start, silence.end, rate);
        const std::vector<SoundSpan> inside = soundInside(recording, span.start, span.end, soundDb);
        if (!inside.empty()) {
            // The parts between the sounds go back to be judged on their own.
            std::int64_t from = silence.start;
            std::vector<Silence> parts;
            for (const SoundSpan& sound : inside) {
                // Each part is shorter than the silence, so that this ends.
                parts.push_back({from, std::min(ms(sound.start, false), silence.end - 1)});
                from = std::max(ms(sound.end, true), silence.start + 1);
            }
            parts.push_back({from, silence.end});
            std::erase_if(parts, [&](const Silence& part) {
                return part.end - part.start < options.leastSilenceMs;
            });
            found.insert(found.begin() + static_cast<std::ptrdiff_t>(at) + 1, parts.begin(),
                         parts.end());
            continue;
        }
        if (silence.start > silences::kLastMs) {
            ++leftOut;
            continue;
        }
        const Silence fits{silence.start, std::min<std::int64_t>(silence.end, silences::kLastMs)};
        if (!detection.silences.empty() && fits.start <= detection.silences.back().end)
            continue; // cannot happen: a sound lies between; kept out all the same
        detection.silences.push_back(fits);
    }
    if (detection.lengthMs > silences::kLastMs)
        detection.warnings.push_back(
            "the recording lasts " + thousands(detection.lengthMs) +
            " ms, longer than a GAP file reaches (32,767 ms): " + std::to_string(leftOut) +
            (leftOut == 1 ? " silence" : " silences") + " after that left out");
    return detection;
}

} // namespace ravik::audio
