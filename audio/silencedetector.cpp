#include "silencedetector.hpp"

#include "core/text/plainnumber.hpp"
#include "edges.hpp"
#include "quiet.hpp"
#include "ticklevels.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>
#include <numeric>

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
// Each octave's level is taken over this many ticks, the highest first: the low octaves are
// narrow, and their noise steadies only over longer spans.
constexpr std::array<std::size_t, kOctaves> kOctaveTicks = {4, 4, 4, 8, 8};
// An octave's noise whose level over 20 ms swings less than this (nine in ten ticks under this
// times the middle one) is steady.
const double kSteadyNoise = std::pow(10.0, 1.0 / 10);
// The middle of a pause, where the octaves' noise is learnt: from this many ticks after a sound
// to this many before the next, when there are enough such ticks.
constexpr std::size_t kCalmAfterTicks = 150 / kTickMs;
constexpr std::size_t kCalmBeforeTicks = 50 / kTickMs;
constexpr std::size_t kLeastCalmTicks = 200 / kTickMs;
// How far from where the ticks' levels change a pause's edge is looked for.
constexpr std::size_t kEdgeSpanTicks = 6;
// A pause's edge lies where the speech band rises this far over what the pauses' middles reach.
constexpr double kEdgeOverCalm = 1.25;
// The lowest two octaves' noise over the other three's, from which edges leave them out.
constexpr double kHumOverRest = 10;
// A lossy codec's noise beside speech that ends into digital silence: what stands within this
// of the speech is sound, and sound has ended where the samples fall this far under it at once.
constexpr double kCodecEdgeDb = 26;
constexpr double kCodecRestDb = 55;
// An octave's level enters sound over what nine in ten of its calm ticks stay under, and is
// sound 2 dB over what 99 in 100 stay under.
constexpr double kOctaveEnterShare = 0.9;
constexpr double kOctaveSoundShare = 0.98;
constexpr double kOctaveSoundOverDb = 3;

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

// The level of a recording's pauses: the lowest 6 dB of tick levels that holds a twentieth of
// them, moved up to where most of the ticks near it lie, and the middle of the ticks there. A
// room's floor is the level most of its pauses keep; a fade passes through every level and
// sets none of them.
double floorLevel(const std::vector<float>& levels) {
    // Counted in bins of a tenth of a decibel from the bottom up, which is finer than any
    // margin taken from the floor and costs one pass however long the recording.
    constexpr double kBin = 0.1;
    const auto extremes = std::minmax_element(levels.begin(), levels.end());
    const double lowest = *extremes.first;
    const double highest = *extremes.second;
    const auto binOf = [&](double db) {
        return static_cast<std::ptrdiff_t>(std::floor((db - lowest) / kBin));
    };
    std::vector<std::ptrdiff_t> below(static_cast<std::size_t>(binOf(highest)) + 2, 0);
    for (const float db : levels)
        ++below[static_cast<std::size_t>(binOf(db)) + 1];
    std::partial_sum(below.begin(), below.end(), below.begin());
    // Ticks from bin `from` to bin `to` (one past), clamped to the bins there are.
    const auto count = [&](std::ptrdiff_t from, std::ptrdiff_t to) {
        const auto last = static_cast<std::ptrdiff_t>(below.size()) - 1;
        return below[static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(to, 0, last))] -
               below[static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(from, 0, last))];
    };
    const auto mass = [&](double centre) {
        return count(binOf(centre - 3), binOf(centre + 3) + 1);
    };
    const auto enough = static_cast<std::ptrdiff_t>(levels.size() / 20 + 1);
    double centre = lowest;
    while (centre < highest && mass(centre) < enough)
        centre += 0.5;
    double best = centre;
    for (double up = centre; up <= centre + 6; up += 0.5)
        if (mass(up) > mass(best))
            best = up;
    // The middle of the ticks within 3 dB of it.
    const std::ptrdiff_t from = std::max<std::ptrdiff_t>(0, binOf(best - 3));
    const std::ptrdiff_t half = count(from, binOf(best + 3) + 1) / 2;
    std::ptrdiff_t bin = from;
    while (count(from, bin + 1) <= half)
        ++bin;
    return lowest + (static_cast<double>(bin) + 0.5) * kBin;
}

