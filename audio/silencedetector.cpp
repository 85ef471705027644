// SPDX-License-Identifier: GPL-3.0-or-later
#include "silencedetector.hpp"

#include "core/text/plainnumber.hpp"
#include "edges.hpp"
#include "quiet.hpp"
#include "speechmodel.hpp"
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
// What stays this far under the speech is no voice: the mouth is closed there.
constexpr double kMouthClosedUnderSpeechDb = 30;
// A room rings where its recording's words take this long to die away (speech::roomDecay, in
// units of 100 ms), measured over this many of their ends at least: its decay after a word is
// pause, as far up as this far under the speech.
constexpr float kRingingRoomDecay = 0.9F;
constexpr std::size_t kRingingLeastEnds = 5;
constexpr double kRingingUnderSpeechDb = 15;
// A recording whose speech stands less than this above its pauses holds no speech to find.
constexpr double kLeastContrastDb = 6;
// A floor this close under the speech may be the speech's own softest parts.
constexpr double kSpeechAloneDb = 30;
// How far under the floor a recording's ends reach where they hold its room.
constexpr double kRoomAtTheEndsDb = 10;
constexpr std::size_t kBlockFrames = 16'384;
// A recording's levels are measured over its first ten minutes of sound: plenty to know its
// room and its speech, and far past what a GAP file reaches, so that what a detection keeps
// stops growing there. The rest is read through to its end, for its length and its samples'
// soundness, and let go.
constexpr std::int64_t kMeasuredMs = 10 * 60 * 1000;
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

