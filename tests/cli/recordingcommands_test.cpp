// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/testset.hpp"
#include "cli/detect.hpp"
#include "cli/gaptool.hpp"
#include "cli/gaptoolrun.hpp"
#include "cli/output.hpp"
#include "support/testfiles.hpp"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sndfile.h>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ravik::cli {
namespace {
using test::PrintTo;
namespace fs = std::filesystem;

using test::gaptool;
using test::Output;

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
    EXPECT_EQ(run.status, ExitStatus::AllCorrect) << run.err;
    EXPECT_EQ(test::readBytes(dir.file("line.gap")), test::records({{0, 300}, {700, 1000}}));
    EXPECT_EQ(run.out, gaptool({"show", dir.file("line.gap")}).out);
}

// Folders named that overlap, or a recording named twice: each recording is detected once,
// and nothing fails on the file written a moment before.
TEST_F(DetectTest, ARecordingMetAgainIsDetectedOnce) {
    fs::create_directories(dir.path() / "p" / "sub");
    const std::string wav =
        recording(dir, "p/sub/line.wav", {{false, 300}, {true, 400}, {false, 300}});
    recording(dir, "p/top.wav", {{false, 300}, {true, 400}, {false, 300}});
    const Output run = gaptool(
        {"detect", dir.file("p"), dir.file("p/sub"), wav, dir.file("p/sub/../sub/line.wav")});
    EXPECT_EQ(run.status, ExitStatus::AllCorrect) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(test::readBytes(dir.file("p/sub/line.gap")), test::records({{0, 300}, {700, 1000}}));
    std::size_t headers = 0;
    for (std::size_t at = run.out.find(">> Loaded File: "); at != std::string::npos;
         at = run.out.find(">> Loaded File: ", at + 1))
        ++headers;
    EXPECT_EQ(headers, 2u) << run.out;
}

// Hard links to one recording under other names are lines of their own: each gets its GAP file,
// named or found in a folder, as the Voice Pack window writes them.
TEST_F(DetectTest, HardLinksToOneRecordingEachGetTheirGapFile) {
    fs::create_directories(dir.path() / "pack");
    const std::string wav =
        recording(dir, "pack/first.wav", {{false, 300}, {true, 400}, {false, 300}});
    std::error_code error;
    fs::create_hard_link(wav, dir.path() / "pack" / "again.wav", error);
    fs::create_hard_link(wav, dir.path() / "named.wav", error);
    if (error)
        GTEST_SKIP() << "this file system makes no hard links: " << error.message();
    const Output run = gaptool({"detect", dir.file("pack"), dir.file("named.wav")});
    EXPECT_EQ(run.status, ExitStatus::AllCorrect) << run.err;
    for (const std::string gap : {"pack/first.gap", "pack/again.gap", "named.gap"})
        EXPECT_EQ(test::readBytes(dir.file(gap)), test::records({{0, 300}, {700, 1000}})) << gap;
}

