// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ravik::cli {

class Report;

/// Reports the GAP file at the path as `gaptool show` does.
using ShowFile = std::function<void(const std::string&)>;

/// gaptool detect RECORDING... [-o OUT.gap] [--threshold DB] [--min-silence MS] [--force] [-j N]
void runDetect(const std::vector<std::string>& arguments, Report& report, const ShowFile& show);

/// gaptool verify GAP RECORDING [--threshold DB] [--min-silence MS]
void runVerify(const std::vector<std::string>& arguments, Report& report);

} // namespace ravik::cli
