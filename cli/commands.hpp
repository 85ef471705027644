#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

/// The commands that exchange silences with other programs and check many files at once. Each
/// takes the arguments after its name and returns gaptool's exit status.
namespace ravik::cli {

[[nodiscard]] int runExport(const std::vector<std::string>& arguments, std::ostream& out,
                            std::ostream& err);
[[nodiscard]] int runImport(const std::vector<std::string>& arguments, std::ostream& out,
                            std::ostream& err);
[[nodiscard]] int runDiff(const std::vector<std::string>& arguments, std::ostream& out,
                          std::ostream& err);
[[nodiscard]] int runLint(const std::vector<std::string>& arguments, std::ostream& out,
                          std::ostream& err);

/// The usage lines of these commands, for gaptool's help.
extern const std::string_view kExchangeUsage;

} // namespace ravik::cli
