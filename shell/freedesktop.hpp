// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modRegistry.hpp"

#include <string>
#include <string_view>

/// The ".gap" file association on a freedesktop system (Linux): a shared-mime-info package for
/// the MIME type application/x-gap, the file type's icon, and a desktop entry for the program
/// that is the type's default application, all for the current user.
namespace ravik::shell {

inline constexpr std::string_view kGapMimeType = "application/x-gap";
inline constexpr std::string_view kDesktopEntryName = "ravik.desktop";

/// Where the association is written, and where its helper programs are looked for.
struct DesktopPlaces {
    std::string dataHome;   ///< $XDG_DATA_HOME, or ~/.local/share
    std::string configHome; ///< $XDG_CONFIG_HOME, or ~/.config
    std::string helperPath; ///< $PATH: where update-mime-database and the others are looked for

    /// The places of the user running the program, as the environment gives them.
    [[nodiscard]] static DesktopPlaces fromEnvironment();
};

/// Registers the program `ravik` in `programDirectory` for GAP files under `places`: writes the
/// icons found beside the program, the MIME package and the desktop entry, refreshes the MIME
/// and desktop databases and makes the entry the type's default application. Reports as
/// RegisterGAP does; running it again, or from another folder, rewrites every entry the same way.
void registerWithDesktop(const std::string& programDirectory, const DesktopPlaces& places,
                         const StatusSink& appendLine);

/// The desktop entry that starts `program` (a full path) with one file.
[[nodiscard]] std::string desktopEntryFor(const std::string& program);

} // namespace ravik::shell
