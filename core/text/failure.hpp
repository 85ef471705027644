// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/plaintext.hpp"

#include <string>
#include <string_view>
#include <system_error>

namespace ravik {

/// Why an operation could not finish: what it tried, on which path, and the reason.
struct Failure {
    std::string action; ///< "Could not open", "Could not replace", ...
    std::string path;   ///< the path as the user gave it
    std::string reason; ///< the system's message, or the program's own

    /// One sentence for a person: Could not open "a.gap": No such file or directory. The path
    /// and the reason (which may quote outside text) are shown as plaintext::printable shows them.
    [[nodiscard]] std::string sentence() const;
    /// The same sentence as a line of the status list.
    [[nodiscard]] std::string statusLine() const;

    bool operator==(const Failure&) const = default;
};

/// The system's message for `error`, without the full stop and line break some systems end it
/// with, so that it reads inside a sentence.
[[nodiscard]] std::string reasonText(std::error_code error);

using plaintext::printable;

} // namespace ravik
