// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/files/fileio.hpp"
#include "core/text/failure.hpp"
#include "core/text/utf8path.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace ravik::cli {

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
