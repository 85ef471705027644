#pragma once

#include "core/format/gapformat.hpp"
#include "core/format/lint.hpp"
#include "core/text/failure.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

/// What gaptool knows of recordings: through the audio library when gaptool is built with it,
/// nothing otherwise. The exchange and lint commands ask only here.
namespace ravik::cli::recordings {

/// Whether this gaptool can read recordings.
[[nodiscard]] bool available();

struct Length {
    double seconds = 0;
    std::optional<Failure> failure;
};

/// The length of the recording at `path`.
[[nodiscard]] Length lengthOf(const std::string& path);

/// Of the file names in one folder, the recording of the GAP file named `gapName` by the voice
/// pack's pairing rule. Always nothing without the audio library.
[[nodiscard]] std::optional<std::string> pairedRecording(const std::string& gapName,
                                                         const std::vector<std::string>& names);

/// The recording of the GAP file at `gapPath`: the file beside it with the same name and a
/// recording's ending (speech.gap and speech.wav), if there is one, by the voice pack's pairing
/// rule (pack/voicepack).
[[nodiscard]] std::optional<std::string> recordingBeside(const std::string& gapPath);

/// Adds the findings of comparing a GAP file's `bytes` with the recording at `recording`, as
/// verify makes them; a recording that cannot be read is one finding.
void addFindings(const std::string& recording, const GapBytes& bytes,
                 std::vector<lint::Finding>& findings);

} // namespace ravik::cli::recordings
