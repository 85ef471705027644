// SPDX-License-Identifier: GPL-3.0-or-later
#include "speechmodel.hpp"

#include "quiet.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

namespace ravik::audio::speech {
namespace {

// The loud speech of the speech band's `live` levels: what one in twenty ticks reaches.
float loudOf(std::vector<float>& live) {
    return live.empty() ? 0 : quickDecibels(static_cast<float>(percentile(live, 0.95)));
}

// The speech band's feature of a tick: its level `db` under the loud speech, in units of 20 dB.
// That of digital silence lies under any.
constexpr float kDeadUnderLoud = -4.0F;
float underLoud(float db, float loud) {
    return std::clamp((db - loud) / 20.0F, kDeadUnderLoud, 1.0F);
}

// What a tick's levels are measured against: each band's floor and the speech band's loud
// speech, over the whole recording.
struct Scale {
    std::array<float, kOctaves + 1> floors{};
    float loud = 0;
};

// The levels' shares are taken before they become decibels, which keep their order: the same
// values, for a logarithm a tick rather than one a tick and band.
Scale scaleOf(const TickLevels& levels, const std::vector<char>& dead) {
    Scale scale;
    std::vector<float> live;
    live.reserve(levels.ticks());
    for (std::size_t band = 0; band <= kOctaves; ++band) {
        live.clear();
        for (std::size_t tick = 0; tick < levels.ticks(); ++tick)
            if (dead[tick] == 0)
                live.push_back(band < kOctaves ? levels.octaves[tick][band] : levels.energy[tick]);
        scale.floors[band] =
            live.empty() ? 0 : quickDecibels(static_cast<float>(percentile(live, 0.1)));
    }
    scale.loud = loudOf(live); // the speech band's, the last band measured
    return scale;
}

// The ticks from a loud one to the first that lies far under the loud speech, from the speech
// band's feature of each tick.
RoomDecay decayOf(const TickLevels& levels, const std::vector<char>& dead, float loud) {
    constexpr float kLoud = -10.0F / 20;
    constexpr float kFar = -25.0F / 20;
    constexpr std::size_t kWithinTicks = 80;
    constexpr std::size_t kLeastFalls = 5;
    constexpr float kLongestTicks = 60;
    const std::size_t ticks = levels.ticks();
    std::vector<float> feature(ticks);
    quickDecibels(levels.energy.data(), feature.data(), ticks);
    for (std::size_t tick = 0; tick < ticks; ++tick)
        feature[tick] = dead[tick] != 0 ? kDeadUnderLoud : underLoud(feature[tick], loud);
    RoomDecay room;
    std::vector<float> falls;
    std::size_t far = ticks; // the first far tick from here on
    std::size_t fallenTo = ticks;
    for (std::size_t tick = ticks; tick-- > 0;) {
        if (feature[tick] <= kFar) {
            far = tick;
        } else if (feature[tick] >= kLoud && far < ticks && far - tick < kWithinTicks) {
            falls.push_back(static_cast<float>(far - tick));
            room.ends += far != fallenTo ? 1 : 0;
            fallenTo = far;
        }
    }
    if (falls.size() < kLeastFalls)
        return room;
    const auto tenth = falls.begin() + static_cast<std::ptrdiff_t>(falls.size() / 10);
    std::nth_element(falls.begin(), tenth, falls.end());
    room.decay = std::min(*tenth, kLongestTicks) / 20;
    return room;
}

// The features of the ticks from `first` on, as many as `out` holds (those past the recording's
// ends as its first and last tick's). Their levels are made decibels all at once, in `decibels`,
// as deep as the level rule measures: a take turned down by 40 dB gives the take's features.
void featuresOf(const TickLevels& levels, const std::vector<char>& dead,
                const std::vector<char>& heard, const Scale& scale, std::ptrdiff_t first,
                std::span<TickFeatures> out, std::vector<float>& decibels) {
    constexpr std::size_t kBands = kOctaves + 1; // the octaves, then the speech band
    const auto last = static_cast<std::ptrdiff_t>(levels.ticks()) - 1;
    const auto tickAt = [&](std::size_t at) {
        return static_cast<std::size_t>(
            std::clamp<std::ptrdiff_t>(first + static_cast<std::ptrdiff_t>(at), 0, last));
    };
    decibels.resize(kBands * out.size());
    for (std::size_t at = 0; at < out.size(); ++at) {
        const std::size_t tick = tickAt(at);
        std::copy(levels.octaves[tick].begin(), levels.octaves[tick].end(),
                  decibels.begin() + static_cast<std::ptrdiff_t>(kBands * at));
        decibels[kBands * at + kOctaves] = levels.energy[tick];
    }
    quickDecibels(decibels.data(), decibels.data(), decibels.size());
    for (std::size_t at = 0; at < out.size(); ++at) {
        const std::size_t tick = tickAt(at);
        TickFeatures& f = out[at];
        f[kOctaves + 2] = heard[tick] != 0 ? 1.0F : 0.0F;
        if (dead[tick] != 0) {
            std::fill_n(f.begin(), kOctaves + 1, -1.0F);
            f[kOctaves + 1] = kDeadUnderLoud;
            continue;
        }
        const float* db = decibels.data() + kBands * at;
        for (std::size_t band = 0; band < kBands; ++band)
            f[band] = std::clamp((db[band] - scale.floors[band]) / 20.0F, -1.0F, 3.0F);
        f[kOctaves + 1] = underLoud(db[kOctaves], scale.loud);
    }
}

// The first layer's weights input by input, so that the units' sums go side by side (in the
// same order of terms as one unit's at a time: the same result to the bit).
struct ByInput {
    std::array<std::array<float, Weights::kFirst>, kInputs + 1> first{};
    std::array<std::array<float, Weights::kSecond>, Weights::kFirst + 1> second{};
};

const ByInput& byInput() {
    static const ByInput weights = [] {
        ByInput made;
        for (std::size_t unit = 0; unit < Weights::kFirst; ++unit)
            for (std::size_t i = 0; i <= kInputs; ++i)
                made.first[i][unit] = kWeights.first[unit][i];
        for (std::size_t unit = 0; unit < Weights::kSecond; ++unit)
            for (std::size_t i = 0; i <= Weights::kFirst; ++i)
                made.second[i][unit] = kWeights.second[unit][i];
        return made;
    }();
    return weights;
}

// The ticks whose features are kept at a time: a block and the context on both sides of it.
constexpr std::size_t kBlockTicks = 4096;
constexpr std::size_t kReach = 40;
static_assert(kContext.front() == -static_cast<int>(kReach) &&
              kContext.back() == static_cast<int>(kReach));
static_assert(kBlockTicks % kFrameTicks == 0);

// The network's logit, `Lanes` units of a layer at a time in the lanes of the vector unit. Every
// unit's terms are summed in the same order as one unit's alone, so any width gives the same
// result to the bit; and the build keeps multiplies and adds apart (a fused multiply-add rounds
// once where they round twice), whatever the processor it is built for.
template <std::size_t Lanes>
[[gnu::always_inline]] inline float logitOf(const float* input) {
    typedef float Vector __attribute__((vector_size(Lanes * sizeof(float))));
    const ByInput& w = byInput();

    // Each input's terms go to all of a layer's units before the next input's, so that the
    // sums wait on none but their own. (No lambdas here: they would not be built for the
    // caller's wider lanes.)
    Vector weight;
    Vector firstSums[Weights::kFirst / Lanes];
    for (std::size_t v = 0; v < std::size(firstSums); ++v)
        std::memcpy(&firstSums[v], &w.first[kInputs][v * Lanes], sizeof weight);
    for (std::size_t i = 0; i < kInputs; ++i)
        for (std::size_t v = 0; v < std::size(firstSums); ++v) {
            std::memcpy(&weight, &w.first[i][v * Lanes], sizeof weight);
            firstSums[v] += weight * input[i];
        }
    std::array<float, Weights::kFirst> first{};
    for (std::size_t v = 0; v < std::size(firstSums); ++v)
        std::memcpy(&first[v * Lanes], &firstSums[v], sizeof weight);

    Vector secondSums[Weights::kSecond / Lanes];
    for (std::size_t v = 0; v < std::size(secondSums); ++v)
        std::memcpy(&secondSums[v], &w.second[Weights::kFirst][v * Lanes], sizeof weight);
    for (std::size_t i = 0; i < Weights::kFirst; ++i) {
        const float in = std::max(first[i], 0.0F);
        for (std::size_t v = 0; v < std::size(secondSums); ++v) {
            std::memcpy(&weight, &w.second[i][v * Lanes], sizeof weight);
            secondSums[v] += weight * in;
        }
    }
    std::array<float, Weights::kSecond> second{};
    for (std::size_t v = 0; v < std::size(secondSums); ++v)
        std::memcpy(&second[v * Lanes], &secondSums[v], sizeof weight);
    float logit = kWeights.output[Weights::kSecond];
    for (std::size_t i = 0; i < Weights::kSecond; ++i)
        logit += kWeights.output[i] * std::max(second[i], 0.0F);
    return logit;
}

float logitInFourLanes(const float* input) {
    return logitOf<4>(input);
}

#if RAVIK_EIGHT_LANES
[[gnu::target("avx2")]] float logitInEightLanes(const float* input) {
    return logitOf<8>(input);
}
#endif

} // namespace

std::vector<TickFeatures> tickFeatures(const TickLevels& levels, const std::vector<char>& dead,
                                       const std::vector<char>& heard) {
    const Scale scale = scaleOf(levels, dead);
    std::vector<TickFeatures> features(levels.ticks());
    std::vector<float> decibels;
    for (std::size_t block = 0; block < features.size(); block += kBlockTicks)
        featuresOf(
            levels, dead, heard, scale, static_cast<std::ptrdiff_t>(block),
            std::span(features).subspan(block, std::min(kBlockTicks, features.size() - block)),
            decibels);
    return features;
}

RoomDecay roomDecay(const TickLevels& levels, const std::vector<char>& dead) {
    std::vector<float> live;
    for (std::size_t tick = 0; tick < levels.ticks(); ++tick)
        if (dead[tick] == 0)
            live.push_back(levels.energy[tick]);
    return decayOf(levels, dead, loudOf(live));
}

bool trained() {
    return kTrained;
}

float speakingIn(const std::array<float, kInputs>& input, Lanes lanes) {
#if RAVIK_EIGHT_LANES
    const float logit =
        lanes == Lanes::Eight ? logitInEightLanes(input.data()) : logitInFourLanes(input.data());
#else
    (void)lanes;
    const float logit = logitInFourLanes(input.data());
#endif
    return 1.0F / (1.0F + std::exp(-logit));
}

float speakingIn(const std::array<float, kInputs>& input) {
    return speakingIn(input, widestLanes());
}

std::vector<float> speechProbability(const TickLevels& levels, const std::vector<char>& dead,
                                     const std::vector<char>& heard, float roomDecay) {
    const std::size_t ticks = levels.ticks();
    std::vector<float> probability(ticks, 1.0F);
    if (ticks == 0)
        return probability;
    const Scale scale = scaleOf(levels, dead);
    // A block's features at a time, those past the recording's ends taken to repeat its first
    // and last, so that memory stays the same for any length.
    std::vector<TickFeatures> around(kBlockTicks + 2 * kReach);
    std::vector<float> decibels;
    std::array<float, kInputs> input{};
    input.back() = roomDecay;
    const Lanes lanes = widestLanes();
    for (std::size_t block = 0; block < ticks; block += kBlockTicks) {
        const auto first = static_cast<std::ptrdiff_t>(block) - static_cast<std::ptrdiff_t>(kReach);
        featuresOf(levels, dead, heard, scale, first, around, decibels);
        for (std::size_t frame = block; frame < std::min(ticks, block + kBlockTicks);
             frame += kFrameTicks) {
            for (std::size_t at = 0; at < kContext.size(); ++at) {
                const TickFeatures& seen = around[static_cast<std::size_t>(
                    static_cast<std::ptrdiff_t>(frame) + kContext[at] - first)];
                std::copy(seen.begin(), seen.end(),
                          input.begin() + static_cast<std::ptrdiff_t>(at * kTickFeatures));
            }
            const float p = speakingIn(input, lanes);
            for (std::size_t tick = frame; tick < std::min(ticks, frame + kFrameTicks); ++tick)
                probability[tick] = p;
        }
    }
    return probability;
}

} // namespace ravik::audio::speech
