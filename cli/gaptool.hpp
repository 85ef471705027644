// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace ravik::cli {

/// Exit statuses of gaptool, the same for every command; a command's outcome is the worst of
/// its files'.
enum class ExitStatus : int {
    AllCorrect = 0, ///< done; every file checked is correct
    Incorrect = 1,  ///< a file's structure is incorrect (or a recording holds no speech)
    Trouble = 2,    ///< a file could not be read or written, or the command line is wrong
    ReportLost = 3, ///< a file was changed, but the report of it could not be printed
};

/// Runs gaptool with `arguments` (without the program's name). The status lines go to `out`
/// exactly as the main window's status list gets them; failures go to `err`, one sentence each.
/// Once `out` fails, no further file is changed; when `out` is a DescriptorBuffer's stream, the
/// messages give its reason.
[[nodiscard]] ExitStatus runGaptool(const std::vector<std::string>& arguments, std::ostream& out,
                                    std::ostream& err, std::string_view decimalSeparator);

} // namespace ravik::cli
