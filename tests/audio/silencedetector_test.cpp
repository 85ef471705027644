// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "support/testfiles.hpp"
#include "testset.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <sndfile.h>

namespace ravik::audio {
namespace {
using test::PrintTo;

struct Layout {
    std::string name;
    int format;
    int sampleRate;
    int channels;
};

class EveryLayout : public ::testing::TestWithParam<Layout> {};

// Silence, 400 ms of a tone in the last channel only, silence: every channel must stay quiet
// for a stretch to count, and the edges are the same whatever the samples' form.
TEST_P(EveryLayout, FindsTheSameSilences) {
    const Layout layout = GetParam();
    testset::Recording recording;
    recording.sampleRate = layout.sampleRate;
    recording.channels = layout.channels;
    const int rate = layout.sampleRate;
    for (int frame = 0; frame < rate; ++frame)
        for (int channel = 0; channel < layout.channels; ++channel) {
            const bool sounding =
                channel == layout.channels - 1 && frame >= rate * 3 / 10 && frame < rate * 7 / 10;
            recording.samples.push_back(
                sounding ? static_cast<float>(
                               0.3 * std::sin(2 * std::numbers::pi * 440 * (frame + 0.5) / rate))
                         : 0.0F);
        }
    test::TempDir dir;
    const std::string path = dir.file("layout");
    const bool written = testset::writeWav(recording, path, layout.format);
#ifdef _WIN32
    // The Windows build's libsndfile has no codec libraries of its own (no FLAC, Ogg, MP3).
    if (!written && (layout.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV &&
        (layout.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_AIFF)
        GTEST_SKIP() << "this build of libsndfile writes no such file";
#endif
    ASSERT_TRUE(written);
    auto opened = SoundFile::open(path);
    ASSERT_TRUE(opened.file) << opened.failure->sentence();
    EXPECT_EQ(opened.file->channels(), layout.channels);
    EXPECT_EQ(opened.file->sampleRate(), rate);
    EXPECT_EQ(opened.file->frames(), rate);
    const Detection detection = detectSilences(*opened.file);
    ASSERT_FALSE(detection.failure) << detection.failure->sentence();
    EXPECT_EQ(detection.silences, (std::vector<Silence>{{0, 300}, {700, 1000}}));
    EXPECT_EQ(detection.lengthMs, 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EveryLayout,
    ::testing::Values(Layout{"Wav16BitMono8kHz", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8'000, 1},
                      Layout{"Wav24BitStereo48kHz", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48'000, 2},
                      Layout{"WavFloatSixChannels96kHz", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 96'000,
                             6},
                      Layout{"Aiff16BitStereo44kHz", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44'100, 2},
                      Layout{"Flac16BitMono22kHz", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22'050, 1}),
    test::RowName{});

TEST(SoundFile, AFailureNamesTheFileAndLibsndfilesReason) {
    test::TempDir dir;
    const std::string path = dir.write("notes.wav", {'R', 'I', 'F', 'F', 0, 0});
    const auto opened = SoundFile::open(path);
    ASSERT_FALSE(opened.file);
    EXPECT_EQ(opened.failure->path, path);
    EXPECT_FALSE(opened.failure->reason.empty());
    EXPECT_NE(opened.failure->reason.back(), '.'); // it reads inside the sentence
    const auto missing = SoundFile::open(dir.file("missing.wav"));
    ASSERT_TRUE(missing.failure);
    EXPECT_NE(missing.failure->sentence().find("No such file or directory"), std::string::npos)
        << missing.failure->sentence();
}

struct SettingRow {
    const char* name;
    const char* text;
    std::optional<double> threshold;
    std::optional<int> leastSilence;
};

class SettingText : public ::testing::TestWithParam<SettingRow> {};

// gaptool's options and the Recording window's fields take detect's settings by these rules.
TEST_P(SettingText, TakesOnlyDetectsBounds) {
    EXPECT_EQ(thresholdFromText(GetParam().text), GetParam().threshold);
    EXPECT_EQ(leastSilenceFromText(GetParam().text), GetParam().leastSilence);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingText,
    ::testing::Values(SettingRow{"NegativeLevel", "-45", -45.0, std::nullopt},
                      SettingRow{"FractionBelowZero", "-0.5", -0.5, std::nullopt},
                      SettingRow{"Zero", "0", std::nullopt, std::nullopt},
                      SettingRow{"NegativeZero", "-0", std::nullopt, std::nullopt},
                      SettingRow{"LeastMillisecond", "1", std::nullopt, 1},
                      SettingRow{"LastMillisecond", "32767", std::nullopt, 32'767},
                      SettingRow{"PastLastMillisecond", "32768", std::nullopt, std::nullopt},
                      SettingRow{"Fraction", "51.5", std::nullopt, std::nullopt},
                      SettingRow{"MinusInfinity", "-inf", std::nullopt, std::nullopt},
                      SettingRow{"NotANumber", "nan", std::nullopt, std::nullopt},
                      SettingRow{"Unit", "-45dB", std::nullopt, std::nullopt},
                      SettingRow{"Space", " -45", std::nullopt, std::nullopt},
                      SettingRow{"Empty", "", std::nullopt, std::nullopt}),
    test::RowName{});

} // namespace
} // namespace ravik::audio

namespace ravik::audio {
namespace {

// Ten minutes at 8 kHz of a second each: 700 ms of a tone, 300 ms of a quiet room's hiss.
testset::Recording tenMinutesOfPauses() {
    testset::Recording made;
    made.sampleRate = 8'000;
    std::mt19937 random(11);
    const auto hiss = [&] {
        return static_cast<float>((static_cast<double>(random()) / 4294967296.0 - 0.5) * 0.004);
    };
    for (int second = 0; second < 600; ++second)
        for (int frame = 0; frame < 8'000; ++frame)
            made.samples.push_back(
                hiss() + (frame < 5'600 ? static_cast<float>(0.1 * std::sin(2 * std::numbers::pi *
                                                                            440 * frame / 8'000))
                                        : 0.0F));
    return made;
}

Detection detectionOf(const testset::Recording& recording, const std::string& path, int format) {
    EXPECT_TRUE(testset::writeWav(recording, path, format));
    auto opened = SoundFile::open(path);
    EXPECT_TRUE(opened.file);
    return opened.file ? detectSilences(*opened.file) : Detection{};
}

// What follows a recording's first ten minutes changes none of its levels (here ten minutes
// more of a tone far louder than its speech), yet it is read to its end: its length is all of
// it, and a sample no recording holds there is refused as anywhere else.
TEST(LongRecording, IsMeasuredOverItsFirstTenMinutesAndReadToItsEnd) {
    test::TempDir dir;
    testset::Recording recording = tenMinutesOfPauses();
    const Detection first = detectionOf(recording, dir.file("first.wav"), 0);
    ASSERT_FALSE(first.failure) << first.failure->sentence();
    ASSERT_EQ(first.warnings.size(), 1U);
    const std::string left = first.warnings[0].substr(first.warnings[0].find(" ms, longer"));
    for (int frame = 0; frame < 600 * 8'000; ++frame)
        recording.samples.push_back(
            static_cast<float>(0.9 * std::sin(2 * std::numbers::pi * 300 * frame / 8'000)));
    const Detection whole = detectionOf(recording, dir.file("whole.wav"), 0);
    ASSERT_FALSE(whole.failure) << whole.failure->sentence();
    EXPECT_EQ(whole.silences, first.silences);
    EXPECT_EQ(whole.noiseFloorDb, first.noiseFloorDb);
    EXPECT_EQ(whole.speechLevelDb, first.speechLevelDb);
    EXPECT_EQ(whole.thresholdDb, first.thresholdDb);
    EXPECT_EQ(first.lengthMs, 600'000);
    EXPECT_EQ(whole.lengthMs, 1'200'000);
    EXPECT_EQ(whole.warnings, std::vector<std::string>{"the recording lasts 1,200,000" + left +
                                                       ", and none looked for after 600,000 ms"});

    recording.samples[900 * 8'000] = std::numeric_limits<float>::quiet_NaN();
    const std::string broken = dir.file("broken.wav");
    const Detection refused = detectionOf(recording, broken, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_TRUE(refused.failure);
    EXPECT_EQ(refused.failure->path, broken);
    EXPECT_NE(refused.failure->reason.find("Its sample at 900.000 s"), std::string::npos)
        << refused.failure->reason;
}

} // namespace
} // namespace ravik::audio
