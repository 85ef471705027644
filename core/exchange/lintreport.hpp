// SPDX-License-Identifier: GPL-3.0-or-later
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

/// The same report a file at a time, so that no file's findings wait for the others': the
/// pieces joined are jsonReport's text.
class JsonReportWriter {
public:
    /// The report's start, for `files` files.
    [[nodiscard]] static std::string start(std::size_t files);
    /// One file's findings.
    [[nodiscard]] std::string file(const FileFindings& file);
    /// One finding of the file at `path`.
    [[nodiscard]] std::string finding(const std::string& path, const Finding& finding);
    /// The report's end.
    [[nodiscard]] std::string end() const;

private:
    bool first_ = true;
};

} // namespace ravik::lint