// 10 log10 of a mean square within a thousandth of a decibel, no lower than kBottomDb: each
// tick's levels are taken this way, where the library's logarithm would cost more than all the
// rest done for a tick.
float quickDecibels(double meanSquare) {
    if (!(meanSquare > 1e-10))
        return static_cast<float>(kBottomDb);
    int exponent = 0;
    const double mantissa = std::frexp(meanSquare, &exponent); // in [0.5, 1)
    // ln of the mantissa by its series in (m - 1) / (m + 1), which stays under a fifth.
    const double t = (mantissa - 1) / (mantissa + 1);
    const double t2 = t * t;
    const double ln = 2 * t * (1 + t2 * (1.0 / 3 + t2 * (1.0 / 5 + t2 * (1.0 / 7 + t2 / 9))));
    return static_cast<float>(10 * (ln + exponent * std::numbers::ln2) / std::numbers::ln10);
}

// Where a pause starts and what ends it, for one level: a pause starts where the level falls
// within a few decibels of the floor and lasts while it stays under a higher level: a room's
// floor swings (breath, rumble, a chair), and a swing must not end a pause. Both margins grow
// with the floor's own spread (the floor less the low tenth of the ticks under it) and stay
// well under the speech.
struct Gate {
    double floorDb = kBottomDb;
    double speechDb = kBottomDb;
    double enterDb = 0;
    double soundDb = 0;
};

Gate gateOf(const std::vector<float>& levelDb, const std::vector<char>& measured,
            bool digitalFloor) {
    Gate gate;
    std::vector<float> liveDb;
    for (std::size_t tick = 0; tick < levelDb.size(); ++tick)
        if (measured[tick] != 0)
            liveDb.push_back(levelDb[tick]);
    if (liveDb.empty())
        return gate;
    gate.floorDb = digitalFloor ? kBottomDb : floorLevel(liveDb);
    gate.speechDb = percentile(liveDb, 0.9);
    const double contrast = std::max(0.0, gate.speechDb - gate.floorDb);
    std::vector<float> under;
    for (float db : liveDb)
        if (db <= gate.floorDb && db > gate.floorDb - 20)
            under.push_back(db);
    const double spread = under.empty() ? 0.0 : gate.floorDb - percentile(under, 0.1);
    gate.enterDb = gate.floorDb + std::min(std::max(1.5, 2 * spread), 0.3 * contrast);
    // How far the floor swings up: around each tick that rests at the floor, the loudest
    // moment within 25 ms, taken where three in four such moments lie. In a pause that is
    // the room's breath and rumble; the few ticks at a pause's end add the speech.
    std::vector<float> swings;
    constexpr std::size_t kAround = 25 / kTickMs;
    const std::size_t ticks = levelDb.size();
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        if (measured[tick] == 0 || levelDb[tick] > gate.enterDb)
            continue;
        const std::size_t from = tick - std::min(tick, kAround);
        const std::size_t to = std::min(ticks, tick + kAround + 1);
        swings.push_back(*std::max_element(levelDb.begin() + static_cast<std::ptrdiff_t>(from),
                                           levelDb.begin() + static_cast<std::ptrdiff_t>(to)));
    }
    const double swing = swings.empty() ? 0.0 : percentile(swings, 0.75) - gate.floorDb;
    gate.soundDb = gate.floorDb + std::min(std::max({3.0, 4 * spread, 2 * swing, 0.25 * contrast}),
                                           0.5 * contrast);
    // However quiet the floor (digital silence), a lossy codec's noise around the speech,
    // 40 dB and more under it, is no sound.
    gate.enterDb = std::max(gate.enterDb, gate.speechDb - kCodecNoiseDb - 10);
    gate.soundDb = std::max({gate.soundDb, gate.enterDb + 1.5, gate.speechDb - kCodecNoiseDb});
    return gate;
}

