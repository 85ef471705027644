#pragma once

#include "core/format/lint.hpp"

#include <span>
#include <string>
#include <vector>

namespace ravik::lint {

/// One file's findings, for a report; a file that could not be read has one Unreadable finding
/// naming why.
struct FileFindings {
    std::string path;
    std::vector<Finding> findings;
};

/// The JSON report of `gaptool lint --json`: the number of files and every finding, in order.
[[nodiscard]] std::string jsonReport(std::span<const FileFindings> files);

} // namespace ravik::lint
