// SPDX-License-Identifier: GPL-3.0-or-later
#include "speechmodel.hpp"

#include <algorithm>
#include <cmath>

namespace ravik::audio::speech {
namespace {

float decibelsOf(float meanSquare) {
    return 10.0F * std::log10(meanSquare + 1e-10F);
}

// The value below which `share` of `values` lie (0 for none).
float share(std::vector<float> values, double fraction) {
    if (values.empty())
        return 0;
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at),
                     values.end());
    return values[at];
}

} // namespace

std::vector<TickFeatures> tickFeatures(const TickLevels& levels, const std::vector<char>& dead) {
    const std::size_t ticks = levels.ticks();
    // The levels in dB: the octaves, then the speech band.
    std::vector<TickFeatures> db(ticks);
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        for (std::size_t octave = 0; octave < kOctaves; ++octave)
            db[tick][octave] = decibelsOf(levels.octaves[tick][octave]);
        db[tick][kOctaves] = decibelsOf(levels.energy[tick]);
    }
    std::array<float, kOctaves + 1> floors{};
    std::vector<float> live;
    for (std::size_t band = 0; band <= kOctaves; ++band) {
        live.clear();
        for (std::size_t tick = 0; tick < ticks; ++tick)
            if (dead[tick] == 0)
                live.push_back(db[tick][band]);
        floors[band] = share(live, 0.1);
    }
    const float loud = share(live, 0.95); // `live` holds the speech band's now
    std::vector<TickFeatures> features(ticks);
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        TickFeatures& f = features[tick];
        if (dead[tick] != 0) {
            f.fill(-1.0F);
            f[kOctaves + 1] = -4.0F;
            continue;
        }
        for (std::size_t band = 0; band <= kOctaves; ++band)
            f[band] = std::clamp((db[tick][band] - floors[band]) / 20.0F, -1.0F, 3.0F);
        f[kOctaves + 1] = std::clamp((db[tick][kOctaves] - loud) / 20.0F, -4.0F, 1.0F);
    }
    return features;
}

bool trained() {
    return kTrained;
}

std::vector<float> speechProbability(const std::vector<TickFeatures>& features) {
    const std::size_t ticks = features.size();
    std::vector<float> probability(ticks, 1.0F);
    std::array<float, kInputs> input{};
    std::array<float, Weights::kFirst> first{};
    std::array<float, Weights::kSecond> second{};
    for (std::size_t frame = 0; frame < ticks; frame += kFrameTicks) {
        // The ticks around it, those past the recording's ends taken to repeat its first and last.
        for (std::size_t at = 0; at < kContext.size(); ++at) {
            const auto tick = static_cast<std::size_t>(
                std::clamp<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(frame) + kContext[at], 0,
                                           static_cast<std::ptrdiff_t>(ticks) - 1));
            std::copy(features[tick].begin(), features[tick].end(),
                      input.begin() + static_cast<std::ptrdiff_t>(at * kTickFeatures));
        }
        for (std::size_t unit = 0; unit < Weights::kFirst; ++unit) {
            const auto& row = kWeights.first[unit];
            float sum = row[kInputs];
            for (std::size_t i = 0; i < kInputs; ++i)
                sum += row[i] * input[i];
            first[unit] = std::max(sum, 0.0F);
        }
        for (std::size_t unit = 0; unit < Weights::kSecond; ++unit) {
            const auto& row = kWeights.second[unit];
            float sum = row[Weights::kFirst];
            for (std::size_t i = 0; i < Weights::kFirst; ++i)
                sum += row[i] * first[i];
            second[unit] = std::max(sum, 0.0F);
        }
        float logit = kWeights.output[Weights::kSecond];
        for (std::size_t i = 0; i < Weights::kSecond; ++i)
            logit += kWeights.output[i] * second[i];
        const float p = 1.0F / (1.0F + std::exp(-logit));
        for (std::size_t tick = frame; tick < std::min(ticks, frame + kFrameTicks); ++tick)
            probability[tick] = p;
    }
    return probability;
}

} // namespace ravik::audio::speech
