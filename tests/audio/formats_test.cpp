// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/formats.hpp"
#include "audio/soundfile.hpp"
#include "support/testfiles.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <vector>

namespace ravik::audio {
namespace {
using test::PrintTo;

struct HeadRow {
    std::string name;
    std::vector<std::uint8_t> head;
    std::string path;
    std::optional<std::string_view> format;
};

std::vector<std::uint8_t> bytes(std::string_view text, std::size_t at = 0) {
    std::vector<std::uint8_t> made(at, 0);
    made.insert(made.end(), text.begin(), text.end());
    return made;
}

class CodecFormatOf : public ::testing::TestWithParam<HeadRow> {};

TEST_P(CodecFormatOf, IsWhatTheBytesShowElseWhatTheNameSays) {
    EXPECT_EQ(codecFormatOf(GetParam().head, GetParam().path), GetParam().format);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CodecFormatOf,
    ::testing::Values(HeadRow{"FlacByItsMarkWhateverItsName", bytes("fLaC"), "take.wav", "FLAC"},
                      HeadRow{"OpusByItsHeaderPacket",
                              [] {
                                  std::vector<std::uint8_t> head = bytes("OpusHead", 28);
                                  std::ranges::copy(std::string_view("OggS"), head.begin());
                                  return head;
                              }(),
                              "take.ogg", "Opus"},
                      HeadRow{"OggWithoutOpusIsVorbis", bytes("OggS"), "take.opus", "Ogg Vorbis"},
                      HeadRow{"Mp3ByItsTag", bytes("ID3"), "take", "MP3"},
                      HeadRow{"Mp3ByItsFrameSync", {0xFF, 0xFB, 0x90}, "take", "MP3"},
                      HeadRow{"Mp3ByItsNameWhenTheBytesDoNotTell", bytes("xx"),
                              "C:\\Takes\\TAKE.MP3", "MP3"},
                      HeadRow{"WavNeedsNoCodec", bytes("RIFF"), "take.wav", std::nullopt},
                      HeadRow{"UnknownNameNeedsNoCodec", bytes("xx"), "take.txt", std::nullopt},
                      HeadRow{"EmptyFile", {}, "take.flac", "FLAC"}),
    test::RowName{});

// What the list says this build reads is what its libsndfile writes and reads back: a wrong
// format code or a codec left out of the build shows here.
TEST(RecordingFormats, ReadableIsWhatLibsndfileReadsBack) {
    const std::vector<std::pair<std::string_view, int>> codes{
        {"FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"Ogg Vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"Opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
        {"MP3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}};
    test::TempDir dir;
    for (const auto& [name, code] : codes) {
        const std::string path = dir.file("tone." + std::string(name.substr(0, 3)));
        SF_INFO info{};
        info.samplerate = 48'000;
        info.channels = 1;
        info.format = code;
        bool written = false;
        if (SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info)) {
            std::vector<float> tone(4'800);
            for (std::size_t i = 0; i < tone.size(); ++i)
                tone[i] = (i / 24) % 2 == 0 ? 0.5F : -0.5F;
            written = sf_writef_float(file, tone.data(), 4'800) == 4'800;
            sf_close(file);
        }
        const auto format = std::ranges::find(recordingFormats(), name, &RecordingFormat::name);
        ASSERT_NE(format, recordingFormats().end()) << name;
        EXPECT_EQ(written && SoundFile::open(path).file.has_value(), format->readable) << name;
    }
}

// A recording in a format the build lacks says so in words; one it reads is never called lacked.
TEST(RecordingFormats, LackedFormatIsNamedOnlyWhenUnreadable) {
    test::TempDir dir;
    const auto format = std::ranges::find(recordingFormats(), "Ogg Vorbis", &RecordingFormat::name);
    const std::optional<std::string> lacked = lackedFormat(dir.write("take.ogg", bytes("OggS")));
    if (format->readable)
        EXPECT_EQ(lacked, std::nullopt);
    else
        EXPECT_EQ(lacked, "this build reads no Ogg Vorbis recordings");
    EXPECT_EQ(lackedFormat(dir.write("take.wav", bytes("RIFF"))), std::nullopt);
    EXPECT_EQ(lackedFormat(dir.file("missing.wav")), std::nullopt);
}

} // namespace
} // namespace ravik::audio
