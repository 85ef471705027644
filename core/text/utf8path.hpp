// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

/// Paths are UTF-8 text everywhere in the program (the windows, gaptool and the core pass them
/// so); these two turn such a text into the system's own path and back, on every system alike.
namespace ravik {

[[nodiscard]] inline std::filesystem::path toPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

[[nodiscard]] inline std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace ravik