// The frames from the read position to the recording's end, read and let go.
std::int64_t framesLeft(SoundFile& recording) {
    const auto readAll = [&](auto sample) {
        std::vector<decltype(sample)> block(kBlockFrames *
                                            static_cast<std::size_t>(recording.channels()));
        std::int64_t left = 0;
        while (const std::size_t got = recording.readFrames(std::span(block)))
            left += static_cast<std::int64_t>(got);
        return left;
    };
    return recording.sixteenBitSamples() ? readAll(std::int16_t{}) : readAll(float{});
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
    bool digital = false; ///< the floor is digital silence
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
    gate.digital = digitalFloor;
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
    // A tick of digital silence adds and takes 0, which leaves the sum as it is to the bit.
    const auto add = [&](std::size_t at, double sign) {
        const bool counts = dead[at] == 0;
        sum += counts ? sign * static_cast<double>(energy[at]) : 0.0;
        live += counts ? static_cast<int>(sign) : 0;
    };
    // The window of tick t is [t - before, t + after), cut to the recording: each tick adds the
    // one that enters it, then takes the one that leaves.
    for (std::size_t at = 0; at < std::min(ticks, after); ++at)
        add(at, 1);
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        if (tick > 0 && tick + after <= ticks)
            add(tick + after - 1, 1);
        if (tick > before)
            add(tick - before - 1, -1);
        means[tick] =
            dead[tick] == 0 && live > 0 ? static_cast<float>(std::max(0.0, sum) / live) : 0.0F;
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

namespace {

// What the phases of one detection share, each phase filling in its part in turn.
struct Analysis {
    Analysis(SoundFile& file, const DetectOptions& asked)
        : recording(file)
        , options(asked) {}

    SoundFile& recording;
    const DetectOptions options; // a copy, so that a caller may pass a temporary
    int rate = 0;
    int tickFrames = 1;
    TickLevels levels;
    std::size_t ticks = 0;
    std::vector<char> dead;     // ticks of digital silence
    bool ringing = false;       // the room rings after each word (set by the speech model)
    std::vector<float> levelDb; // the speech band's level over 20 ms
    std::vector<char> measured; // ticks the recording's levels are measured on
    Gate gate;
    std::vector<char> above;     // ticks over the entering level
    std::vector<char> loud;      // ticks of sound
    std::vector<TickRun> sounds; // the runs of sound between the pauses
    std::vector<TickRun> clicks;
    std::vector<char> calm;  // the middles of the pauses
    std::vector<char> noise; // the same without the clicks
    std::size_t calmTicks = 0;
    EdgeRule rule;
    std::vector<std::pair<Silence, std::size_t>> pauses; // each with the sound after it
    int leftOut = 0;
    bool cutShort = false; // the levels end before the recording does (see kMeasuredMs)

    // The millisecond of `frame`, rounded up or down.
    [[nodiscard]] std::int64_t ms(std::int64_t frame, bool up) const {
        const std::int64_t scaled = frame * 1000;
        return up ? (scaled + rate - 1) / rate : scaled / rate;
    }
};

// Whether sound stands within the first or last 100 ms of the recording's live part, by the gate
// measured so far: it was cut in its speech or at a pause, not in a room's lead-in or out. Where
// the levels end before the recording, their end is none of its ends.
bool soundAtItsEnds(const Analysis& a, std::size_t firstLive, std::size_t lastLive) {
    constexpr std::size_t kBesideTicks = 100 / kTickMs;
    if (lastLive - firstLive < kBesideTicks)
        return false;
    const auto loud = [&](std::size_t from) {
        return *std::max_element(a.levelDb.begin() + static_cast<std::ptrdiff_t>(from),
                                 a.levelDb.begin() + static_cast<std::ptrdiff_t>(
                                                         from + kBesideTicks)) >= a.gate.soundDb;
    };
    return loud(firstLive) || (!a.cutShort && loud(lastLive - kBesideTicks));
}

// Reads the recording once into its levels, ticks counted from where its padding ends, so that
// padding moves no tick, up to kMeasuredMs after that, and then to its end for its length. False,
// with the failure set, when there is nothing to find silences in.
bool readLevels(Analysis& a, Detection& detection) {
    const std::string& path = a.recording.path();
    a.rate = a.recording.sampleRate();
    if (a.rate <= 0 || a.rate > kHighestRate || a.recording.channels() <= 0 ||
        a.recording.channels() > kMostChannels) {
        detection.failure = Failure{"Could not read the recording", path,
                                    "it has " + std::to_string(a.rate) + " samples a second in " +
                                        std::to_string(a.recording.channels()) +
                                        " channels, which is no recording of speech"};
        return false;
    }
    a.tickFrames = tickFramesAt(a.rate);
    // A run shorter than a tick is no padding: two equal samples of a quiet room.
    const std::int64_t still = firstMove(a.recording);
    const std::int64_t from = still < a.tickFrames ? 0 : still % a.tickFrames;
    const std::int64_t measuredTicks =
        (still - from) / a.tickFrames +
        (kMeasuredMs * a.rate / 1000 + a.tickFrames - 1) / a.tickFrames;
    const std::int64_t to = from + measuredTicks * a.tickFrames;
    a.levels = readTickLevels(a.recording, from, to, a.tickFrames);
    std::int64_t frames = a.levels.frames;
    if (frames == to && !a.recording.readFailure()) {
        const std::int64_t left = framesLeft(a.recording);
        a.cutShort = left > 0;
        frames += left;
    }
    if (auto failure = a.recording.readFailure()) {
        detection.failure = std::move(failure);
        return false;
    }
    detection.lengthMs = a.ms(frames, false);
    a.ticks = a.levels.energy.size();
    if (a.ticks == 0) {
        detection.failure = Failure{"Could not find silences in", path, "it holds no samples"};
        detection.noSpeech = true;
        return false;
    }
    return true;
}

// The recording's floor, speech level and the levels that enter and end a pause. Quiet is judged
// on the level over 20 ms (four ticks): white noise at 22 kHz then varies by a third of a
// decibel from tick to tick, so a threshold can sit just above it. Ticks of digital silence
// count for nothing in it (so padding changes no level of the recording), and the floor and the
// speech level come from the other ticks only: digital silence says nothing about the room.
// False, with the failure set, when no speech stands out.
bool measureLevels(Analysis& a, Detection& detection) {
    const std::size_t ticks = a.ticks;
    a.dead.assign(ticks, 0);
    for (std::size_t tick = 0; tick < ticks; ++tick)
        a.dead[tick] = a.levels.spread[tick] == 0 ? 1 : 0;
    // The spread tells digital silence and nothing else: not kept past here.
    std::vector<float>().swap(a.levels.spread);
    a.levelDb = meansOver(a.levels.energy, a.dead, kLevelTicks / 2, kLevelTicks - kLevelTicks / 2);
    quickDecibels(a.levelDb.data(), a.levelDb.data(), a.levelDb.size());
    // The recording's first and last quarter second are left out of them too, where the
    // recording is long enough: a fade in or out lies there.
    std::size_t firstLive = 0;
    while (firstLive < ticks && a.dead[firstLive] != 0)
        ++firstLive;
    std::size_t lastLive = ticks;
    while (lastLive > firstLive && a.dead[lastLive - 1] != 0)
        --lastLive;
    constexpr std::size_t kEndTicks = 250 / kTickMs;
    const bool trim = lastLive - firstLive >= 4 * kEndTicks;
    // The ticks from `from` to `to` that are no digital silence.
    const auto liveBetween = [&](std::size_t from, std::size_t to) {
        std::vector<char> live(ticks, 0);
        for (std::size_t tick = from; tick < to; ++tick)
            live[tick] = a.dead[tick] == 0 ? 1 : 0;
        return live;
    };
    a.measured = trim ? liveBetween(firstLive + kEndTicks, lastLive - kEndTicks)
                      : liveBetween(firstLive, lastLive);
    const bool anyMeasured =
        std::any_of(a.measured.begin(), a.measured.end(), [](char m) { return m != 0; });

    // Pauses of digital silence inside the recording (a synthesiser's, or a noise gate's)
    // make digital silence its floor; padding at its ends does not.
    const auto leastTicks = static_cast<std::size_t>(kClickSideMs / kTickMs);
    bool silentPause = false;
    bool anyDead = false;
    for (std::size_t tick = 0; tick < ticks && !silentPause;) {
        std::size_t end = tick;
        while (end < ticks && a.dead[end] != 0)
            ++end;
        anyDead = anyDead || end > tick;
        silentPause = end - tick >= leastTicks && tick > 0 && end < ticks;
        tick = std::max(end, tick + 1);
    }
    a.gate = gateOf(a.levelDb, a.measured, silentPause);
    // So does any digital silence when the rest holds no floor of its own, or when the rest is
    // speech alone: a line cut from a longer take at its pauses of digital silence, where sound
    // starts or ends at a cut and the floor measured lies within kSpeechAloneDb of the speech.
    // A room's floor lies further under its speech, and its lead-in or out is no sound.
    if (!silentPause && anyDead &&
        (a.gate.speechDb - a.gate.floorDb < kLeastContrastDb ||
         (a.gate.speechDb - a.gate.floorDb < kSpeechAloneDb &&
          soundAtItsEnds(a, firstLive, lastLive))))
        a.gate = gateOf(a.levelDb, a.measured, true);
    // A line cut from a take at its pauses holds its quiet at its ends: without them its floor
    // is its softest speech, which lies close under the speech. Where the ends then reach far
    // under that floor, they hold the room, and the floor is measured with them. A fade stays
    // too short for it.
    if (trim && !a.gate.digital &&
        a.gate.speechDb - a.gate.floorDb < kSpeechAloneDb + kRoomAtTheEndsDb) {
        std::vector<char> whole = liveBetween(firstLive, lastLive);
        const Gate withEnds = gateOf(a.levelDb, whole, false);
        if (withEnds.floorDb < a.gate.floorDb - kRoomAtTheEndsDb) {
            a.measured = std::move(whole);
            a.gate = withEnds;
        }
    }
    detection.noiseFloorDb = a.gate.floorDb;
    detection.speechLevelDb = a.gate.speechDb;
    if (a.options.thresholdDb) {
        a.gate.enterDb = *a.options.thresholdDb;
        a.gate.soundDb = *a.options.thresholdDb;
    } else if (!anyMeasured || a.gate.speechDb - a.gate.floorDb < kLeastContrastDb) {
        detection.failure =
            Failure{"Could not find silences in", a.recording.path(),
                    !anyMeasured ? std::string("it is digital silence throughout")
                                 : "no speech stands out from its level of " +
                                       std::to_string(std::lround(a.gate.floorDb)) + " dBFS"};
        detection.noSpeech = true;
        return false;
    }
    detection.thresholdDb = a.gate.soundDb;
    return true;
}

// Sound in the speech band: each run of ticks whose own level reaches the entering level and
// whose level over 20 ms somewhere reaches the sound level. A swing of the floor that stays under
// the sound level is no sound, and the run's ends lie where the speech leaves the floor, not where
// its level over 20 ms crosses a threshold. Clicks in the pauses are set apart.
void speechBandSounds(Analysis& a) {
    // Over 10 ms: half a period of mains hum, whose level over one tick swings with its phase.
    const std::vector<float> enterLevel = meansOver(a.levels.energy, a.dead, 0, 2);
    const double enter = std::pow(10.0, a.gate.enterDb / 10);
    a.above.assign(a.ticks, 0);
    a.loud.assign(a.ticks, 0);
    for (std::size_t tick = 0; tick < a.ticks; ++tick) {
        if (a.dead[tick] != 0)
            continue;
        a.loud[tick] = a.levelDb[tick] >= a.gate.soundDb ? kSpeechLoud : 0;
        a.above[tick] = a.loud[tick] != 0 || enterLevel[tick] >= enter ? kSpeechLoud : 0;
    }
    a.sounds = withoutClicks(soundRuns(a.above, a.loud), a.above, a.loud, a.clicks);
}

// The middles of the long pauses between the sounds, where the noise is learnt (a pause's first
// ticks may hold a word's end that sank under the noise), without the clicks and the longest
// span over which a level is taken on either side of them.
void learnCalm(Analysis& a) {
    a.calm.assign(a.ticks, 0);
    for (std::size_t at = 0; at <= a.sounds.size(); ++at) {
        const std::size_t from = (at == 0 ? 0 : a.sounds[at - 1].end) + kCalmAfterTicks;
        const std::size_t to = at == a.sounds.size() ? a.ticks : a.sounds[at].begin;
        for (std::size_t tick = from; tick + kCalmBeforeTicks < to; ++tick)
            a.calm[tick] = a.measured[tick];
    }
    a.noise = a.calm;
    for (const TickRun& click : a.clicks)
        for (std::size_t tick = click.begin - std::min(click.begin, kOctaveTicks.back());
             tick < std::min(a.ticks, click.end + kOctaveTicks.back()); ++tick)
            a.noise[tick] = 0;
    a.calmTicks = static_cast<std::size_t>(std::count(a.noise.begin(), a.noise.end(), 1));
}

// Sound in each octave where its noise is weak: speech that sinks under a steady noise in the
// speech band as a whole (hiss, hum) still stands out of the octaves where that noise is weak. A
// noise that swings, such as other voices, sets its octaves' levels high enough that they add
// nothing.
void octaveSounds(Analysis& a) {
    const std::size_t ticks = a.ticks;
    std::vector<float> energy(ticks);
    for (std::size_t octave = 0; octave < kOctaves && a.calmTicks >= kLeastCalmTicks; ++octave) {
        for (std::size_t tick = 0; tick < ticks; ++tick)
            energy[tick] = a.levels.octaves[tick][octave];
        // Compared as powers: the percentiles and margins keep their order. The longer span
        // steadies a narrow octave's noise; a noise that is steady over 20 ms already (mains
        // hum) keeps the shorter one, which reaches less far past the speech.
        const auto noiseOf = [&](const std::vector<float>& means) {
            std::vector<float> heard;
            for (std::size_t tick = 0; tick < ticks; ++tick)
                if (a.noise[tick] != 0)
                    heard.push_back(means[tick]);
            return heard;
        };
        std::vector<float> means =
            meansOver(energy, a.dead, kLevelTicks / 2, kLevelTicks - kLevelTicks / 2);
        std::vector<float> heard = noiseOf(means);
        if (kOctaveTicks[octave] > kLevelTicks &&
            percentile(heard, 0.9) > kSteadyNoise * percentile(heard, 0.5)) {
            means = meansOver(energy, a.dead, kOctaveTicks[octave] / 2,
                              kOctaveTicks[octave] - kOctaveTicks[octave] / 2);
            heard = noiseOf(means);
        }
        // However steady the noise, an octave's sound stands within 35 dB of the speech (and
        // enters within 45 dB): one octave holds a part of a sound, and a lossy codec's
        // noise, 40 dB under the speech as a whole, is no sound here either.
        const double codecDb = a.gate.speechDb - kCodecNoiseDb;
        const auto power = [](double db) { return std::pow(10.0, db / 10); };
        const double octaveEnter =
            std::max({percentile(heard, kOctaveEnterShare), kSteadyNoise * percentile(heard, 0.5),
                      power(codecDb - 5)});
        const double octaveSound = std::max(
            percentile(heard, kOctaveSoundShare) * power(kOctaveSoundOverDb), power(codecDb + 5));
        for (std::size_t tick = 0; tick < ticks; ++tick) {
            if (a.dead[tick] != 0)
                continue;
            if (means[tick] >= octaveSound)
                a.loud[tick] |= kOctaveLoud;
            if (means[tick] >= octaveEnter)
                a.above[tick] |= kOctaveLoud;
        }
    }
    a.sounds = soundRuns(a.above, a.loud);
}

// The model decides with hysteresis: a pause starts where the probability that a voice speaks
// falls under the first and lasts until it rises over the second.
constexpr float kPauseEnters = 0.35F;
constexpr float kPauseEnds = 0.65F;

// The ticks inside the sounds found so far.
std::vector<char> soundTicks(const Analysis& a) {
    std::vector<char> heard(a.ticks, 0);
    for (const TickRun& run : a.sounds)
        std::fill(heard.begin() + static_cast<std::ptrdiff_t>(run.begin),
                  heard.begin() + static_cast<std::ptrdiff_t>(run.end), 1);
    return heard;
}

// The ticks not flagged in `flags`.
std::vector<char> inverted(const std::vector<char>& flags) {
    std::vector<char> others(flags.size());
    std::transform(flags.begin(), flags.end(), others.begin(),
                   [](char flag) { return flag == 0 ? 1 : 0; });
    return others;
}

// The runs of ticks flagged in `flags`.
std::vector<TickRun> runsOf(const std::vector<char>& flags) {
    std::vector<TickRun> runs;
    for (std::size_t tick = 0; tick < flags.size(); ++tick) {
        if (flags[tick] == 0)
            continue;
        if (runs.empty() || runs.back().end != tick)
            runs.push_back({tick, tick});
        runs.back().end = tick + 1;
    }
    return runs;
}

// How far a model's pause edge moves to the level rule's, which is exact to the tick and moves
// with the recording as its padding does; where that shortens the pause, further: speech marked
// silent is the one error lip sync must not make.
constexpr std::size_t kSnapTicks = 8;
constexpr std::size_t kSnapToSoundTicks = 20;

// The model's pauses with their ends moved to those of the level rule's pauses nearby. In a room
// that rings, the level rule hears the decay after a word as sound, so a pause never starts
// later for its sake.
std::vector<char> snappedPauses(const std::vector<char>& modelPause,
                                const std::vector<TickRun>& levelPauses, bool ringing) {
    std::vector<char> pause = modelPause;
    const auto near = [](std::size_t x, std::size_t y) {
        return (x > y ? x - y : y - x) <= kSnapTicks;
    };
    const auto nearBefore = [&](std::size_t level, std::size_t model) {
        if (level > model)
            return !ringing && level - model <= kSnapToSoundTicks;
        return near(level, model);
    };
    const auto nearAfter = [&](std::size_t level, std::size_t model) {
        return level < model ? model - level <= kSnapToSoundTicks : near(level, model);
    };
    for (const TickRun& run : runsOf(modelPause)) {
        for (const TickRun& level : levelPauses) {
            if (level.end <= run.begin || level.begin >= run.end)
                continue;
            if (nearBefore(level.begin, run.begin))
                std::fill(
                    pause.begin() + static_cast<std::ptrdiff_t>(std::min(level.begin, run.begin)),
                    pause.begin() + static_cast<std::ptrdiff_t>(std::max(level.begin, run.begin)),
                    level.begin < run.begin ? 1 : 0);
            if (nearAfter(level.end, run.end))
                std::fill(pause.begin() + static_cast<std::ptrdiff_t>(std::min(level.end, run.end)),
                          pause.begin() + static_cast<std::ptrdiff_t>(std::max(level.end, run.end)),
                          level.end > run.end ? 1 : 0);
        }
    }
    return pause;
}

// A voice speaks for this long at least: a shorter run the model hears between two pauses is a
// breath or a click, and one of which the level rule hears nothing is no word up to the second.
constexpr std::size_t kLeastSpeechTicks = 30 / kTickMs;
constexpr std::size_t kLeastUnheardSpeechTicks = 150 / kTickMs;

// The model's pauses: its probabilities with hysteresis, the runs of speech between them too
// short to be a word taken into them.
std::vector<char> modelPauses(const Analysis& a, const std::vector<char>& heard,
                              const std::vector<float>& speaking) {
    std::vector<char> pauses(a.ticks, 0);
    bool pause = false;
    for (std::size_t tick = 0; tick < a.ticks; ++tick) {
        pause = a.dead[tick] != 0 ||
                (pause ? speaking[tick] < kPauseEnds : speaking[tick] < kPauseEnters);
        pauses[tick] = pause ? 1 : 0;
    }
    // A pause ends, where the level rule hears sound already, at the last tick the model was
    // sure of it: waiting for the second level, the model lets a soft onset's first syllable
    // pass as pause.
    for (const TickRun& run : runsOf(pauses)) {
        if (run.end >= a.ticks || heard[run.end - 1] == 0)
            continue;
        std::size_t onset = run.end - 1;
        while (onset > run.begin && heard[onset - 1] != 0)
            --onset;
        std::size_t end = run.end;
        while (end > onset && a.dead[end - 1] == 0 && speaking[end - 1] >= kPauseEnters)
            --end;
        std::fill(pauses.begin() + static_cast<std::ptrdiff_t>(end),
                  pauses.begin() + static_cast<std::ptrdiff_t>(run.end), 0);
    }
    for (const TickRun& run : runsOf(inverted(pauses))) {
        if (run.begin == 0 || run.end >= a.ticks)
            continue; // the recording's first or last sound
        const std::size_t length = run.end - run.begin;
        const bool unheard = std::all_of(heard.begin() + static_cast<std::ptrdiff_t>(run.begin - 1),
                                         heard.begin() + static_cast<std::ptrdiff_t>(run.end + 1),
                                         [](char sound) { return sound == 0; });
        if (length < kLeastSpeechTicks || (unheard && length < kLeastUnheardSpeechTicks))
            std::fill(pauses.begin() + static_cast<std::ptrdiff_t>(run.begin),
                      pauses.begin() + static_cast<std::ptrdiff_t>(run.end), 1);
    }
    return pauses;
}

// Sound by the speech model, where a room's floor is no digital silence: it tells a soft word's
// end and a voice under noise from the noise, where levels alone cannot. Its pauses take the
// level rule's ends where these lie near; a pause of the level rule that stays
// kMouthClosedUnderSpeechDb under the speech throughout is one whatever the model hears, so that
// a short breath between two words is kept. Clicks are set apart as before.
void modelSounds(Analysis& a) {
    const std::vector<char> heard = soundTicks(a);
    const speech::RoomDecay room = speech::roomDecay(a.levels, a.dead);
    a.ringing = room.decay >= kRingingRoomDecay && room.ends >= kRingingLeastEnds;
    const std::vector<float> speaking =
        speech::speechProbability(a.levels, a.dead, heard, room.decay);
    const std::vector<TickRun> levelPauses = runsOf(inverted(heard));
    std::vector<char> found =
        snappedPauses(modelPauses(a, heard, speaking), levelPauses, a.ringing);
    const double faint = a.gate.speechDb - kMouthClosedUnderSpeechDb;
    for (const TickRun& run : levelPauses) {
        bool quiet = true;
        for (std::size_t tick = run.begin; tick < run.end && quiet; ++tick)
            quiet = a.dead[tick] != 0 || a.levelDb[tick] < faint;
        if (quiet)
            std::fill(found.begin() + static_cast<std::ptrdiff_t>(run.begin),
                      found.begin() + static_cast<std::ptrdiff_t>(run.end), 1);
    }
    // Where the level rule hears sound too, its levels stay, so that a click is told as before.
    for (std::size_t tick = 0; tick < a.ticks; ++tick) {
        if (found[tick] != 0) {
            a.loud[tick] = 0;
            a.above[tick] = 0;
        } else if (heard[tick] == 0) {
            a.loud[tick] = kSpeechLoud;
            a.above[tick] = kSpeechLoud;
        }
    }
    a.clicks.clear();
    a.sounds = withoutClicks(soundRuns(a.above, a.loud), a.above, a.loud, a.clicks);
}

// Whether the speech model decides where the sounds are: a trained one, unless a threshold is
// given or the pauses are digital silence, where levels are exact.
bool modelDecides(const Analysis& a) {
    return speech::trained() && !a.options.levelRule && !a.options.thresholdDb && !a.gate.digital;
}

// Where a pause's edges lie: where the signal last and first strays from its calm, a quarter
// above what the middle of the pauses reaches in 19 of 20 spans of 20 ms (so that a noise with
// a period is taken at its peaks: mains hum's come every 20 ms). That is 0 in digital silence,
// so there the edges are exact to the sample. Where mains hum or rumble covers the lowest two
// octaves far more than the rest, the edges are placed by the octaves above them.
void chooseEdgeRule(Analysis& a, const Detection& detection) {
    double lowestHz = kSpeechBandLowestHz;
    if (a.calmTicks >= kLeastCalmTicks) {
        double low = 0;
        double high = 0;
        for (std::size_t tick = 0; tick < a.ticks; ++tick)
            if (a.noise[tick] != 0)
                for (std::size_t octave = 0; octave < kOctaves; ++octave)
                    (octave + 2 >= kOctaves ? low : high) += a.levels.octaves[tick][octave];
        if (low > kHumOverRest * high)
            lowestHz = analysisRate(a.rate) / std::pow(2.0, kOctaves - 2);
    }
    // The pauses' middles are read again only where a GAP file reaches, as everything read
    // again is, so that a recording in a format decoded front to back is decoded once (see
    // SoundFile); a longer recording's are learnt there too.
    std::vector<char> placed = a.calm;
    const auto reach = static_cast<std::size_t>(
        (std::int64_t{silences::kLastMs} * a.rate / 1000 - a.levels.origin) / a.tickFrames);
    if (reach < placed.size())
        std::fill(placed.begin() + static_cast<std::ptrdiff_t>(reach), placed.end(), 0);
    a.rule.lowestHz = lowestHz;
    a.rule.edgeLevel = static_cast<float>(std::max(
        kEdgeOverCalm * calmReach(a.recording, a.levels.origin, a.tickFrames, placed, lowestHz),
        a.options.thresholdDb ? 0.0
                              : std::pow(10.0, (detection.speechLevelDb - kCodecNoiseDb) / 20)));
    // Where the pauses are digital silence, sound ends where digital silence begins: the
    // samples fall at once to 55 dB under the speech (or to the least step of a 16-bit file).
    // Where they die away more slowly instead, that is a lossy codec's noise, which lies up to
    // 26 dB under the speech: there sound is what stands within 26 dB of the speech, and the
    // millisecond of fainter sound beside it (a synthesiser's last samples).
    a.rule.strongLevel = a.rule.edgeLevel;
    if (a.gate.digital && !a.options.thresholdDb) {
        a.rule.strongLevel = std::max(
            a.rule.edgeLevel,
            static_cast<float>(std::pow(10.0, (detection.speechLevelDb - kCodecEdgeDb) / 20)));
        a.rule.restingLevel = std::max(
            1.0F / 32'768,
            static_cast<float>(std::pow(10.0, (detection.speechLevelDb - kCodecRestDb) / 20)));
        a.rule.fringeFrames = a.rate / 1000;
    }
}

// Each pause between the sounds with its edges to the sample, looked for around where the
// ticks' levels change, at most halfway into the pause and not past the sound's other end.
void placePauses(Analysis& a) {
    EdgeFinder edges(a.recording, a.levels.origin, a.tickFrames, a.rule);
    const std::vector<TickRun>& sounds = a.sounds;
    for (std::size_t at = 0; at <= sounds.size(); ++at) {
        const std::size_t first = at == 0 ? 0 : sounds[at - 1].end;
        const std::size_t end = at == sounds.size() ? a.ticks : sounds[at].begin;
        if (first >= end)
            continue;
        // A pause that starts past what a GAP file reaches is only counted: its edges could
        // move no more than the ticks they are looked for in.
        if (a.ms(edges.frameAt(first - std::min(first, kEdgeSpanTicks)), false) >
            silences::kLastMs) {
            if (a.ms(edges.frameAt(end) - edges.frameAt(first), false) >= a.options.leastSilenceMs)
                ++a.leftOut;
            continue;
        }
        const std::size_t into = std::min(kEdgeSpanTicks, (end - first) / 2);
        // A click set apart in the pause is no edge of it: the edges are looked for short of it.
        // Nor is a ringing room's decay, so there a start is looked for before the pause only.
        std::size_t intoStart = a.ringing ? std::min<std::size_t>(into, 1) : into;
        std::size_t intoEnd = into;
        for (const TickRun& click : a.clicks) {
            if (click.begin >= first && click.begin < first + intoStart)
                intoStart = click.begin - first;
            if (click.end <= end && click.end > end - intoEnd)
                intoEnd = end - click.end;
        }
        std::int64_t startFrame = 0;
        if (at > 0) {
            const std::size_t from =
                std::max(sounds[at - 1].begin, first - std::min(first, kEdgeSpanTicks));
            const std::size_t rest = first + std::max<std::size_t>(intoStart, 1) - 1;
            startFrame =
                edges.lastSound(from, first + intoStart, rest).value_or(edges.frameAt(first));
        }
        std::int64_t endFrame = a.levels.frames;
        if (at < sounds.size()) {
            const std::size_t to = std::min(sounds[at].end, end + kEdgeSpanTicks);
            const std::size_t rest = end - std::max<std::size_t>(intoEnd, 1);
            endFrame = edges.firstSound(end - intoEnd, to, rest).value_or(edges.frameAt(end));
        }
        a.pauses.push_back({{a.ms(startFrame, true), a.ms(endFrame, false)}, at});
    }
}

// The pauses with each click between two of them joined in: a sound of up to 15 ms with a pause
// of the default least length on each side (a lip smack, a cable) is part of the pause.
std::vector<Silence> joinedOverClicks(const Analysis& a) {
    std::vector<Silence> found;
    for (std::size_t at = 0; at < a.pauses.size(); ++at) {
        Silence pause = a.pauses[at].first;
        for (; at + 1 < a.pauses.size(); ++at) {
            const Silence& next = a.pauses[at + 1].first;
            const std::size_t between = a.pauses[at].second;
            const TickRun core = partOf(a.sounds[between], a.loud);
            const bool click = a.pauses[at + 1].second == between + 1 &&
                               core.end - core.begin <= kLongestClickTicks &&
                               a.pauses[at].first.end - a.pauses[at].first.start >= kClickSideMs &&
                               next.end - next.start >= kClickSideMs;
            if (!click)
                break;
            pause.end = next.end;
        }
        found.push_back(pause);
    }
    return found;
}

// The silences a GAP file gets: those of the least length that hold no sound by the rule verify
// judges with (a part that does is cut out, the parts between judged on their own), what a GAP
// file keeps of each, and a warning of what it cannot keep.
void keepQuietSilences(Analysis& a, std::vector<Silence> found, Detection& detection) {
    const int least = a.options.leastSilenceMs;
    for (std::size_t at = 0; at < found.size(); ++at) {
        const Silence silence = found[at];
        if (silence.end - silence.start < least)
            continue;
        if (silence.start > silences::kLastMs) {
            ++a.leftOut;
            continue;
        }
        // What a GAP file keeps of it is judged, as verify judges it.
        const Silence fits{silence.start, std::min<std::int64_t>(silence.end, silences::kLastMs)};
        const FrameSpan span = framesOf(fits.start, fits.end, a.rate);
        const std::vector<SoundSpan> inside =
            soundInside(a.recording, span.start, span.end, a.gate.soundDb);
        if (!inside.empty()) {
            std::int64_t from = silence.start;
            std::vector<Silence> parts;
            for (const SoundSpan& sound : inside) {
                // Each part is shorter than the silence, so that this ends.
                parts.push_back({from, std::min(a.ms(sound.start, false), silence.end - 1)});
                from = std::max(a.ms(sound.end, true), silence.start + 1);
            }
            parts.push_back({from, silence.end});
            std::erase_if(parts,
                          [&](const Silence& part) { return part.end - part.start < least; });
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
            " ms, longer than a GAP file reaches (32,767 ms): " + std::to_string(a.leftOut) +
            (a.leftOut == 1 ? " silence" : " silences") + " after that left out" +
            (a.cutShort
                 ? ", and none looked for after " + thousands(a.ms(a.levels.frames, false)) + " ms"
                 : std::string()));
}

} // namespace

Detection detectSilences(SoundFile& recording, const DetectOptions& options) {
    Detection detection;
    Analysis analysis(recording, options);
    if (!readLevels(analysis, detection) || !measureLevels(analysis, detection))
        return detection;
    speechBandSounds(analysis);
    learnCalm(analysis);
    if (!options.thresholdDb)
        octaveSounds(analysis);
    if (modelDecides(analysis)) {
        modelSounds(analysis);
        // A ringing room's decay is no sound in a silence, to detect as to verify.
        if (analysis.ringing) {
            analysis.gate.soundDb =
                std::max(analysis.gate.soundDb, analysis.gate.speechDb - kRingingUnderSpeechDb);
            detection.thresholdDb = analysis.gate.soundDb;
        }
    }
    chooseEdgeRule(analysis, detection);
    placePauses(analysis);
    keepQuietSilences(analysis, joinedOverClicks(analysis), detection);
    return detection;
}

Features speechFeaturesOf(SoundFile& recording) {
    Features seen;
    Detection detection;
    Analysis analysis(recording, DetectOptions{});
    if (!readLevels(analysis, detection))
        return seen;
    if (measureLevels(analysis, detection)) {
        speechBandSounds(analysis);
        learnCalm(analysis);
        octaveSounds(analysis);
    }
    seen.features = speech::tickFeatures(analysis.levels, analysis.dead, soundTicks(analysis));
    seen.roomDecay = speech::roomDecay(analysis.levels, analysis.dead).decay;
    seen.origin = analysis.levels.origin;
    seen.tickFrames = analysis.tickFrames;
    seen.levelDb = analysis.levelDb;
    seen.speechDb = analysis.gate.speechDb;
    return seen;
}

std::vector<char> teacherLabels(SoundFile& recording, const Features& features) {
    DetectOptions options;
    options.levelRule = true;
    const Detection detection = detectSilences(recording, options);
    const std::size_t ticks = features.features.size();
    std::vector<char> speaking(ticks, 1);
    const int rate = recording.sampleRate();
    // A tick is in a silence when its middle is.
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        const auto middle = features.origin +
                            static_cast<std::int64_t>(tick) * features.tickFrames +
                            features.tickFrames / 2;
        const double ms = static_cast<double>(middle) * 1000 / rate;
        for (const Silence& silence : detection.silences)
            if (ms >= static_cast<double>(silence.start) && ms < static_cast<double>(silence.end))
                speaking[tick] = 0;
    }
    return speaking;
}

} // namespace ravik::audio
