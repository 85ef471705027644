#include "audio/testset.hpp"
#include "detect.hpp"
#include "gaptool.hpp"
#include "support/testfiles.hpp"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace ravik::cli {
namespace {
using test::PrintTo;

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

Output gaptool(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    Output run;
    run.status = runGaptool(arguments, out, err, ".");
    run.out = out.str();
    run.err = err.str();
    return run;
}

// A mono 22,050 Hz recording: `pattern` is a run of (sound?, milliseconds) stretches; sound is a
// 200 Hz tone at -12 dBFS, the rest digital silence.
std::string recording(const test::TempDir& dir, const std::string& name,
                      std::initializer_list<std::pair<bool, int>> pattern) {
    testset::Recording made;
    for (const auto& [sound, ms] : pattern)
        for (int i = 0; i < ms * made.sampleRate / 1000; ++i)
            made.samples.push_back(
                sound ? static_cast<float>(0.25 * std::sin(2 * 3.14159265 * 200 * i / 22'050.0))
                      : 0.0F);
    const std::string path = dir.file(name);
    EXPECT_TRUE(testset::writeWav(made, path));
    return path;
}

class DetectTest : public ::testing::Test {
protected:
    test::TempDir dir;
};

// Silence 0-300 ms, sound, silence 700-1000 ms (a tone's zero crossings are not silences: each
// lasts less than a sample).
TEST_F(DetectTest, WritesTheSilencesBesideTheRecordingAndShowsThem) {
    const std::string wav = recording(dir, "line.wav", {{false, 300}, {true, 400}, {false, 300}});
    const Output run = gaptool({"detect", wav});
    EXPECT_EQ(run.status, kAllCorrect) << run.err;
    EXPECT_EQ(test::readBytes(dir.file("line.gap")), test::records({{0, 300}, {700, 1000}}));
    EXPECT_EQ(run.out, gaptool({"show", dir.file("line.gap")}).out);
}

TEST_F(DetectTest, RefusesToReplaceAnExistingFileUnlessForced) {
    const std::string wav = recording(dir, "line.wav", {{false, 300}, {true, 400}, {false, 300}});
    const std::string gap = dir.write("line.gap", test::records({{1, 2}}));
    const Output refused = gaptool({"detect", wav});
    EXPECT_EQ(refused.status, kTrouble);
    EXPECT_NE(refused.err.find(gap), std::string::npos) << refused.err;
    EXPECT_EQ(test::readBytes(gap), test::records({{1, 2}}));
    EXPECT_EQ(refused.out, "");

    EXPECT_EQ(gaptool({"detect", "--force", wav}).status, kAllCorrect);
    EXPECT_EQ(test::readBytes(gap), test::records({{0, 300}, {700, 1000}}));
}

TEST_F(DetectTest, SeveralRecordingsComeOutInArgumentOrderUnderHeaders) {
    std::vector<std::string> arguments{"detect", "-j", "3"};
    std::string expected;
    for (int i = 0; i < 6; ++i) {
        // Each its own length, so that each finishes at its own time.
        const std::string name = "line" + std::to_string(i);
        arguments.push_back(recording(dir, name + ".wav",
                                      {{false, 100 + 200 * (5 - i)}, {true, 300}, {false, 80}}));
    }
    const Output run = gaptool(arguments);
    EXPECT_EQ(run.status, kAllCorrect) << run.err;
    for (int i = 0; i < 6; ++i) {
        const std::string gap = dir.file("line" + std::to_string(i) + ".gap");
        expected += ">> Loaded File: " + gap + "\n" + gaptool({"show", gap}).out;
        EXPECT_EQ(
            test::readBytes(gap),
            test::records({{0, 100 + 200 * (5 - i)}, {400 + 200 * (5 - i), 480 + 200 * (5 - i)}}));
    }
    EXPECT_EQ(run.out, expected);
}

TEST_F(DetectTest, ALongRecordingKeepsWhatFitsWarnsAndExitsWithOne) {
    // Pauses at 0-1000, 32,000-32,500 (fits), 32,700-33,000 (crosses the end: ends at 32,767)
    // and 34,000-35,000 (left out).
    const std::string wav = recording(dir, "long.wav",
                                      {{false, 1000},
                                       {true, 31'000},
                                       {false, 500},
                                       {true, 200},
                                       {false, 300},
                                       {true, 1000},
                                       {false, 1000}});
    const std::string gap = dir.file("out.gap");
    const Output run = gaptool({"detect", wav, "-o", gap});
    EXPECT_EQ(run.status, kIncorrect);
    EXPECT_EQ(test::readBytes(gap), test::records({{0, 1000}, {32'000, 32'500}, {32'700, 32'767}}));
    EXPECT_NE(run.err.find("1 silence after that left out"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(wav), std::string::npos);
}

struct BadInput {
    std::string name;
    std::function<std::string(const test::TempDir&)> make; // returns the recording's path
    int status;
    std::string reason;
};

std::string noise(const test::TempDir& dir) {
    testset::Recording made;
    std::mt19937 random(7);
    std::normal_distribution<float> value(0.0F, 0.1F);
    for (int i = 0; i < 22'050; ++i)
        made.samples.push_back(value(random));
    const std::string path = dir.file("noise.wav");
    EXPECT_TRUE(testset::writeWav(made, path));
    return path;
}

class DetectBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(DetectBadInput, SaysWhyNamingTheFileAndWritesNothing) {
    test::TempDir dir;
    const std::string path = GetParam().make(dir);
    const auto before = test::namesIn(dir.path());
    const Output run = gaptool({"detect", path});
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_NE(run.err.find('"' + path + "\": " + GetParam().reason), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(test::namesIn(dir.path()), before);
}

// A WAV header of 44 bytes announcing 16-bit mono samples, followed by `samples` zero samples.
std::string wavWithSamples(const test::TempDir& dir, int samples) {
    const std::string path = recording(dir, "short.wav", {{false, 10}});
    test::Bytes bytes = test::readBytes(path);
    bytes.resize(44 + 2 * static_cast<std::size_t>(samples));
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put32(4, static_cast<std::uint32_t>(bytes.size() - 8));
    put32(40, static_cast<std::uint32_t>(2 * samples));
    test::writeBytes(path, bytes);
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, DetectBadInput,
    ::testing::Values(
        BadInput{"NotAudio",
                 [](const test::TempDir& dir) {
                     return dir.write("words.wav", {'h', 'i', '\n'});
                 },
                 kTrouble, "Format not recognised"},
        BadInput{"EmptyFile", [](const test::TempDir& dir) { return dir.write("empty.wav", {}); },
                 kTrouble, "Format not recognised"},
        BadInput{"TruncatedHeader",
                 [](const test::TempDir& dir) {
                     const std::string path = recording(dir, "cut.wav", {{true, 100}});
                     test::Bytes bytes = test::readBytes(path);
                     bytes.resize(30);
                     test::writeBytes(path, bytes);
                     return path;
                 },
                 kTrouble, "Error in WAV file"},
        BadInput{"AFolder",
                 [](const test::TempDir& dir) {
                     std::filesystem::create_directory(dir.path() / "folder.wav");
                     return dir.file("folder.wav");
                 },
                 kTrouble, "Is a directory"},
        BadInput{"ZeroLength", [](const test::TempDir& dir) { return wavWithSamples(dir, 0); },
                 kIncorrect, "it holds no samples"},
        BadInput{"OneSample", [](const test::TempDir& dir) { return wavWithSamples(dir, 1); },
                 kIncorrect, "it is digital silence throughout"},
        BadInput{"DigitalSilence",
                 [](const test::TempDir& dir) {
                     return recording(dir, "silence.wav", {{false, 2000}});
                 },
                 kIncorrect, "it is digital silence throughout"},
        BadInput{"PureNoise", noise, kIncorrect, "no speech stands out from its level of"}),
    test::RowName{});

TEST(DetectCommandLine, WrongOptionsAreRefusedBeforeAnythingIsRead) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"detect"},
                                               {"detect", "a.wav", "--threshold", "12"},
                                               {"detect", "a.wav", "--threshold"},
                                               {"detect", "a.wav", "--min-silence", "0"},
                                               {"detect", "a.wav", "-j", "0"},
                                               {"detect", "a.wav", "b.wav", "-o", "c.gap"},
                                               {"detect", "a.wav", "--fast"},
                                               {"verify", "a.gap"}}) {
        const Output run = gaptool(arguments);
        EXPECT_EQ(run.status, kTrouble) << arguments.back();
        EXPECT_NE(run.err.find("Try 'gaptool --help'"), std::string::npos) << arguments.back();
    }
}

TEST_F(DetectTest, VerifyAgreesWithWhatDetectWrote) {
    const std::string wav = recording(dir, "line.wav", {{false, 300}, {true, 400}, {false, 300}});
    ASSERT_EQ(gaptool({"detect", wav}).status, kAllCorrect);
    const Output run = gaptool({"verify", dir.file("line.gap"), wav});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, kAllCorrect);
}

// A real voice in a real room: whatever the settings, verify with them finds nothing in what
// detect wrote with them.
TEST_F(DetectTest, VerifyAgreesWithWhatDetectWroteWithAnySettings) {
    const std::string wav = dir.file("voice.wav");
    ASSERT_TRUE(testset::writeWav(
        testset::makeVoiceRecording(testset::Voice::game, testset::VoiceCondition::noise20dB),
        wav));
    const std::string gap = dir.file("voice.gap");
    for (const std::vector<std::string>& settings :
         std::vector<std::vector<std::string>>{{},
                                               {"--threshold", "-40"},
                                               {"--min-silence", "120"},
                                               {"--threshold", "-55", "--min-silence", "20"}}) {
        std::vector<std::string> detect{"detect", "--force", wav};
        detect.insert(detect.end(), settings.begin(), settings.end());
        ASSERT_EQ(gaptool(detect).status, kAllCorrect);
        std::vector<std::string> verify{"verify", gap, wav};
        verify.insert(verify.end(), settings.begin(), settings.end());
        const Output run = gaptool(verify);
        EXPECT_EQ(run.out, "") << (settings.empty() ? "defaults" : settings.front());
        EXPECT_EQ(run.status, kAllCorrect);
    }
}

TEST_F(DetectTest, VerifyListsEveryDisagreementInTimeOrder) {
    const std::string wav = recording(
        dir, "line.wav", {{false, 300}, {true, 400}, {false, 300}, {true, 200}, {false, 200}});
    const std::string gap =
        dir.write("line.gap", test::records({{0, 350}, {1400, 1500}, {2000, 2100}}));
    const Output run = gaptool({"verify", gap, wav});
    // The tone's level in the speech band, whose lower edge (200 Hz) it sits on: 3 dB down.
    EXPECT_EQ(run.out, "Silence 1 (0 to 350 ms) holds sound from 300 to 350 ms, at -18 dBFS\n"
                       "Pause from 700 to 1000 ms is not listed\n"
                       "Pause from 1200 to 1400 ms is not listed\n"
                       "Silence 2 (1400 to 1500 ms) goes past the recording's end at 1400 ms\n"
                       "Silence 3 (2000 to 2100 ms) goes past the recording's end at 1400 ms\n");
    EXPECT_EQ(run.status, kIncorrect);
}

TEST_F(DetectTest, VerifyNamesAFileItCannotRead) {
    const std::string wav = recording(dir, "line.wav", {{false, 300}, {true, 400}});
    const Output run = gaptool({"verify", dir.file("missing.gap"), wav});
    EXPECT_EQ(run.status, kTrouble);
    EXPECT_NE(run.err.find(dir.file("missing.gap")), std::string::npos);
}

} // namespace
} // namespace ravik::cli
