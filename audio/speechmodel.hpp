// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/ticklevels.hpp"

#include <array>
#include <cstddef>
#include <vector>

/// Whether a voice speaks: a small network, trained by audio/speechmodel/train.py on recordings
/// from Debian's packages, over the levels the detector reads anyway (ticklevels.hpp). Its
/// weights are C++ source that the script writes (speechmodel/weights.cpp); nothing is read at
/// run time.
namespace ravik::audio::speech {

/// What the model sees of one tick: each octave's level and the speech band's over their own
/// floors (the level a tenth of the recording's ticks stay under), and the speech band's under
/// its loud speech (what one in twenty ticks reaches), in units of 20 dB.
inline constexpr std::size_t kTickFeatures = 7;
using TickFeatures = std::array<float, kTickFeatures>;

/// The ticks around a frame whose features the model takes, from 60 ms before to 60 ms after.
inline constexpr std::array<int, 9> kContext = {-12, -8, -4, -2, 0, 2, 4, 8, 12};
inline constexpr std::size_t kInputs = kTickFeatures * kContext.size();
/// The model decides every this many ticks (10 ms); the ticks between take the decision before.
inline constexpr std::size_t kFrameTicks = 2;

/// Every tick's features; `dead` marks the ticks of digital silence.
[[nodiscard]] std::vector<TickFeatures> tickFeatures(const TickLevels& levels,
                                                     const std::vector<char>& dead);

/// Whether the weights of a trained model are built in (the first build of a new set of features
/// has none yet, and then the level rule decides alone).
[[nodiscard]] bool trained();

/// For every tick, the probability that a voice speaks in it.
[[nodiscard]] std::vector<float> speechProbability(const std::vector<TickFeatures>& features);

/// The weights, as the script writes them: input to hidden, hidden to hidden, hidden to output,
/// each row a unit's weights then its bias.
struct Weights {
    static constexpr std::size_t kFirst = 24;
    static constexpr std::size_t kSecond = 12;
    std::array<std::array<float, kInputs + 1>, kFirst> first;
    std::array<std::array<float, kFirst + 1>, kSecond> second;
    std::array<float, kSecond + 1> output;
};
extern const Weights kWeights;
extern const bool kTrained;

} // namespace ravik::audio::speech
