#pragma once

#include "core/files/fileio.hpp"
#include "core/text/failure.hpp"

#include <filesystem>
#include <optional>
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

/// A command never writes over its own input, by whatever path it is named (a link, another
/// spelling): the refusal, when `output` is `input`.
inline std::optional<Failure> ownInput(const std::string& output, const std::string& input) {
    if (!fileio::sameFile(output, input))
        return std::nullopt;
    return Failure{"Did not write", output,
                   "It is the file this command reads (\"" + input + "\"); nothing was written"};
}

/// An existing output is kept unless the user said otherwise; the failure then says how.
inline Failure withForceHint(Failure failure) {
    if (failure.action == "Did not replace")
        failure.reason += " (--force replaces it)";
    return failure;
}

} // namespace ravik::cli
