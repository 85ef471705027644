// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/silencedetector.hpp"
#include "core/files/replacement.hpp"
#include "core/text/failure.hpp"
#include "pack/batchengine.hpp"
#include "pack/voicepack.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

/// Detect and Defrag over many lines of a voice pack at once, and taking such a batch back. Every
/// file is replaced in one atomic step under the writers' lock, so a batch stopped part way
/// leaves each file as it was or fully written.
namespace ravik::voicepack {

/// What detect writes for one recording: the bytes `gaptool detect` writes for it with the same
/// options, or why there are none.
struct Detected {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> warnings; ///< said beside the file written
    std::optional<Failure> failure;    ///< nothing to write
    bool noSpeech = false;             ///< the failure is about the recording's content
};
[[nodiscard]] Detected detectGap(const std::string& recording, const audio::DetectOptions& options);

struct GapWrite {
    std::optional<Replacement> replaced; ///< what undo takes back
    std::optional<Failure> failure;      ///< the file is as it was
    bool leftAlone = false;              ///< it existed and replaceExisting was not given
};

/// Writes `bytes` as the whole GAP file at `path` under the writers' lock, in one atomic step,
/// keeping the content replaced as `keeping` says. An existing file is left alone unless
/// `replaceExisting`. Detect's one way of writing, for the window and gaptool alike.
[[nodiscard]] GapWrite writeGap(const std::string& path, std::vector<std::uint8_t> bytes,
                                bool replaceExisting, const Keeping& keeping);

struct BatchOptions {
    audio::DetectOptions detect;
    /// Detect: replace the GAP files lines have already (else each is skipped with a note).
    bool replaceExisting = false;
    /// What a replaced file's content is kept as first: "speech.gap~".
    Keeping keeping{std::string(kBackupSuffix)};
    /// How many lines are worked on at once.
    unsigned jobs = 1;
};

/// What a batch did.
struct Batch {
    std::vector<Replacement> replaced; ///< in the lines' order: what Undo Last Batch takes back
    std::vector<std::string> notes;    ///< lines left alone, one sentence each
    std::vector<Failure> failures;     ///< lines that failed; their files are as they were
    std::size_t done = 0;              ///< lines finished, whatever their outcome
    bool cancelled = false;            ///< stopped before every line was done
};

/// Detects the silences of every line's recording and writes its GAP file (lines without a
/// recording are noted). Stops taking lines once `cancel` is set.
[[nodiscard]] Batch detectLines(const std::vector<Line>& lines, const BatchOptions& options,
                                const std::atomic<bool>& cancel, const BatchProgress& progress);

/// Removes the fragments of every line's GAP file, keeping backups as `options` says. A file
/// without fragments is left as it was.
[[nodiscard]] Batch defragLines(const std::vector<Line>& lines, const BatchOptions& options,
                                const std::atomic<bool>& cancel, const BatchProgress& progress);

/// Takes back every replacement of `batch`: each file gets its content from before the batch
/// (what its backup holds) or, when the batch made it, is deleted. A file changed since the batch
/// is left alone and named in the failures.
[[nodiscard]] std::vector<Failure> undoBatch(const Batch& batch);

} // namespace ravik::voicepack