TEST_F(DetectTest, RefusesToReplaceAnExistingFileUnlessForced) {
    const std::string wav = recording(dir, "line.wav", {{false, 300}, {true, 400}, {false, 300}});
    const std::string gap = dir.write("line.gap", test::records({{1, 2}}));
    const Output refused = gaptool({"detect", wav});
    EXPECT_EQ(refused.status, ExitStatus::Trouble);
    EXPECT_NE(refused.err.find(gap), std::string::npos) << refused.err;
    EXPECT_EQ(test::readBytes(gap), test::records({{1, 2}}));
    EXPECT_EQ(refused.out, "");

    EXPECT_EQ(gaptool({"detect", "--force", wav}).status, ExitStatus::AllCorrect);
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
    EXPECT_EQ(run.status, ExitStatus::AllCorrect) << run.err;
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
    EXPECT_EQ(run.status, ExitStatus::Incorrect);
    EXPECT_EQ(test::readBytes(gap), test::records({{0, 1000}, {32'000, 32'500}, {32'700, 32'767}}));
    EXPECT_NE(run.err.find("1 silence after that left out"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(wav), std::string::npos);
}

struct BadInput {
    std::string name;
    std::function<std::string(const test::TempDir&)> make; // returns the recording's path
    ExitStatus status;
    std::string reason;
};

// A second of white noise of `deviation`, in floats.
std::string noise(const test::TempDir& dir, float deviation) {
    testset::Recording made;
    std::mt19937 random(7);
    std::normal_distribution<float> value(0.0F, deviation);
    for (int i = 0; i < 22'050; ++i)
        made.samples.push_back(value(random));
    const std::string path = dir.file("noise.wav");
    EXPECT_TRUE(testset::writeWav(made, path, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
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

// A float or double WAV of one second at 22,050 Hz, a tone in its middle third, each sample
// passed through `change` (given the sample and its index) first.
std::string floatWav(const test::TempDir& dir, int format, int channels,
                     const std::function<double(double, std::size_t)>& change) {
    const std::string path = dir.file("take.wav");
    SF_INFO info{};
    info.samplerate = 22'050;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<double> samples(22'050 * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::size_t frame = i / static_cast<std::size_t>(channels);
        const double tone =
            frame > 7'350 && frame < 14'700 ? 0.25 * std::sin(0.057 * double(frame)) : 0;
        samples[i] = change(tone, i);
    }
    EXPECT_EQ(sf_writef_double(file, samples.data(), 22'050), 22'050);
    sf_close(file);
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, DetectBadInput,
    ::testing::Values(
        BadInput{"NotAudio",
                 [](const test::TempDir& dir) {
                     return dir.write("words.wav", {'h', 'i', '\n'});
                 },
                 ExitStatus::Trouble, "It is not a recording in a format this program reads ("},
        BadInput{"EmptyFile", [](const test::TempDir& dir) { return dir.write("empty.wav", {}); },
                 ExitStatus::Trouble, "It is empty."},
        BadInput{"TruncatedHeader",
                 [](const test::TempDir& dir) {
                     const std::string path = recording(dir, "cut.wav", {{true, 100}});
                     test::Bytes bytes = test::readBytes(path);
                     bytes.resize(30);
                     test::writeBytes(path, bytes);
                     return path;
                 },
                 ExitStatus::Trouble, "It is damaged or cut short"},
        // libsndfile says "File does not exist" of the one and "Internal error" of the other.
        BadInput{"CutMp3",
                 [](const test::TempDir& dir) {
                     test::Bytes bytes = test::readBytes(RAVIK_CODECS_FOLDER "/speech.mp3");
                     bytes.resize(300);
                     return dir.write("cut.mp3", bytes);
                 },
                 ExitStatus::Trouble, "It is damaged or cut short"},
        BadInput{"WavWithTwoDataChunks",
                 [](const test::TempDir& dir) {
                     // The header of a WAV of 16-bit samples, then two data chunks of 1,000 bytes.
                     test::Bytes bytes = test::readBytes(recording(dir, "w.wav", {{true, 100}}));
                     bytes.resize(36);
                     for (int chunk = 0; chunk < 2; ++chunk) {
                         for (const char c : std::string("data"))
                             bytes.push_back(static_cast<std::uint8_t>(c));
                         for (const int b : {0xE8, 0x03, 0x00, 0x00})
                             bytes.push_back(static_cast<std::uint8_t>(b));
                         bytes.resize(bytes.size() + 1'000, 0x40);
                     }
                     const auto riff = static_cast<std::uint32_t>(bytes.size() - 8);
                     for (int b = 0; b < 4; ++b)
                         bytes[4 + static_cast<std::size_t>(b)] =
                             static_cast<std::uint8_t>(riff >> (8 * b));
                     return dir.write("two.wav", bytes);
                 },
                 ExitStatus::Trouble, "It is damaged or cut short"},
        // A folder, whatever its name, is a voice pack: see PackBatch.GaptoolDetectFolder*.
        BadInput{"ZeroLength", [](const test::TempDir& dir) { return wavWithSamples(dir, 0); },
                 ExitStatus::Incorrect, "it holds no samples"},
        BadInput{"OneSample", [](const test::TempDir& dir) { return wavWithSamples(dir, 1); },
                 ExitStatus::Incorrect, "it is digital silence throughout"},
        BadInput{"DigitalSilence",
                 [](const test::TempDir& dir) {
                     return recording(dir, "silence.wav", {{false, 2000}});
                 },
                 ExitStatus::Incorrect, "it is digital silence throughout"},
        BadInput{"PureNoise", [](const test::TempDir& dir) { return noise(dir, 0.1F); },
                 ExitStatus::Incorrect, "no speech stands out from its level of"},
        // Faint as it is, it is no digital silence.
        BadInput{"NoiseAt120dBUnderFullScale",
                 [](const test::TempDir& dir) { return noise(dir, 1e-6F); }, ExitStatus::Incorrect,
                 "no speech stands out from its level of -1"},
        // Samples no recording holds give no silences: the file is refused naming the sample.
        BadInput{"NotANumberEvery997Samples",
                 [](const test::TempDir& dir) {
                     return floatWav(dir, SF_FORMAT_FLOAT, 1, [](double sample, std::size_t i) {
                         return i % 997 == 996 ? std::nan("") : sample;
                     });
                 },
                 ExitStatus::Trouble,
                 "Its sample at 0.045 s (frame 996, channel 1) is not a number"},
        BadInput{"FloatSamplesTimes3e38",
                 [](const test::TempDir& dir) {
                     return floatWav(dir, SF_FORMAT_FLOAT, 1,
                                     [](double sample, std::size_t) { return sample * 3e38; });
                 },
                 ExitStatus::Trouble,
                 "Its sample at 0.333 s (frame 7351, channel 1) lies beyond 1000 times full scale"},
        BadInput{"DoubleSamplesTimes1e300",
                 [](const test::TempDir& dir) {
                     return floatWav(dir, SF_FORMAT_DOUBLE, 2,
                                     [](double sample, std::size_t) { return sample * 1e300; });
                 },
                 ExitStatus::Trouble,
                 "Its sample at 0.333 s (frame 7351, channel 1) lies beyond 1000 times full scale"},
        BadInput{"AThousandChannels",
                 [](const test::TempDir& dir) {
                     return floatWav(dir, SF_FORMAT_PCM_16, 1000,
                                     [](double sample, std::size_t) { return sample; });
                 },
                 ExitStatus::Trouble,
                 "It has 1000 channels; this program reads recordings of 1 to 256 channels"}),
    test::RowName{});

TEST(DetectCommandLine, WrongOptionsAreRefusedBeforeAnythingIsRead) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"detect"},
                                               {"detect", "a.wav", "--threshold", "12"},
                                               {"detect", "a.wav", "--threshold"},
                                               {"detect", "a.wav", "--min-silence", "0"},
                                               {"detect", "a.wav", "-j", "0"},
                                               {"detect", "a.wav", "-j", "100000"},
                                               {"detect", "a.wav", "-j", "1000"},
                                               {"detect", "a.wav", "-j", "+2"},
                                               {"detect", "a.wav", "-j", " 2"},
                                               {"detect", "a.wav", "-j", "1.5"},
                                               {"detect", "a.wav", "-j", ""},
                                               {"detect", "a.wav", "b.wav", "-o", "c.gap"},
                                               {"detect", "a.wav", "--fast"},
                                               {"verify", "a.gap"}}) {
        const Output run = gaptool(arguments);
        EXPECT_EQ(run.status, ExitStatus::Trouble) << arguments.back();
        EXPECT_NE(run.err.find("Try 'gaptool --help'"), std::string::npos) << arguments.back();
    }
}

TEST_F(DetectTest, NeverWritesOverTheRecordingItself) {
    const std::string wav = recording(dir, "line.wav", {{false, 300}, {true, 400}, {false, 300}});
    const test::Bytes before = test::readBytes(wav);
    std::error_code noLinks;
    std::filesystem::create_symlink(wav, dir.path() / "link.gap", noLinks);
    for (const std::string& output :
         {wav, noLinks ? dir.file("./line.wav") : dir.file("link.gap")}) {
        const Output run = gaptool({"detect", "--force", "-o", output, wav});
        EXPECT_EQ(run.status, ExitStatus::Trouble);
        EXPECT_NE(
            run.err.find("Did not write \"" + output + "\": It is the file this command reads"),
            std::string::npos)
            << run.err;
    }
    EXPECT_EQ(test::readBytes(wav), before);
}

TEST_F(DetectTest, DoubleDashEndsTheOptionsOfDetectAndVerify) {
    const fs::path before = fs::current_path();
    recording(dir, "-take.wav", {{false, 300}, {true, 400}, {false, 300}});
    fs::current_path(dir.path());
    const Output detected = gaptool({"detect", "-j", "1", "--", "-take.wav"});
    const Output verified =
        gaptool({"verify", "--min-silence", "60", "--", "-take.gap", "-take.wav"});
    fs::current_path(before);
    EXPECT_EQ(detected.status, ExitStatus::AllCorrect) << detected.err;
    EXPECT_EQ(verified.status, ExitStatus::AllCorrect) << verified.err;
    EXPECT_EQ(test::readBytes(dir.file("-take.gap")), test::records({{0, 300}, {700, 1000}}));
}

#ifndef _WIN32
using test::gaptoolInto;
using test::kNoSpace;

// A recording's GAP file is written only once the reports of those before it got through, however
// many are read at once.
TEST_F(DetectTest, NothingMoreIsWrittenOnceTheReportCannotBePrinted) {
    std::vector<std::string> wavs;
    for (const char* name : {"r1.wav", "r2.wav", "r3.wav"})
        wavs.push_back(recording(dir, name, {{false, 300}, {true, 400}, {false, 300}}));
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-j1"}, std::vector<std::string>{"-j", "4", "--force"}}) {
        std::vector<std::string> arguments{"detect"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.insert(arguments.end(), wavs.begin(), wavs.end());
        const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(full, 0);
        const Output run = gaptoolInto(full, arguments);
        ::close(full);
        // The first file's heading fails before anything is written.
        EXPECT_EQ(run.err, "gaptool: Nothing was changed in \"" + dir.file("r1.gap") +
                               "\", since its report could not be printed: " + kNoSpace + ".\n");
        EXPECT_EQ(run.status, ExitStatus::Trouble);
        EXPECT_EQ(test::namesIn(dir.path()),
                  (std::vector<std::string>{"r1.wav", "r2.wav", "r3.wav"}));
    }
    // One recording has no heading: its file is written, and said to be.
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const Output one = gaptoolInto(full, {"detect", wavs[0]});
    ::close(full);
    EXPECT_EQ(one.err, "gaptool: \"" + dir.file("r1.gap") +
                           "\" was written, but its report could not be printed: " + kNoSpace +
                           ".\n");
    EXPECT_EQ(one.status, ExitStatus::ReportLost);
}

TEST_F(DetectTest, VerifySaysWhenItsReportCannotBePrinted) {
    const std::string wav = recording(dir, "line.wav", {{false, 300}, {true, 400}, {false, 300}});
    const std::string gap = dir.write("line.gap", test::records({{0, 350}}));
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const Output run = gaptoolInto(full, {"verify", gap, wav});
    ::close(full);
    EXPECT_EQ(run.err, "gaptool: The report could not be printed: " + kNoSpace + ".\n");
    EXPECT_EQ(run.status, ExitStatus::Trouble);
}

// A named pipe where a recording belongs is refused at once: nothing waits for a writer that
// never comes. Each run is in a child process that an alarm ends, should it wait.
TEST_F(DetectTest, ANamedPipeIsNoRecordingAndNothingWaitsForIt) {
    const std::string pipe = dir.file("take.wav");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string gap = dir.write("take.gap", test::records({{0, 300}}));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"detect", pipe}, std::vector<std::string>{"verify", gap, pipe},
          std::vector<std::string>{"export", gap, "--to", "textgrid", "--recording", pipe},
          std::vector<std::string>{"lint", dir.file("")}}) {
        const std::string answer = test::runInChild(
            [&] {
                const Output run = gaptool(arguments);
                return std::to_string(static_cast<int>(run.status)) + run.err + run.out;
            },
            [] { return ::alarm(10) == 0; });
        EXPECT_NE(
            answer.find("Could not read the recording \"" + pipe + "\": It is not a regular file."),
            std::string::npos)
            << arguments[0] << ": " << answer;
        EXPECT_EQ(answer.front(), arguments[0] == "lint" ? '1' : '2') << answer;
    }
}

