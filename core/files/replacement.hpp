// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/failure.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ravik {

namespace fileio {
class WriterLock;
}

/// The suffix of a backup when none is given: "speech.gap~", as `cp --backup` names it.
inline constexpr std::string_view kBackupSuffix = "~";

/// What a replacement of a whole GAP file keeps of the content it replaces.
struct Keeping {
    /// When given, the replaced content is first written to the file's path with this suffix
    /// added. A file that did not exist before, or whose content stays the same, gets none.
    std::optional<std::string> backupSuffix;
    bool operator==(const Keeping&) const = default;
};

/// One replacement of a whole GAP file: what undo needs to take it back.
struct Replacement {
    std::string path;
    std::string_view operation; ///< the user's name for it: "Defrag GAP", ...
    bool existed = false;       ///< false: the replacement created the file
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> after;
    bool operator==(const Replacement&) const = default;
};

/// Where the backup of the file at `path` goes.
[[nodiscard]] std::string backupPath(std::string_view path, std::string_view suffix);

/// Replaces the file held by `lock` (which holds `before`) with `after`, writing the backup
/// `keeping` asks for first, in its own atomic step. When the backup cannot be written the file
/// is left as it was and the failure names the backup and why.
[[nodiscard]] std::optional<Failure> replaceKeeping(fileio::WriterLock& lock,
                                                    const std::string& path,
                                                    std::span<const std::uint8_t> before,
                                                    std::span<const std::uint8_t> after,
                                                    const Keeping& keeping);

/// Takes back `done` in one atomic step under the writers' lock: puts back the content it
/// replaced, or deletes the file it created. Refuses, naming why, unless the file still holds
/// byte for byte what `done` wrote.
[[nodiscard]] std::optional<Failure> undoReplacement(const Replacement& done);

} // namespace ravik
