// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a recording gives the samples of one decode from its start, in every format and
// whatever order its parts are read in; detect and verify, reading so, agree with each other and
// find in a compressed file what they find in its decode.
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/verify.hpp"
#include "support/testfiles.hpp"
#include "testset.hpp"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <sndfile.h>

namespace ravik::testset {
namespace {
using test::PrintTo;

// A format recordings are written in: a plain one (libsndfile's format code) or a lossy codec.
struct FormatRow {
    std::string name;
    int format = 0;
    std::optional<Codec> codec;
};

const std::vector<FormatRow>& everyFormat() {
    static const std::vector<FormatRow> rows{
        {"wav_16_bit", SF_FORMAT_WAV | SF_FORMAT_PCM_16, std::nullopt},
        {"wav_float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::nullopt},
        {"aiff_24_bit", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, std::nullopt},
        {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, std::nullopt},
        {"ogg_vorbis", 0, Codec::vorbis},
        {"opus", 0, Codec::opus},
        {"mp3", 0, Codec::mp3}};
    return rows;
}

// Writes `recording` in the row's format; false when this libsndfile cannot.
bool writeIn(const FormatRow& row, const Recording& recording, const std::string& path) {
    return row.codec ? writeLossy(recording, *row.codec, path).has_value()
                     : writeWav(recording, path, row.format);
}

// libsndfile's own decode of the file from its start to its end, interleaved.
std::vector<float> decodeFromTheStart(const std::string& path, int& channels) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "libsndfile cannot open " << path;
        return {};
    }
    channels = info.channels;
    std::vector<float> samples;
    std::vector<float> block(4'096 * static_cast<std::size_t>(channels));
    for (sf_count_t got = 0; (got = sf_readf_float(file, block.data(), 4'096)) > 0;)
        samples.insert(samples.end(), block.begin(), block.begin() + got * channels);
    sf_close(file);
    return samples;
}

// Where to read and how many frames: every part of the recording in a shuffled order, parts
// read again a little behind and far behind the last, reads that run over the end.
std::vector<std::pair<std::int64_t, std::int64_t>> shuffledWindows(std::int64_t frames) {
    std::mt19937 random(26);
    std::vector<std::pair<std::int64_t, std::int64_t>> windows;
    for (std::int64_t at = 0; at < frames;) {
        const std::int64_t length = std::uniform_int_distribution<std::int64_t>(1, 40'000)(random);
        windows.emplace_back(at, length);
        at += length;
    }
    std::shuffle(windows.begin(), windows.end(), random);
    std::vector<std::pair<std::int64_t, std::int64_t>> more;
    for (const auto& [at, length] : windows) {
        more.emplace_back(at, length);
        const std::int64_t back = std::uniform_int_distribution<std::int64_t>(1, 5'000)(random);
        more.emplace_back(std::max<std::int64_t>(0, at - back), back + 1);
    }
    more.emplace_back(frames - 10, 1'000);
    more.emplace_back(0, 1);
    more.emplace_back(frames / 2, 3);
    more.emplace_back(frames - 1, 1);
    return more;
}

// The espeak-ng set three times over (45 s): longer than what a GAP file reaches, so that its
// reads go past what a recording decoded front to back keeps of its start.
const Recording& longRecording() {
    static const Recording made = makeRecording(Condition::noise20dB, 3);
    return made;
}

class EveryFormat : public ::testing::TestWithParam<FormatRow> {};

// Each window read after a seek is what the one decode from the start holds there, sample for
// sample, wherever the reads before it left off.
void expectEveryWindowIsTheDecode(const std::string& path) {
    int channels = 0;
    const std::vector<float> decoded = decodeFromTheStart(path, channels);
    ASSERT_FALSE(decoded.empty());
    const auto frames = static_cast<std::int64_t>(decoded.size()) / channels;
    auto opened = audio::SoundFile::open(path);
    ASSERT_TRUE(opened.file) << opened.failure->sentence();
    audio::SoundFile& file = *opened.file;
    ASSERT_EQ(file.channels(), channels);
    std::vector<float> read;
    int wrong = 0;
    for (const auto& [at, length] : shuffledWindows(frames)) {
        ASSERT_TRUE(file.seek(at)) << at;
        read.resize(static_cast<std::size_t>(length * channels));
        const std::size_t got = file.readFrames(read);
        const auto expected = static_cast<std::size_t>(std::min(length, frames - at));
        const auto from = decoded.begin() + at * channels;
        if (got != expected ||
            !std::equal(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(got * channels),
                        from))
            if (++wrong <= 5)
                ADD_FAILURE() << got << " frames at " << at << " are not the decode's " << expected;
    }
    EXPECT_EQ(file.readFailure(), std::nullopt);
}

TEST_P(EveryFormat, AnyOrderOfReadsGivesTheSamplesOfOneDecode) {
    test::TempDir dir;
    const std::string path = dir.file("long");
    if (!writeIn(GetParam(), longRecording(), path))
        GTEST_SKIP() << "this libsndfile writes no " << GetParam().name;
    expectEveryWindowIsTheDecode(path);
}

// detect and verify judge quiet by one rule on the same samples: for every recording of the test
// sets, written in each format, and every setting, verify finds nothing in what detect found.
TEST_P(EveryFormat, VerifyFindsNothingInWhatDetectFound) {
    std::vector<audio::DetectOptions> settings(1);
    for (const double threshold : {-30.0, -45.0, -60.0})
        settings.push_back({threshold, audio::kDefaultLeastSilenceMs});
    for (const int least : {20, 120})
        settings.push_back({std::nullopt, least});
    test::TempDir dir;
    const std::string path = dir.file("recording");
    for (const auto& [name, recording] : everyTestRecording()) {
        if (!writeIn(GetParam(), recording, path))
            GTEST_SKIP() << "this libsndfile writes no " << GetParam().name;
        auto opened = audio::SoundFile::open(path);
        ASSERT_TRUE(opened.file) << opened.failure->sentence();
        for (const audio::DetectOptions& options : settings) {
            SCOPED_TRACE(name + ", threshold " +
                         (options.thresholdDb ? std::to_string(*options.thresholdDb) : "auto") +
                         ", least " + std::to_string(options.leastSilenceMs) + " ms");
            const audio::Detection detection = audio::detectSilences(*opened.file, options);
            if (detection.failure)
                continue; // nothing stands out at this threshold
            for (const audio::Finding& finding :
                 audio::compareSilences(detection.silences, *opened.file, detection))
                ADD_FAILURE() << finding.text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat, ::testing::ValuesIn(everyFormat()), test::RowName{});

// Copies made by other encoders, among them the Vorbis copies of examples/speech.wav (ffmpeg's
// libvorbis, 64 kbit/s and quality 6) whose reads once landed a block away after a seek.
struct CopyRow {
    std::string name;
    std::string path;
};

class MadeElsewhere : public ::testing::TestWithParam<CopyRow> {};

TEST_P(MadeElsewhere, AnyOrderOfReadsGivesTheSamplesOfOneDecode) {
    expectEveryWindowIsTheDecode(GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Copies, MadeElsewhere,
    ::testing::Values(
        CopyRow{"ffmpeg_vorbis_64k", RAVIK_FUZZ_CORPUS "/recording_fuzzer/speech-64k.ogg"},
        CopyRow{"ffmpeg_vorbis_q6", RAVIK_FUZZ_CORPUS "/recording_fuzzer/speech-q6.ogg"},
        CopyRow{"ffmpeg_vorbis_q3", RAVIK_CODECS_FOLDER "/speech.ogg"},
        CopyRow{"ffmpeg_opus", RAVIK_CODECS_FOLDER "/speech.opus"},
        CopyRow{"ffmpeg_mp3", RAVIK_CODECS_FOLDER "/speech.mp3"},
        CopyRow{"ffmpeg_flac", RAVIK_CODECS_FOLDER "/speech.flac"}),
    test::RowName{});

// A compressed recording gives the silences of its own decode written out as a float WAV: what
// is read from it is what a decode from its start gives.
class CompressedFormat : public ::testing::TestWithParam<FormatRow> {};

TEST_P(CompressedFormat, DetectFindsWhatItFindsInTheDecode) {
    test::TempDir dir;
    const std::string copy = dir.file("copy");
    const std::string decode = dir.file("decode.wav");
    for (const auto& [name, recording] : everyTestRecording()) {
        SCOPED_TRACE(name);
        if (!writeIn(GetParam(), recording, copy))
            GTEST_SKIP() << "this libsndfile writes no " << GetParam().name;
        Recording decoded;
        decoded.samples = decodeFromTheStart(copy, decoded.channels);
        decoded.sampleRate = audio::SoundFile::open(copy).file->sampleRate();
        ASSERT_TRUE(writeWav(decoded, decode, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        const auto detect = [](const std::string& path) {
            auto opened = audio::SoundFile::open(path);
            return audio::detectSilences(*opened.file);
        };
        const audio::Detection fromCopy = detect(copy);
        const audio::Detection fromDecode = detect(decode);
        EXPECT_EQ(fromCopy.silences, fromDecode.silences);
        EXPECT_EQ(fromCopy.lengthMs, fromDecode.lengthMs);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, CompressedFormat,
                         ::testing::ValuesIn(std::vector<FormatRow>(everyFormat().begin() + 3,
                                                                    everyFormat().end())),
                         test::RowName{});

// The formats the reader seeks in directly are those libsndfile seeks to the sample: a format
// trusted wrongly, or a libsndfile that stopped seeking so, shows here.
TEST(TrustedSeeks, LibsndfileSeeksToTheSampleInPcmAndFlac) {
    test::TempDir dir;
    for (const FormatRow& row :
         std::vector<FormatRow>(everyFormat().begin(), everyFormat().begin() + 4)) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.file(row.name);
        ASSERT_TRUE(writeWav(longRecording(), path, row.format));
        int channels = 0;
        const std::vector<float> decoded = decodeFromTheStart(path, channels);
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        std::vector<float> read(1'000);
        for (const auto& [at, length] : shuffledWindows(info.frames)) {
            if (at + 1'000 > info.frames)
                continue;
            ASSERT_EQ(sf_seek(file, at, SEEK_SET), at);
            ASSERT_EQ(sf_readf_float(file, read.data(), 1'000), 1'000);
            ASSERT_TRUE(std::equal(read.begin(), read.end(), decoded.begin() + at)) << at;
        }
        sf_close(file);
    }
}

// Recordings at the edges of what is read: the rate, the length and a header that disagrees with
// itself. Each gives a valid detection that verify agrees with, or is refused with its reason.
struct ExtremeRow {
    std::string name;
    int rate = 0;
    int byteRate = 0; ///< as the header says it; 0 for rate times 2
    std::int64_t frames = 0;
    std::int64_t declaredFrames = -1; ///< the data chunk's length as the header says it
    std::string refusal;              ///< a part of the reason when the file is refused
};

// A 16-bit mono WAV of loud noise with exact zeros at its start, in its middle and over its last
// 3,550 samples, as the recording fuzzer once found it at 1 sample a second.
std::vector<std::uint8_t> zeroRunsWav(const ExtremeRow& row) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> loud(-16'000, 16'000);
    std::vector<std::uint8_t> data;
    const std::int64_t n = row.frames;
    for (std::int64_t i = 0; i < n; ++i) {
        const bool zero =
            i < n / 60 || (i >= n * 11 / 24 && i < n / 2) || i >= n - n * 3'550 / 23'981;
        const int value = zero ? 0 : loud(random);
        data.push_back(static_cast<std::uint8_t>(value & 0xFF));
        data.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    }
    const auto le = [](std::vector<std::uint8_t>& to, std::uint32_t value, int bytes) {
        for (int b = 0; b < bytes; ++b)
            to.push_back(static_cast<std::uint8_t>((value >> (8 * b)) & 0xFF));
    };
    const auto dataBytes =
        static_cast<std::uint32_t>(row.declaredFrames >= 0 ? row.declaredFrames * 2 : n * 2);
    std::vector<std::uint8_t> file{'R', 'I', 'F', 'F'};
    le(file, 36 + dataBytes, 4);
    for (char c : std::string("WAVEfmt "))
        file.push_back(static_cast<std::uint8_t>(c));
    le(file, 16, 4);
    le(file, 1, 2); // PCM
    le(file, 1, 2); // mono
    le(file, static_cast<std::uint32_t>(row.rate), 4);
    le(file, static_cast<std::uint32_t>(row.byteRate != 0 ? row.byteRate : 2 * row.rate), 4);
    le(file, 2, 2);
    le(file, 16, 2);
    for (char c : std::string("data"))
        file.push_back(static_cast<std::uint8_t>(c));
    le(file, dataBytes, 4);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

class Extreme : public ::testing::TestWithParam<ExtremeRow> {};

TEST_P(Extreme, GivesAValidDetectionThatVerifyAgreesWithOrSaysWhy) {
    const ExtremeRow& row = GetParam();
    test::TempDir dir;
    const std::string path = dir.write("take.wav", zeroRunsWav(row));
    auto opened = audio::SoundFile::open(path);
    if (!row.refusal.empty()) {
        ASSERT_FALSE(opened.file);
        EXPECT_NE(opened.failure->sentence().find(row.refusal), std::string::npos)
            << opened.failure->sentence();
        EXPECT_NE(opened.failure->sentence().find(path), std::string::npos);
        return;
    }
    ASSERT_TRUE(opened.file) << opened.failure->sentence();
    for (const std::optional<double> threshold : {std::optional<double>{}, std::optional(-40.0)}) {
        for (const int least : {1, 51, 2'000}) {
            const audio::Detection detection =
                audio::detectSilences(*opened.file, {threshold, least});
            if (detection.failure) {
                EXPECT_FALSE(detection.failure->reason.empty());
                continue;
            }
            std::int64_t previousEnd = -1;
            for (const Silence& silence : detection.silences) {
                EXPECT_GT(silence.start, previousEnd);
                EXPECT_LE(silence.start, silence.end);
                EXPECT_LE(silence.end, silences::kLastMs);
                previousEnd = silence.end;
            }
            for (const audio::Finding& finding :
                 audio::compareSilences(detection.silences, *opened.file, detection))
                ADD_FAILURE() << finding.text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Extreme,
    ::testing::Values(
        ExtremeRow{"one_sample_a_second", 1, 44'100, 23'981, -1,
                   "It has 1 sample a second, too few"},
        ExtremeRow{"just_under_the_least_rate", 999, 0, 23'981, -1, "too few to place a silence"},
        ExtremeRow{"the_least_rate", 1'000, 0, 23'981, -1, ""},
        ExtremeRow{"the_least_rate_and_one", 1'001, 44'100, 23'981, -1, ""},
        ExtremeRow{"an_odd_low_rate", 1'499, 0, 23'981, -1, ""},
        ExtremeRow{"a_telephone_rate", 8'000, 0, 23'981, -1, ""},
        ExtremeRow{"one_frame", 22'050, 0, 1, -1, ""},
        ExtremeRow{"a_tick_less_one", 22'050, 0, 109, -1, ""},
        ExtremeRow{"a_few_ticks", 1'000, 0, 23, -1, ""},
        ExtremeRow{"a_data_chunk_longer_than_the_file", 16'000, 0, 20'000, 1'000'000, ""},
        ExtremeRow{"a_data_chunk_shorter_than_the_file", 16'000, 0, 20'000, 5'000, ""},
        ExtremeRow{"a_byte_rate_of_another_rate", 16'000, 44'100, 20'000, -1, ""}),
    test::RowName{});

} // namespace
} // namespace ravik::testset