// The mean of `energy` over the ticks from `before` each tick to `after` it (one past), leaving
// out dead ticks; a dead tick's is 0.
std::vector<float> meansOver(const std::vector<float>& energy, const std::vector<char>& dead,
                             std::size_t before, std::size_t after) {
    const std::size_t ticks = energy.size();
    std::vector<float> means(ticks, 0.0F);
    double sum = 0;
    int live = 0;
    std::size_t from = 0;
    std::size_t to = 0;
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        const std::size_t wantFrom = tick >= before ? tick - before : 0;
        const std::size_t wantTo = std::min(ticks, tick + after);
        for (; to < wantTo; ++to)
            if (dead[to] == 0) {
                sum += energy[to];
                ++live;
            }
        for (; from < wantFrom; ++from)
            if (dead[from] == 0) {
                sum -= energy[from];
                --live;
            }
        if (dead[tick] == 0 && live > 0)
            means[tick] = static_cast<float>(std::max(0.0, sum) / live);
    }
    return means;
}

// What makes a tick loud (or above the entering level): the speech band's level, an octave's,
// or either.
constexpr char kSpeechLoud = 1;
constexpr char kOctaveLoud = 2;
constexpr char kAnyLoud = kSpeechLoud | kOctaveLoud;

struct TickRun {
    std::size_t begin = 0;
    std::size_t end = 0; // one past
};

// The runs of ticks above the entering level that hold a loud tick.
std::vector<TickRun> soundRuns(const std::vector<char>& above, const std::vector<char>& loud) {
    std::vector<TickRun> runs;
    const std::size_t ticks = above.size();
    for (std::size_t tick = 0; tick < ticks;) {
        std::size_t end = tick;
        bool anyLoud = false;
        for (; end < ticks && above[end] != 0; ++end)
            anyLoud = anyLoud || loud[end] != 0;
        if (anyLoud)
            runs.push_back({tick, end});
        tick = std::max(end, tick + 1);
    }
    return runs;
}

// A click lasts no more than 15 ms, and its loud core no more than that and the 20 ms the level
// is taken over.
constexpr std::size_t kLongestClickTicks =
    static_cast<std::size_t>((kLongestClickMs + kTickMs - 1) / kTickMs) + kLevelTicks;

// The part of `run` where `flags` (loud, or above the entering level) hold: those of the speech
// band's own level, where there are any in the run, since an octave's level, taken over a longer
// span, spreads a sound wider.
TickRun partOf(const TickRun& run, const std::vector<char>& flags) {
    const bool speech = std::any_of(flags.begin() + static_cast<std::ptrdiff_t>(run.begin),
                                    flags.begin() + static_cast<std::ptrdiff_t>(run.end),
                                    [](char set) { return (set & kSpeechLoud) != 0; });
    const char wanted = speech ? kSpeechLoud : kAnyLoud;
    TickRun part = run;
    while (part.begin + 1 < part.end && (flags[part.begin] & wanted) == 0)
        ++part.begin;
    while (part.end - 1 > part.begin && (flags[part.end - 1] & wanted) == 0)
        --part.end;
    return part;
}

