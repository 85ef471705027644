// SPDX-License-Identifier: GPL-3.0-or-later
// The levels every judgement of quiet is made on: the octaves, the speech band, digital silence.
#include "audio/quiet.hpp"
#include "audio/ticklevels.hpp"
#include "support/testfiles.hpp"
#include "testset.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <random>
#include <sndfile.h>

namespace ravik::audio {
namespace {
using test::PrintTo;

constexpr std::int64_t kToTheEnd = std::numeric_limits<std::int64_t>::max();

// One second of a tone of `hz` at `amplitude` in every channel.
testset::Recording tone(int sampleRate, int channels, double hz, double amplitude) {
    testset::Recording made;
    made.sampleRate = sampleRate;
    made.channels = channels;
    for (int frame = 0; frame < sampleRate; ++frame)
        for (int channel = 0; channel < channels; ++channel)
            made.samples.push_back(static_cast<float>(
                amplitude * std::sin(2 * std::numbers::pi * hz * frame / sampleRate)));
    return made;
}

TickLevels levelsOf(const testset::Recording& recording, int format = 0,
                    Lanes lanes = widestLanes()) {
    test::TempDir dir;
    const std::string path = dir.file("levels");
    EXPECT_TRUE(testset::writeWav(recording, path, format));
    auto opened = SoundFile::open(path);
    return readTickLevels(*opened.file, 0, kToTheEnd, tickFramesAt(recording.sampleRate), lanes);
}

struct Rate {
    std::string name;
    int sampleRate;
    int channels;
};

class EveryRate : public ::testing::TestWithParam<Rate> {};

// A tone inside each octave is loudest there, 6 dB over its neighbours (the octaves' filters
// overlap a little) and 20 dB over the others, and the speech band holds its power within a few
// decibels: a halving, a split or a tick placed wrongly puts it elsewhere. (Not a frequency a
// power of two from the rate: each octave is taken from every second sample of its band, which
// a tone there can fall between.)
TEST_P(EveryRate, AToneStandsInItsOwnOctave) {
    const Rate rate = GetParam();
    const int analysis = analysisRate(rate.sampleRate);
    EXPECT_GE(analysis, 8'000);
    EXPECT_LT(analysis, 16'000);
    constexpr double kAmplitude = 0.3;
    const double power = decibels(kAmplitude * kAmplitude / 2);
    for (std::size_t octave = 0; octave < kOctaves; ++octave) {
        // 70% of the way from 0 to the octave's top, R / 2^(b+1).
        const double hz = 0.7 * analysis / std::pow(2.0, static_cast<double>(octave) + 1);
        SCOPED_TRACE(std::to_string(hz) + " Hz");
        const TickLevels levels = levelsOf(tone(rate.sampleRate, rate.channels, hz, kAmplitude));
        ASSERT_EQ(levels.ticks(),
                  static_cast<std::size_t>((rate.sampleRate + levels.tickFrames - 1) /
                                           levels.tickFrames));
        const std::size_t middle = levels.ticks() / 2;
        EXPECT_NEAR(decibels(levels.energy[middle]), power, 5);
        const double own = decibels(levels.octaves[middle][octave]);
        for (std::size_t other = 0; other < kOctaves; ++other) {
            const std::size_t apart = other > octave ? other - octave : octave - other;
            if (apart > 0) {
                EXPECT_GT(own, decibels(levels.octaves[middle][other]) + (apart == 1 ? 6 : 20))
                    << "octave " << other;
            }
        }
    }
    // Mains hum lies under the lowest octave, and counts for little.
    const TickLevels hum = levelsOf(tone(rate.sampleRate, rate.channels, 50, kAmplitude));
    EXPECT_LT(decibels(hum.energy[hum.ticks() / 2]), power - 15);
}

// The filters and the samples' conversion in eight lanes give the levels four give, to the bit,
// at every rate (each rate its own number of halvings): a width that summed a tap in another
// order, fused a multiply into its add, or read past a buffer's end, would differ.
TEST_P(EveryRate, EightLanesGiveWhatFourGive) {
    if (!hasLanes(Lanes::Eight))
        GTEST_SKIP() << "this processor has four lanes only";
    const Rate rate = GetParam();
    testset::Recording made = tone(rate.sampleRate, rate.channels, 700, 0.3);
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0, 0.05F);
    for (float& sample : made.samples)
        sample += noise(random);
    // Floats, and 16-bit samples, which the analysis makes floats itself.
    for (const int format : {SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_WAV | SF_FORMAT_PCM_16}) {
        const TickLevels four = levelsOf(made, format, Lanes::Four);
        const TickLevels eight = levelsOf(made, format, Lanes::Eight);
        ASSERT_GT(four.ticks(), 100U);
        EXPECT_EQ(four.energy, eight.energy) << format;
        EXPECT_EQ(four.spread, eight.spread) << format;
        EXPECT_EQ(four.octaves, eight.octaves) << format;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, EveryRate,
                         ::testing::Values(Rate{"Mono8kHz", 8'000, 1}, Rate{"Mono16kHz", 16'000, 1},
                                           Rate{"Mono22kHz", 22'050, 1},
                                           Rate{"Stereo44kHz", 44'100, 2},
                                           Rate{"Mono96kHz", 96'000, 1}),
                         test::RowName{});

// 16-bit samples are read as integers and made floats by the analysis itself: the levels must
// be those of the same samples read as floats, to the last bit.
TEST(TickLevels, SixteenBitSamplesGiveTheLevelsOfTheirFloats) {
    test::TempDir dir;
    const std::string integers = dir.file("integers.wav");
    ASSERT_TRUE(testset::writeWav(
        testset::makeVoiceRecording(testset::Voice::narrator, testset::VoiceCondition::clean),
        integers, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    auto opened = SoundFile::open(integers);
    ASSERT_TRUE(opened.file->sixteenBitSamples());
    testset::Recording floats;
    floats.sampleRate = opened.file->sampleRate();
    floats.samples.resize(static_cast<std::size_t>(opened.file->frames()));
    floats.samples.resize(opened.file->readFrames(floats.samples));
    const TickLevels fromIntegers =
        readTickLevels(*opened.file, 0, kToTheEnd, tickFramesAt(floats.sampleRate));
    const TickLevels fromFloats = levelsOf(floats, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(fromIntegers.energy, fromFloats.energy);
    EXPECT_EQ(fromIntegers.spread, fromFloats.spread);
    EXPECT_EQ(fromIntegers.octaves, fromFloats.octaves);
}

// A percentile is the value a full sort puts at its place, whether the values are few or many,
// spread or heaped on a few, negative or deep (the levels' mean squares and their decibels).
struct Values {
    std::string name;
    std::size_t count;
    std::function<float(std::mt19937&)> draw;
};

class EveryValues : public ::testing::TestWithParam<Values> {};

TEST_P(EveryValues, APercentileIsWhereASortPutsIt) {
    std::mt19937 random(7);
    std::vector<float> values(GetParam().count);
    for (float& value : values)
        value = GetParam().draw(random);
    std::vector<float> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    for (const double share : {0.0, 0.1, 0.5, 0.75, 0.9, 0.95, 0.98, 1.0}) {
        const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
        EXPECT_EQ(percentile(values, share), sorted[at]) << share;
    }
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, sorted); // reordered, nothing lost or changed
}

INSTANTIATE_TEST_SUITE_P(
    Percentiles, EveryValues,
    ::testing::Values(
        Values{"few", 100, [](std::mt19937& r) { return std::normal_distribution<float>()(r); }},
        Values{"meanSquares", 100'000,
               [](std::mt19937& r) { return std::lognormal_distribution<float>(-10, 4)(r); }},
        Values{"decibels", 60'000,
               [](std::mt19937& r) { return std::uniform_real_distribution<float>(-140, 0)(r); }},
        Values{"heaped", 50'000,
               [](std::mt19937& r) {
                   return std::bernoulli_distribution(0.9)(r)
                              ? -140.0F
                              : std::normal_distribution<float>(-30, 0.001F)(r);
               }},
        Values{"signed", 4'096,
               [](std::mt19937& r) { return std::normal_distribution<float>(0, 1e-30F)(r); }}),
    test::RowName{});

// Decibels within a thousandth of the library's, never under the deepest level (nor for zero,
// negative or NaN levels); and those taken two at a time are the same to the bit, at either end
// of an odd count too.
TEST(Decibels, AsTheLibrarysAndTheSameTwoAtATime) {
    std::vector<float> meanSquares = {0.0F,   -1.0F,       std::numeric_limits<float>::quiet_NaN(),
                                      1e-14F, 1.0001e-14F, 0.5F,
                                      1.0F,   2.0F};
    for (double exponent = -15; exponent < 1; exponent += 0.0137)
        meanSquares.push_back(static_cast<float>(std::pow(10.0, exponent)));
    if (meanSquares.size() % 2 == 0)
        meanSquares.push_back(4.0F); // the last taken alone
    std::vector<float> decibels(meanSquares.size());
    quickDecibels(meanSquares.data(), decibels.data(), decibels.size());
    for (std::size_t at = 0; at < meanSquares.size(); ++at) {
        const float meanSquare = meanSquares[at];
        const float one = quickDecibels(meanSquare);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(decibels[at]), std::bit_cast<std::uint32_t>(one))
            << meanSquare;
        if (meanSquare > kDeepestMeanSquare)
            EXPECT_NEAR(one, 10 * std::log10(static_cast<double>(meanSquare)), 1e-3) << meanSquare;
        else
            EXPECT_EQ(one, static_cast<float>(kDeepestDb)) << meanSquare;
    }
}

// Digital silence (zeros, or a constant offset) has no spread; a stretch's levels come from its
// own samples, so a loud tone just before it adds nothing to its first tick.
TEST(TickLevels, DigitalSilenceAndAStretchsOwnSamples) {
    testset::Recording made = tone(16'000, 1, 1'000, 0.5);
    made.samples.resize(8'000);
    made.samples.resize(12'000, 0.0F);
    made.samples.resize(16'000, 0.25F);
    const TickLevels whole = levelsOf(made);
    const int tickFrames = whole.tickFrames;
    const auto toneEnd = static_cast<std::size_t>(8'000 / tickFrames);
    EXPECT_GT(whole.spread[toneEnd - 1], 0.4F);
    for (std::size_t tick = toneEnd; tick < whole.ticks(); ++tick)
        EXPECT_EQ(whole.spread[tick], 0.0F) << tick;

    test::TempDir dir;
    const std::string path = dir.file("stretch.wav");
    ASSERT_TRUE(testset::writeWav(made, path, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    auto opened = SoundFile::open(path);
    const TickLevels after = readTickLevels(*opened.file, 8'000, 12'000, tickFrames);
    EXPECT_EQ(after.origin, 8'000);
    EXPECT_EQ(after.frames, 12'000);
    ASSERT_EQ(after.ticks(), static_cast<std::size_t>(4'000 / tickFrames));
    EXPECT_EQ(after.energy.front(), 0.0F);
}

} // namespace
} // namespace ravik::audio
