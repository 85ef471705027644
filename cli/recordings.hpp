#pragma once

#include "core/failure.hpp"
#include "core/gapformat.hpp"
#include "core/lint.hpp"

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

/// The findings of comparing the GAP file at `gapPath` with the recording of the same name
/// beside it (speech.gap and speech.wav), if there is such a recording and recordings can be
/// read. Adds them to `findings`.
void addFindings(const std::string& gapPath, const GapBytes& bytes,
                 std::vector<lint::Finding>& findings);

} // namespace ravik::cli::recordings