// `sounds` without those that are clicks by their ticks, which go to `clicks`: a loud core short
// enough, with a pause of the default least length on each side of it. (The pauses' middles are
// found so; the silences are joined over a click once their edges lie to the sample.)
std::vector<TickRun> withoutClicks(const std::vector<TickRun>& sounds,
                                   const std::vector<char>& above, const std::vector<char>& loud,
                                   std::vector<TickRun>& clicks) {
    // Whole ticks of quiet on each side, a tick less for where the click falls in its tick,
    // and half a level's span less, by which the core reaches out on either side.
    const auto clickSide = static_cast<std::size_t>(kClickSideMs / kTickMs) - 1 - kLevelTicks / 2;
    std::vector<TickRun> kept;
    for (std::size_t at = 0; at < sounds.size(); ++at) {
        const TickRun core = partOf(sounds[at], loud);
        const std::size_t quietBefore =
            core.begin - std::min(core.begin, kept.empty() ? 0 : partOf(kept.back(), above).end);
        const std::size_t next =
            at + 1 < sounds.size() ? partOf(sounds[at + 1], above).begin : loud.size();
        const std::size_t quietAfter = next - std::min(next, core.end);
        if (core.end - core.begin <= kLongestClickTicks && quietBefore >= clickSide &&
            quietAfter >= clickSide)
            clicks.push_back(sounds[at]);
        else
            kept.push_back(sounds[at]);
    }
    return kept;
}

std::string thousands(std::int64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return digits;
}

} // namespace

std::optional<double> thresholdFromText(std::string_view text) {
    const std::optional<double> db = plainNumber<double>(text);
    if (!db || !std::isfinite(*db) || *db >= 0)
        return std::nullopt;
    return db;
}

