// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// The formats recordings come in, and which of them this build's libsndfile reads: a libsndfile
/// built without its codec libraries reads WAV and AIFF but no FLAC, Ogg Vorbis, Opus or MP3.
/// The one list of them; the dialogs offer what it says is readable.
namespace ravik::audio {

struct RecordingFormat {
    std::string_view name;                        ///< "Opus", as a sentence names it
    std::span<const std::string_view> extensions; ///< without the dot, lower case
    bool readable = false;                        ///< this build reads it
};

/// Every format, in the order the dialogs list them.
[[nodiscard]] std::span<const RecordingFormat> recordingFormats();

/// The extensions of the formats this build reads, in that order ("wav", "aiff", ...).
[[nodiscard]] std::vector<std::string> readableExtensions();

/// The name of the format that a recording's first bytes show, or where they do not tell (MP3
/// without a tag), that its path's extension names; nothing for a format no codec is needed for.
[[nodiscard]] std::optional<std::string_view> codecFormatOf(std::span<const std::uint8_t> head,
                                                            const std::string& path);

/// Why the recording at `path` cannot be read, when it is in a format this build lacks: "this
/// build reads no Opus recordings". Reads the file's first bytes.
[[nodiscard]] std::optional<std::string> lackedFormat(const std::string& path);

} // namespace ravik::audio