// The MP3 decoder speaks of a damaged frame on standard error itself; the user gets the program's
// own words only, at most one line naming the file.
TEST_F(DetectTest, ADecodersOwnMessagesNeverReachTheUser) {
    testset::Recording made = testset::makeRecording(testset::Condition::clean);
    const std::string mp3 = dir.file("take.mp3");
    if (!testset::writeWav(made, mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III))
        GTEST_SKIP() << "this build of libsndfile writes no MP3";
    test::Bytes bytes = test::readBytes(mp3);
    for (std::size_t at = bytes.size() / 4; at < bytes.size(); at += 97)
        bytes[at] ^= 0x5A;
    test::writeBytes(mp3, bytes);
    fs::copy_file(mp3, dir.path() / "lint.mp3");
    dir.write("lint.gap", test::records({{0, 100}}));

    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"detect", "-o", dir.file("out.gap"), mp3},
          std::vector<std::string>{"lint", dir.file("lint.gap")}}) {
        const std::string errors = dir.file("errors.txt");
        const pid_t child = ::fork();
        if (child == 0) {
            const int into = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(into, 2);
            ::dup2(null, 1);
            std::vector<char*> argv{const_cast<char*>(RAVIK_GAPTOOL)};
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(RAVIK_GAPTOOL, argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 127);
        const test::Bytes said = test::readBytes(errors);
        const std::string text(said.begin(), said.end());
        EXPECT_LE(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_TRUE(text.empty() || text.starts_with("gaptool: ")) << text;
    }
}
#endif

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
        ASSERT_EQ(gaptool(detect).status, ExitStatus::AllCorrect);
        std::vector<std::string> verify{"verify", gap, wav};
        verify.insert(verify.end(), settings.begin(), settings.end());
        const Output run = gaptool(verify);
        EXPECT_EQ(run.out, "") << (settings.empty() ? "defaults" : settings.front());
        EXPECT_EQ(run.status, ExitStatus::AllCorrect);
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
    EXPECT_EQ(run.status, ExitStatus::Incorrect);
}

TEST_F(DetectTest, VerifyNamesAFileItCannotRead) {
    const std::string wav = recording(dir, "line.wav", {{false, 300}, {true, 400}});
    const Output run = gaptool({"verify", dir.file("missing.gap"), wav});
    EXPECT_EQ(run.status, ExitStatus::Trouble);
    EXPECT_NE(run.err.find(dir.file("missing.gap")), std::string::npos);
}

} // namespace
} // namespace ravik::cli
