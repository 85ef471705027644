#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace ravik::cli {

/// Exit statuses of gaptool.
enum ExitStatus : int {
    kAllCorrect = 0, ///< done; every file checked is correct
    kIncorrect = 1,  ///< a file's structure is incorrect
    kTrouble = 2,    ///< a file could not be read or written, or the command line is wrong
    kReportLost = 3, ///< a file was changed, but the report of it could not be printed
};

/// Runs gaptool with `arguments` (without the program's name). The status lines go to `out`
/// exactly as the main window's status list gets them; failures go to `err`, one sentence each.
/// Once `out` fails, no further file is changed; when `out` is a DescriptorBuffer's stream, the
/// messages give its reason.
[[nodiscard]] int runGaptool(const std::vector<std::string>& arguments, std::ostream& out,
                             std::ostream& err, std::string_view decimalSeparator);

} // namespace ravik::cli