std::optional<int> leastSilenceFromText(std::string_view text) {
    const std::optional<int> ms = plainNumber<int>(text);
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
    // A run shorter than a tick is no padding: two equal samples of a quiet room.
    const std::int64_t still = firstMove(recording);
    const TickLevels levels = readTickLevels(recording, still < tickFrames ? 0 : still % tickFrames,
                                             std::numeric_limits<std::int64_t>::max(), tickFrames);
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
    std::vector<char> dead(ticks);
    for (std::size_t tick = 0; tick < ticks; ++tick)
        dead[tick] = levels.spread[tick] == 0 ? 1 : 0;
    std::vector<float> levelDb =
        meansOver(levels.energy, dead, kLevelTicks / 2, kLevelTicks - kLevelTicks / 2);
    for (float& db : levelDb)
        db = quickDecibels(db);
    // The recording's first and last quarter second are left out of them too, where the
    // recording is long enough: a fade in or out lies there.
    std::size_t firstLive = 0;
    while (firstLive < ticks && dead[firstLive] != 0)
        ++firstLive;
    std::size_t lastLive = ticks;
    while (lastLive > firstLive && dead[lastLive - 1] != 0)
        --lastLive;
    constexpr std::size_t kEndTicks = 250 / kTickMs;
    const bool trim = lastLive - firstLive >= 4 * kEndTicks;
    const std::size_t measuredFrom = trim ? firstLive + kEndTicks : firstLive;
    const std::size_t measuredTo = trim ? lastLive - kEndTicks : lastLive;
    std::vector<char> measured(ticks);
    bool anyMeasured = false;
    for (std::size_t tick = measuredFrom; tick < measuredTo; ++tick) {
        measured[tick] = dead[tick] == 0 ? 1 : 0;
        anyMeasured = anyMeasured || measured[tick] != 0;
    }

    // Pauses of digital silence inside the recording (a synthesiser's, or a noise gate's)
    // make digital silence its floor; padding at its ends does not.
    const auto leastTicks = static_cast<std::size_t>(kClickSideMs / kTickMs);
    bool silentPause = false;
    bool anyDead = false;
    for (std::size_t tick = 0; tick < ticks && !silentPause;) {
        std::size_t end = tick;
        while (end < ticks && dead[end] != 0)
            ++end;
        anyDead = anyDead || end > tick;
        silentPause = end - tick >= leastTicks && tick > 0 && end < ticks;
        tick = std::max(end, tick + 1);
    }
    Gate gate = gateOf(levelDb, measured, silentPause);
    // So does any digital silence when the rest holds no floor of its own.
    if (!silentPause && anyDead && gate.speechDb - gate.floorDb < kLeastContrastDb)
        gate = gateOf(levelDb, measured, true);
    detection.noiseFloorDb = gate.floorDb;
    detection.speechLevelDb = gate.speechDb;
    if (options.thresholdDb) {
        gate.enterDb = *options.thresholdDb;
        gate.soundDb = *options.thresholdDb;
    } else if (!anyMeasured || gate.speechDb - gate.floorDb < kLeastContrastDb) {
        detection.failure = Failure{"Could not find silences in", path,
                                    !anyMeasured || gate.speechDb <= kBottomDb
                                        ? std::string("it is digital silence throughout")
                                        : "no speech stands out from its level of " +
                                              std::to_string(std::lround(gate.floorDb)) + " dBFS"};
        detection.noSpeech = true;
        return detection;
    }
    const double soundDb = gate.soundDb;
    detection.thresholdDb = soundDb;

    // Sound: each run of ticks whose own level reaches the entering level and whose level over
    // 20 ms somewhere reaches the sound level. A swing of the floor that stays under the sound
    // level is no sound, and the run's ends lie where the speech leaves the floor, not where its
    // level over 20 ms crosses a threshold. Pauses lie between the sounds; a click between two
    // pauses of the default least length is part of the pause.
    // Over 10 ms: half a period of mains hum, whose level over one tick swings with its phase.
    const std::vector<float> enterLevel = meansOver(levels.energy, dead, 0, 2);
    const double enter = std::pow(10.0, gate.enterDb / 10);
    std::vector<char> above(ticks);
    std::vector<char> loud(ticks);
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        if (dead[tick] != 0)
            continue;
        loud[tick] = levelDb[tick] >= soundDb ? kSpeechLoud : 0;
        above[tick] = loud[tick] != 0 || enterLevel[tick] >= enter ? kSpeechLoud : 0;
    }
    // Clicks in the pauses are left out of their middles, and split none.
    std::vector<TickRun> clicks;
    std::vector<TickRun> sounds = withoutClicks(soundRuns(above, loud), above, loud, clicks);

    // Each octave's noise, learnt from the middle of the long pauses between those sounds (a
    // pause's first ticks may hold a word's end that sank under the noise): speech that sinks
    // under a steady noise in the speech band as a whole (hiss, hum) still stands out of the
    // octaves where that noise is weak. A noise that swings, such as other voices, sets its
    // octaves' levels high enough that they add nothing.
    std::vector<char> calm(ticks);
    for (std::size_t at = 0; at <= sounds.size(); ++at) {
        const std::size_t from = (at == 0 ? 0 : sounds[at - 1].end) + kCalmAfterTicks;
        const std::size_t to = at == sounds.size() ? ticks : sounds[at].begin;
        for (std::size_t tick = from; tick + kCalmBeforeTicks < to; ++tick)
            calm[tick] = measured[tick];
    }
    // The levels of the noise are taken without the clicks (and the longest span over which
    // a level is taken on either side of them).
    std::vector<char> noise = calm;
    for (const TickRun& click : clicks)
        for (std::size_t tick = click.begin - std::min(click.begin, kOctaveTicks.back());
             tick < std::min(ticks, click.end + kOctaveTicks.back()); ++tick)
            noise[tick] = 0;
    const auto calmTicks = static_cast<std::size_t>(std::count(noise.begin(), noise.end(), 1));
    if (!options.thresholdDb) {
        std::vector<float> energy(ticks);
        for (std::size_t octave = 0; octave < kOctaves && calmTicks >= kLeastCalmTicks; ++octave) {
            for (std::size_t tick = 0; tick < ticks; ++tick)
                energy[tick] = levels.octaves[tick][octave];
            // Compared as powers: the percentiles and margins keep their order. The longer span
            // steadies a narrow octave's noise; a noise that is steady over 20 ms already (mains
            // hum) keeps the shorter one, which reaches less far past the speech.
            const auto noiseOf = [&](const std::vector<float>& means) {
                std::vector<float> heard;
                for (std::size_t tick = 0; tick < ticks; ++tick)
                    if (noise[tick] != 0)
                        heard.push_back(means[tick]);
                return heard;
            };
            std::vector<float> means =
                meansOver(energy, dead, kLevelTicks / 2, kLevelTicks - kLevelTicks / 2);
            std::vector<float> heard = noiseOf(means);
            if (kOctaveTicks[octave] > kLevelTicks &&
                percentile(heard, 0.9) > kSteadyNoise * percentile(heard, 0.5)) {
                means = meansOver(energy, dead, kOctaveTicks[octave] / 2,
                                  kOctaveTicks[octave] - kOctaveTicks[octave] / 2);
                heard = noiseOf(means);
            }
            // However steady the noise, an octave's sound stands within 35 dB of the speech (and
            // enters within 45 dB): one octave holds a part of a sound, and a lossy codec's
            // noise, 40 dB under the speech as a whole, is no sound here either.
            const double codecDb = gate.speechDb - kCodecNoiseDb;
            const auto power = [](double db) { return std::pow(10.0, db / 10); };
            const double octaveEnter =
                std::max({percentile(heard, kOctaveEnterShare),
                          kSteadyNoise * percentile(heard, 0.5), power(codecDb - 5)});
            const double octaveSound =
                std::max(percentile(heard, kOctaveSoundShare) * power(kOctaveSoundOverDb),
                         power(codecDb + 5));
            for (std::size_t tick = 0; tick < ticks; ++tick) {
                if (dead[tick] != 0)
                    continue;
                if (means[tick] >= octaveSound)
                    loud[tick] |= kOctaveLoud;
                if (means[tick] >= octaveEnter)
                    above[tick] |= kOctaveLoud;
            }
        }
        sounds = soundRuns(above, loud);
    }

    // A pause's edges lie where the signal last and first strays from its calm: a quarter
    // above what the middle of the pauses reaches in 19 of 20 spans of 20 ms (so that a noise
    // with a period is taken at its peaks: mains hum's come every 20 ms). That is 0 in digital
    // silence, so there the edges are exact to the sample.
    // Where mains hum or rumble covers the lowest two octaves far more than the rest, the edges
    // are placed by the octaves above them.
    double lowestHz = kSpeechBandLowestHz;
    if (calmTicks >= kLeastCalmTicks) {
        double low = 0;
        double high = 0;
        for (std::size_t tick = 0; tick < ticks; ++tick)
            if (noise[tick] != 0)
                for (std::size_t octave = 0; octave < kOctaves; ++octave)
                    (octave + 2 >= kOctaves ? low : high) += levels.octaves[tick][octave];
        if (low > kHumOverRest * high)
            lowestHz = analysisRate(rate) / std::pow(2.0, kOctaves - 2);
    }
    // The pauses' middles are read again only where a GAP file reaches, as everything read
    // again is, so that a recording in a format decoded front to back is decoded once (see
    // SoundFile); a longer recording's are learnt there too.
    const auto placedOnly = [&](std::vector<char> ticksOf) {
        const auto placed = static_cast<std::size_t>(
            (std::int64_t{silences::kLastMs} * rate / 1000 - levels.origin) / tickFrames);
        if (placed < ticksOf.size())
            std::fill(ticksOf.begin() + static_cast<std::ptrdiff_t>(placed), ticksOf.end(), 0);
        return ticksOf;
    };
    EdgeRule rule;
    rule.lowestHz = lowestHz;
    rule.edgeLevel = static_cast<float>(std::max(
        kEdgeOverCalm * calmReach(recording, levels.origin, tickFrames, placedOnly(calm), lowestHz),
        options.thresholdDb ? 0.0
                            : std::pow(10.0, (detection.speechLevelDb - kCodecNoiseDb) / 20)));
    // Where the pauses are digital silence, sound ends where digital silence begins: the
    // samples fall at once to 55 dB under the speech (or to the least step of a 16-bit file).
    // Where they die away more slowly instead, that is a lossy codec's noise, which lies up to
    // 26 dB under the speech: there sound is what stands within 26 dB of the speech, and the
    // millisecond of fainter sound beside it (a synthesiser's last samples).
    const bool digitalFloor = gate.floorDb <= kBottomDb && !options.thresholdDb;
    rule.strongLevel = rule.edgeLevel;
    if (digitalFloor) {
        rule.strongLevel = std::max(
            rule.edgeLevel,
            static_cast<float>(std::pow(10.0, (detection.speechLevelDb - kCodecEdgeDb) / 20)));
        rule.restingLevel = std::max(
            1.0F / 32'768,
            static_cast<float>(std::pow(10.0, (detection.speechLevelDb - kCodecRestDb) / 20)));
        rule.fringeFrames = rate / 1000;
    }
    EdgeFinder edges(recording, levels.origin, tickFrames, rule);
    int leftOut = 0;
    // Each pause with the sound after it (an index into sounds).
    std::vector<std::pair<Silence, std::size_t>> pauses;
    for (std::size_t at = 0; at <= sounds.size(); ++at) {
        const std::size_t first = at == 0 ? 0 : sounds[at - 1].end;
        const std::size_t end = at == sounds.size() ? ticks : sounds[at].begin;
        if (first >= end)
            continue;
        // A pause that starts past what a GAP file reaches is only counted: its edges could
        // move no more than the ticks they are looked for in.
        if (ms(edges.frameAt(first - std::min(first, kEdgeSpanTicks)), false) > silences::kLastMs) {
            if (ms(edges.frameAt(end) - edges.frameAt(first), false) >= options.leastSilenceMs)
                ++leftOut;
            continue;
        }
        // Each edge is looked for around where the ticks' levels change, at most halfway into
        // the pause and not past the sound's other end.
        const std::size_t into = std::min(kEdgeSpanTicks, (end - first) / 2);
        std::int64_t startFrame = 0;
        if (at > 0) {
            const std::size_t from =
                std::max(sounds[at - 1].begin, first - std::min(first, kEdgeSpanTicks));
            const std::size_t rest = first + std::max<std::size_t>(into, 1) - 1;
            startFrame = edges.lastSound(from, first + into, rest).value_or(edges.frameAt(first));
        }
        std::int64_t endFrame = levels.frames;
        if (at < sounds.size()) {
            const std::size_t to = std::min(sounds[at].end, end + kEdgeSpanTicks);
            const std::size_t rest = end - std::max<std::size_t>(into, 1);
            endFrame = edges.firstSound(end - into, to, rest).value_or(edges.frameAt(end));
        }
        pauses.push_back({{ms(startFrame, true), ms(endFrame, false)}, at});
    }

    // A sound of up to 15 ms with a pause of the default least length on each side is a click
    // (a lip smack, a cable), part of the pause.
    std::vector<Silence> found;
    for (std::size_t at = 0; at < pauses.size(); ++at) {
        Silence pause = pauses[at].first;
        for (; at + 1 < pauses.size(); ++at) {
            const Silence& next = pauses[at + 1].first;
            const std::size_t between = pauses[at].second;
            const TickRun core = partOf(sounds[between], loud);
            const bool click = pauses[at + 1].second == between + 1 &&
                               core.end - core.begin <= kLongestClickTicks &&
                               pauses[at].first.end - pauses[at].first.start >= kClickSideMs &&
                               next.end - next.start >= kClickSideMs;
            if (!click)
                break;
            pause.end = next.end;
        }
        found.push_back(pause);
    }

    // Every silence holds no sound by the rule verify judges with: a part that does is cut out.
    for (std::size_t at = 0; at < found.size(); ++at) {
        const Silence silence = found[at];
        if (silence.end - silence.start < options.leastSilenceMs)
            continue;
        if (silence.start > silences::kLastMs) {
            ++leftOut;
            continue;
        }
        // What a GAP file keeps of it is judged, as verify judges it.
        const Silence fits{silence.start, std::min<std::int64_t>(silence.end, silences::kLastMs)};
        const FrameSpan span = framesOf(fits.start, fits.end, rate);
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
