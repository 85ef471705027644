// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// The commands that exchange silences with other programs and check many files at once. Each
/// takes the arguments after its name and reports through `report`.
namespace ravik::cli {

class Report;

void runExport(const std::vector<std::string>& arguments, Report& report);
void runImport(const std::vector<std::string>& arguments, Report& report);
void runDiff(const std::vector<std::string>& arguments, Report& report);
void runLint(const std::vector<std::string>& arguments, Report& report);

/// The usage lines of these commands, for gaptool's help.
extern const std::string_view kExchangeUsage;

} // namespace ravik::cli
