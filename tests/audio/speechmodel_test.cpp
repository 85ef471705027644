// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/speechmodel.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace ravik::test {
namespace {

using namespace audio;

// Levels of every kind a recording has (quiet, loud, digital silence, sound the level rule hears
// or not) over `ticks` ticks, from a fixed seed.
struct Made {
    TickLevels levels;
    std::vector<char> dead;
    std::vector<char> heard;
};

Made made(std::size_t ticks) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> db(-90, 0);
    Made m;
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        const bool loud = (tick / 97) % 3 != 0;
        const auto level = [&] { return std::pow(10.0F, (db(random) + (loud ? 20 : -20)) / 10); };
        m.levels.energy.push_back(level());
        m.levels.spread.push_back(1);
        std::array<float, kOctaves> octaves{};
        for (float& octave : octaves)
            octave = level();
        m.levels.octaves.push_back(octaves);
        m.dead.push_back(tick % 1000 >= 500 && tick % 1000 < 530 ? 1 : 0);
        m.heard.push_back(loud && random() % 5 != 0 ? 1 : 0);
    }
    return m;
}

class SpeechProbability : public ::testing::TestWithParam<std::size_t> {};

// The model runs over the features a block at a time: every tick's probability is the one of its
// frame's features taken whole, at the recording's ends and at every block's edge.
TEST_P(SpeechProbability, IsTheNetworkOverTheWholeFeatures) {
    const Made m = made(GetParam());
    const std::vector<speech::TickFeatures> features =
        speech::tickFeatures(m.levels, m.dead, m.heard);
    const float room = speech::roomDecay(m.levels, m.dead).decay;
    const std::vector<float> found = speech::speechProbability(m.levels, m.dead, m.heard, room);
    ASSERT_EQ(found.size(), GetParam());
    const auto ticks = static_cast<std::ptrdiff_t>(GetParam());
    std::size_t wrong = 0;
    for (std::ptrdiff_t tick = 0; tick < ticks; ++tick) {
        const std::ptrdiff_t frame = tick - tick % static_cast<std::ptrdiff_t>(speech::kFrameTicks);
        std::array<float, speech::kInputs> input{};
        input.back() = room;
        for (std::size_t at = 0; at < speech::kContext.size(); ++at) {
            const auto& seen = features[static_cast<std::size_t>(
                std::clamp<std::ptrdiff_t>(frame + speech::kContext[at], 0, ticks - 1))];
            std::copy(seen.begin(), seen.end(),
                      input.begin() + static_cast<std::ptrdiff_t>(at * speech::kTickFeatures));
        }
        if (found[static_cast<std::size_t>(tick)] != speech::speakingIn(input))
            ++wrong;
    }
    EXPECT_EQ(wrong, 0U);
    // Levels that differ give probabilities that differ: the comparison above compares something.
    if (GetParam() > 1000) {
        EXPECT_GT(*std::max_element(found.begin(), found.end()) -
                      *std::min_element(found.begin(), found.end()),
                  0.5F);
    }
}

// The processor's widest lanes give what four give, to the bit, for the features of every kind of
// tick (digital silence, the floor, loud speech) and for inputs past the features' range: a
// width that summed in another order, or fused a multiply into its add, would differ.
TEST(SpeechLanes, EveryWidthGivesTheSameProbabilities) {
    if (!speech::hasLanes(speech::Lanes::Eight))
        GTEST_SKIP() << "this processor has four lanes only";
    EXPECT_EQ(speech::widestLanes(), speech::Lanes::Eight);
    const Made m = made(13'001);
    const std::vector<speech::TickFeatures> features =
        speech::tickFeatures(m.levels, m.dead, m.heard);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> wide(-8, 8);
    std::size_t differ = 0;
    for (std::size_t frame = 0; frame < 4'000; ++frame) {
        std::array<float, speech::kInputs> input{};
        for (std::size_t at = 0; at < speech::kContext.size(); ++at) {
            const auto& seen = features[(frame * 3 + at * 7) % features.size()];
            std::copy(seen.begin(), seen.end(),
                      input.begin() + static_cast<std::ptrdiff_t>(at * speech::kTickFeatures));
        }
        if (frame % 2 == 1)
            for (float& x : input)
                x = wide(random);
        if (speech::speakingIn(input, speech::Lanes::Four) !=
            speech::speakingIn(input, speech::Lanes::Eight))
            ++differ;
    }
    EXPECT_EQ(differ, 0U);
}

// Words of 200 ms at full level that die away by `dbPerTick` each tick, into a floor 60 dB under
// them, `words` times over.
Made dyingAway(float dbPerTick, std::size_t words) {
    Made m;
    const auto add = [&](float db) {
        const float energy = std::pow(10.0F, db / 10);
        m.levels.energy.push_back(energy);
        m.levels.spread.push_back(1);
        std::array<float, kOctaves> octaves{};
        octaves.fill(energy);
        m.levels.octaves.push_back(octaves);
        m.dead.push_back(0);
        m.heard.push_back(db > -30 ? 1 : 0);
    };
    for (std::size_t word = 0; word < words; ++word) {
        for (int tick = 0; tick < 40; ++tick)
            add(0);
        for (float db = -dbPerTick; db > -60; db -= dbPerTick)
            add(db);
        for (int tick = 0; tick < 100; ++tick)
            add(-60);
    }
    return m;
}

// The slower the words die away, the larger the room decay: a dry room's words fall 25 dB in a
// tick, a hard room's take a fifth of a second. It is the same measure on every frame.
TEST(RoomDecay, GrowsAsTheWordsDieAwayMoreSlowly) {
    std::vector<float> rooms;
    for (const float dbPerTick : {60.0F, 5.0F, 2.0F, 1.0F, 0.5F}) {
        const Made m = dyingAway(dbPerTick, 10);
        rooms.push_back(speech::roomDecay(m.levels, m.dead).decay);
        if (rooms.size() > 1) {
            EXPECT_GT(rooms.back(), rooms[rooms.size() - 2]) << dbPerTick << " dB a tick";
        }
    }
    EXPECT_LE(rooms.front(), 0.25F);
    EXPECT_GE(rooms.back(), 1.0F);
}

// Words that never fall far within 400 ms (a voice under loud noise, or one word) say nothing of
// the room: 0, as for a dry one.
TEST(RoomDecay, IsNothingWhereTheWordsNeverFallFarSoon) {
    const Made slow = dyingAway(0.1F, 10);
    EXPECT_EQ(speech::roomDecay(slow.levels, slow.dead).decay, 0.0F);
    const Made none;
    EXPECT_EQ(speech::roomDecay(none.levels, none.dead).decay, 0.0F);
}

// Shorter than the context, one block, a block and a tick, several blocks and a part.
INSTANTIATE_TEST_SUITE_P(Ticks, SpeechProbability,
                         ::testing::Values(std::size_t{1}, std::size_t{25}, std::size_t{4096},
                                           std::size_t{4097}, std::size_t{13'001}));

} // namespace
} // namespace ravik::test
