#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace ravik {

/// Why an operation could not finish: what it tried, on which path, and the reason.
struct Failure {
    std::string action; ///< "Could not open", "Could not replace", ...
    std::string path;   ///< the path as the user gave it
    std::string reason; ///< the system's message, or the program's own

    /// One sentence for a person: Could not open "a.gap": No such file or directory.
    [[nodiscard]] std::string sentence() const;
    /// The same sentence as a line of the status list.
    [[nodiscard]] std::string statusLine() const;

    bool operator==(const Failure&) const = default;
};

/// The system's message for `error`, without the full stop and line break some systems end it
/// with, so that it reads inside a sentence.
[[nodiscard]] std::string reasonText(std::error_code error);

/// A path or a typed text as it may be shown inside a line: control characters are written as
/// escapes (\n, \t, \x1b, ...) so that a file name can neither start a line of its own nor
/// steer a terminal. Other text, whatever its script, stays as it is.
[[nodiscard]] std::string printable(std::string_view text);

} // namespace ravik
