// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats.hpp"

#include "core/text/utf8path.hpp"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sndfile.h>

namespace ravik::audio {
namespace {

constexpr std::array<std::string_view, 1> kWav{"wav"};
constexpr std::array<std::string_view, 2> kAiff{"aiff", "aif"};
constexpr std::array<std::string_view, 1> kFlac{"flac"};
constexpr std::array<std::string_view, 1> kOgg{"ogg"};
constexpr std::array<std::string_view, 1> kOpus{"opus"};
constexpr std::array<std::string_view, 1> kMp3{"mp3"};

// Whether libsndfile lists `format` (major and subtype) among those it reads and writes.
bool libsndfileHas(int format) {
    int count = 0;
    sf_command(nullptr, SFC_GET_SIMPLE_FORMAT_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_SIMPLE_FORMAT, &info, sizeof info) == 0 &&
            info.format == format)
            return true;
    }
    return false;
}

std::string lowerExtension(const std::string& path) {
    std::string lower = utf8Of(toPath(path).extension());
    for (char& c : lower)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return lower.empty() ? lower : lower.substr(1);
}

bool startsWith(std::span<const std::uint8_t> head, std::string_view magic, std::size_t at = 0) {
    return head.size() >= at + magic.size() &&
           std::equal(magic.begin(), magic.end(), head.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char m, std::uint8_t h) { return static_cast<std::uint8_t>(m) == h; });
}

} // namespace

std::span<const RecordingFormat> recordingFormats() {
    static const std::array<RecordingFormat, 6> formats{{
        {"WAV", kWav, true},
        {"AIFF", kAiff, true},
        {"FLAC", kFlac, libsndfileHas(SF_FORMAT_FLAC | SF_FORMAT_PCM_16)},
        {"Ogg Vorbis", kOgg, libsndfileHas(SF_FORMAT_OGG | SF_FORMAT_VORBIS)},
        {"Opus", kOpus, libsndfileHas(SF_FORMAT_OGG | SF_FORMAT_OPUS)},
        {"MP3", kMp3, libsndfileHas(SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III)},
    }};
    return formats;
}

std::vector<std::string> readableExtensions() {
    std::vector<std::string> extensions;
    for (const RecordingFormat& format : recordingFormats())
        if (format.readable)
            extensions.insert(extensions.end(), format.extensions.begin(), format.extensions.end());
    return extensions;
}

std::optional<std::string_view> codecFormatOf(std::span<const std::uint8_t> head,
                                              const std::string& path) {
    if (startsWith(head, "fLaC"))
        return "FLAC";
    // An Ogg stream's first page carries the codec's header packet from byte 28 on.
    if (startsWith(head, "OggS"))
        return startsWith(head, "OpusHead", 28) ? "Opus" : "Ogg Vorbis";
    const bool frameSync = head.size() >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    if (startsWith(head, "ID3") || frameSync)
        return "MP3";
    const std::string extension = lowerExtension(path);
    // The formats after WAV and AIFF are those that need a codec library.
    for (const RecordingFormat& format : recordingFormats().subspan(2))
        if (std::ranges::find(format.extensions, extension) != format.extensions.end())
            return format.name;
    return std::nullopt;
}

std::optional<std::string> lackedFormat(const std::string& path) {
    std::array<std::uint8_t, 64> head{};
    std::ifstream in(toPath(path), std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    const std::optional<std::string_view> name =
        codecFormatOf(std::span(head).first(static_cast<std::size_t>(in.gcount())), path);
    if (!name)
        return std::nullopt;
    const auto format = std::ranges::find(recordingFormats(), *name, &RecordingFormat::name);
    if (format == recordingFormats().end() || format->readable)
        return std::nullopt;
    return "this build reads no " + std::string(*name) + " recordings";
}

} // namespace ravik::audio
