// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/files/replacement.hpp"
#include "core/format/structurecheck.hpp"
#include "core/format/timeline.hpp"
#include "core/text/failure.hpp"
#include "core/text/statuslines.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// The GAP file at a path, read and changed: the format's work on its bytes, with the file read,
/// locked and replaced as the files room does it. Each failure names the path and the reason.
namespace ravik {

/// Checks the file at `path`; only reads it.
[[nodiscard]] StructureCheck checkStructure(const std::string& path);

/// The timeline of the file at `path`; only reads it. A file that cannot be read still gets the
/// timeline's first line, so that the status list shows what was tried.
[[nodiscard]] Timeline buildTimeline(const std::string& path, PictureSize picture,
                                     std::string_view decimalSeparator,
                                     const LineBlocks& blocks = {});

struct Defragmentation {
    StatusLines lines; ///< the start line, the fragment lines and, on success, the finish line
    std::uint64_t keptCount = 0;
    std::uint64_t droppedCount = 0;
    std::optional<Failure> failure;      ///< the file was left as it was
    std::optional<Replacement> replaced; ///< on success, what undo takes back
    bool operator==(const Defragmentation&) const = default;
};

/// Removes every silence of 50 ms or less from the file at `path`, replacing it in one step,
/// after the backup `keeping` asks for.
[[nodiscard]] Defragmentation defragment(const std::string& path, const Keeping& keeping = {});

/// Creates, or replaces whole, the file at `path` with the generic GAP, in one atomic step.
[[nodiscard]] std::optional<Failure> createGenericGap(const std::string& path);

struct GenericCreation {
    std::optional<Failure> failure;      ///< nothing was written
    std::optional<Replacement> replaced; ///< what undo takes back; none when the file it
                                         ///< replaced could not be read as a GAP file
    bool operator==(const GenericCreation&) const = default;
};

/// createGenericGap, after the backup `keeping` asks for; a backup needs the file it replaces
/// to be readable as a GAP file.
[[nodiscard]] GenericCreation createGenericGap(const std::string& path, const Keeping& keeping);

struct SilenceWrite {
    StatusLines lines;              ///< "Writing Silence : " with the texts as typed, on success
    std::uint64_t offset = 0;       ///< where the record went
    std::optional<Failure> failure; ///< nothing was written
    bool operator==(const SilenceWrite&) const = default;
};

/// Writes one silence record at the end of the file at `path` (the length rounded down to an
/// even number), creating the file when missing. Writes nothing when either text is not a time
/// (see parseMilliseconds).
[[nodiscard]] SilenceWrite writeSilence(const std::string& path, std::string_view startText,
                                        std::string_view endText,
                                        std::string_view decimalSeparator);

/// Deletes the file at `path`, so that the next silence written starts a new file. A file that
/// is already gone is no failure.
[[nodiscard]] std::optional<Failure> deleteGapFile(const std::string& path);

} // namespace ravik
