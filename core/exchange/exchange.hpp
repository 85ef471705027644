// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/silencerules.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The text formats other programs keep silences in, read and written without the user's
/// locale: Audacity's label track, Praat's TextGrid, CSV, JSON, ffmpeg's silencedetect log and
/// Rhubarb Lip Sync's mouth cues.
namespace ravik::exchange {

enum class Format { Audacity, TextGrid, Csv, Json, SilenceDetect, MouthCues };

/// The format named on the command line: "audacity", "textgrid", "csv", "json",
/// "silencedetect", "mouthcues".
[[nodiscard]] std::optional<Format> formatNamed(std::string_view name);
/// Whether silences can be written in the format (the last two are only read).
[[nodiscard]] bool canExport(Format format);

/// What an Audacity label file calls our silences, and what a TextGrid's silences tier calls
/// them.
inline constexpr std::string_view kAudacityLabel = "silence";
inline constexpr std::string_view kTextGridTier = "silences";
inline constexpr std::string_view kTextGridLabel = "sil";

struct ExportOptions {
    std::string fileName;                   ///< the GAP file's name, for JSON's "file"
    std::optional<double> recordingSeconds; ///< the recording's length, for the TextGrid's end
};

struct Exported {
    std::string text;
    std::vector<std::string> notes; ///< what the format could not hold, and what was done instead
};

/// The silences of a valid GAP file in `format`. Precondition: canExport(format).
[[nodiscard]] Exported exportSilences(Format format, const std::vector<silences::Silence>& list,
                                      const ExportOptions& options);

struct ImportOptions {
    silences::Mending mending;
    bool skipPoints = false; ///< leave out Audacity point labels instead of refusing them
    bool dropTiny = false;   ///< leave out silences that hold no whole millisecond once rounded
};

struct Imported {
    std::vector<silences::Silence> list; ///< valid for a GAP file when `refusal` is empty
    std::optional<std::string> refusal;  ///< "line 7: ...": why no GAP file can be made
};

/// Reads silences from `text` in `format`, rounding each start up and each end down to whole
/// milliseconds so that no speech becomes silence, then mends and checks them as asked.
[[nodiscard]] Imported importSilences(Format format, std::string_view text,
                                      const ImportOptions& options);

} // namespace ravik::exchange
