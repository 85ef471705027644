#pragma once

#include "gaptool.hpp"

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace ravik::test {

/// What one run of gaptool printed and returned.
struct Output {
    int status = -1;
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

} // namespace ravik::test
