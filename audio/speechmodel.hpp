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
/// its loud speech (what one in twenty ticks reaches), in units of 20 dB; and whether the level
/// rule hears sound there (1) or not (0), which the model learns when to trust.
inline constexpr std::size_t kTickFeatures = 8;
using TickFeatures = std::array<float, kTickFeatures>;

/// The ticks around a frame whose features the model takes, from 200 ms before to 200 ms after,
/// closer together near the frame.
inline constexpr std::array<int, 13> kContext = {-40, -24, -16, -10, -6, -3, 0,
                                                 3,   6,   10,  16,  24, 40};
/// The network's inputs: the features of the ticks of kContext, one tick's after another, then
/// the recording's roomDecay.
inline constexpr std::size_t kInputs = kTickFeatures * kContext.size() + 1;
/// The model decides every this many ticks (10 ms); the ticks between take the decision before.
inline constexpr std::size_t kFrameTicks = 2;

/// Every tick's features; `dead` marks the ticks of digital silence, `heard` those the level
/// rule hears sound in.
[[nodiscard]] std::vector<TickFeatures> tickFeatures(const TickLevels& levels,
                                                     const std::vector<char>& dead,
                                                     const std::vector<char>& heard);

/// How slowly the recording's loud speech dies away, the same for all its frames: of the ticks
/// within 10 dB of the loud speech (as tickFeatures measures it) that are followed by one 25 dB
/// under it within 400 ms, the one in ten that is soonest followed so, in units of 100 ms to
/// that one (at most 3). A word ends at once in a dry room and takes a hard room's decay to die
/// away in a reverberant one.
struct RoomDecay {
    float decay = 0;      ///< 0 where fewer than five ticks fall so far (under loud noise)
    std::size_t ends = 0; ///< the falls it is measured over: one for each tick they fall to
};
[[nodiscard]] RoomDecay roomDecay(const TickLevels& levels, const std::vector<char>& dead);

/// Whether the weights of a trained model are built in (the first build of a new set of features
/// has none yet, and then the level rule decides alone).
[[nodiscard]] bool trained();

/// The network's sums run in the lanes the analysis's filters run in (ticklevels.hpp).
using audio::hasLanes;
using audio::Lanes;
using audio::widestLanes;

/// The probability that a voice speaks in a frame, from the features of the ticks of kContext
/// around it, one tick's after another, and the recording's roomDecay.
[[nodiscard]] float speakingIn(const std::array<float, kInputs>& input);
[[nodiscard]] float speakingIn(const std::array<float, kInputs>& input, Lanes lanes);

/// For every tick, the probability that a voice speaks in it: the model over tickFeatures',
/// which are made a block at a time, so that memory does not grow with them, and the
/// recording's roomDecay.
[[nodiscard]] std::vector<float> speechProbability(const TickLevels& levels,
                                                   const std::vector<char>& dead,
                                                   const std::vector<char>& heard, float roomDecay);

/// The weights, as the script writes them: input to hidden, hidden to hidden, hidden to output,
/// each row a unit's weights then its bias.
struct Weights {
    static constexpr std::size_t kFirst = 32;
    static constexpr std::size_t kSecond = 16;
    std::array<std::array<float, kInputs + 1>, kFirst> first;
    std::array<std::array<float, kFirst + 1>, kSecond> second;
    std::array<float, kSecond + 1> output;
};
extern const Weights kWeights;
extern const bool kTrained;

} // namespace ravik::audio::speech
