// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/files/fileio.hpp"
#include "core/format/gapformat.hpp"
#include "core/format/lint.hpp"
#include "core/text/failure.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

/// The recordings of one folder's GAP files by the voice pack's pairing rule (pack/voicepack),
/// worked out once for the folder; none without the audio library.
class FolderRecordings {
public:
    explicit FolderRecordings(const std::vector<fileio::FolderEntry>& entries);
    FolderRecordings(const FolderRecordings&) = delete;
    FolderRecordings& operator=(const FolderRecordings&) = delete;
    ~FolderRecordings();

    /// The recording of the GAP file named `gapName`.
    [[nodiscard]] std::optional<std::string> of(std::string_view gapName) const;
    /// The recordings that have no GAP file, in name order.
    [[nodiscard]] std::vector<std::string> alone() const;

private:
    struct Pairing;
    std::unique_ptr<Pairing> pairing_;
};

/// Why the recording at `path` cannot be opened, if it cannot.
[[nodiscard]] std::optional<Failure> openFailure(const std::string& path);

/// The GAP file of the recording at `path`, by the voice pack's pairing rule: the one beside it
/// of its name, else its name with ".gap".
[[nodiscard]] std::string gapFileBeside(const std::string& path);

/// The recording of the GAP file at `gapPath`: the file beside it with the same name and a
/// recording's ending (speech.gap and speech.wav), if there is one, by the voice pack's pairing
/// rule (pack/voicepack).
[[nodiscard]] std::optional<std::string> recordingBeside(const std::string& gapPath);

/// Adds the findings of comparing a GAP file's `bytes` with the recording at `recording`, as
/// verify makes them; a recording that cannot be read is one finding.
void addFindings(const std::string& recording, const GapBytes& bytes,
                 std::vector<lint::Finding>& findings);

} // namespace ravik::cli::recordings
