// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/gaptool.hpp"
#include "cli/output.hpp"

#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace ravik::cli {
/// A status as the process returns it, in the tests' messages.
inline void PrintTo(ExitStatus status, std::ostream* os) {
    *os << static_cast<int>(status);
}
} // namespace ravik::cli

namespace ravik::test {

/// What one run of gaptool printed and returned.
struct Output {
    cli::ExitStatus status = cli::ExitStatus::AllCorrect;
    std::string out;
    std::string err;
};

/// Runs gaptool in this process, as the program's main does.
inline Output gaptool(const std::vector<std::string>& arguments,
                      std::string_view decimalSeparator = ".") {
    std::ostringstream out;
    std::ostringstream err;
    Output run;
    run.status = cli::runGaptool(arguments, out, err, decimalSeparator);
    run.out = out.str();
    run.err = err.str();
    return run;
}

/// Runs gaptool in this process with its report going into the descriptor `fd`, as the
/// program's main sets it up.
inline Output gaptoolInto(int fd, const std::vector<std::string>& arguments) {
    cli::DescriptorBuffer buffer(fd);
    std::ostream out(&buffer);
    std::ostringstream err;
    Output run;
    run.status = cli::runGaptool(arguments, out, err, ".");
    run.err = err.str();
    return run;
}

/// The system's words for a full disk.
inline const std::string kNoSpace = std::make_error_code(std::errc::no_space_on_device).message();

} // namespace ravik::test
