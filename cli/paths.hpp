#pragma once

#include <filesystem>
#include <string>

namespace ravik::cli {

/// gaptool's paths are UTF-8 text, as the core takes them; these convert to and from the
/// system's own.
inline std::filesystem::path toPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace ravik::cli
