// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/failure.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ravik::shell {

/// A program to run without a shell: its arguments reach it exactly as given.
struct Command {
    std::string program;                ///< a name looked up in `searchPath`, or a path with a '/'
    std::vector<std::string> arguments; ///< without the program's own name
    std::string searchPath;             ///< folders separated by ':', as in $PATH
    /// Variables set (or, without a value, removed) on top of this process's environment.
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;
    std::string installHint; ///< added to the reason when the program is not found
};

struct Finished {
    /// Set when the program was not found or not started, or did not exit with status 0.
    std::optional<Failure> failure;
    std::string output; ///< what it wrote to its standard output
};

/// Runs `command` to its end. Its standard input is empty; what it writes to its standard error
/// becomes part of the reason when it fails.
[[nodiscard]] Finished run(const Command& command);

/// The folder of `searchPath` that holds the program `name`, followed by the name; empty when
/// none does.
[[nodiscard]] std::string findProgram(const std::string& name, const std::string& searchPath);

} // namespace ravik::shell
