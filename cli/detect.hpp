#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace ravik::cli {

/// Prints what `gaptool show` prints for the GAP file at the path to the first stream (failures
/// to the second) and returns its exit status.
using ShowFile = std::function<int(const std::string&, std::ostream&, std::ostream&)>;

/// gaptool detect RECORDING... [-o OUT.gap] [--threshold DB] [--min-silence MS] [--force] [-j N]
[[nodiscard]] int runDetect(const std::vector<std::string>& arguments, std::ostream& out,
                            std::ostream& err, const ShowFile& show);

/// gaptool verify GAP RECORDING [--threshold DB] [--min-silence MS]
[[nodiscard]] int runVerify(const std::vector<std::string>& arguments, std::ostream& out,
                            std::ostream& err);

} // namespace ravik::cli
