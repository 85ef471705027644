// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/files/replacement.hpp"

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravik::cli {

/// Every gaptool command's arguments split into operands and options, by one rule: options may
/// stand anywhere among the operands; "--" ends them, so that a file named "-take.wav" can be
/// given; "-" alone and a negative number ("-5", a time) are operands; a long option's value may be
/// joined with "="
/// ("--to=csv") and a short one's written right after it ("-j4"), as getopt reads them. Given
/// twice, the last option counts.
class Options {
public:
    struct Known {
        std::string_view name;
        bool takesValue = false;
    };

    Options(const std::vector<std::string>& arguments, std::initializer_list<Known> known);

    /// What is wrong with the command line, if anything.
    [[nodiscard]] const std::optional<std::string>& problem() const { return problem_; }
    [[nodiscard]] const std::vector<std::string>& operands() const { return operands_; }
    [[nodiscard]] bool has(std::string_view name) const;
    [[nodiscard]] std::optional<std::string> value(std::string_view name) const;

    /// The -j option (which must be Known): how many files at once, from 1 to 999; one per core
    /// when it is not given. Nothing when its value is not such a number.
    [[nodiscard]] std::optional<unsigned> jobs() const;

    /// The --backup and --suffix options (which must be Known): what a changed file's former
    /// bytes are kept as, nothing by default. Nothing at all when the suffix given is empty.
    [[nodiscard]] std::optional<Keeping> keeping() const;

private:
    std::vector<std::string> operands_;
    std::map<std::string, std::string, std::less<>> values_;
    std::optional<std::string> problem_;
};

/// What -j takes, as misuse says it.
inline constexpr std::string_view kJobsProblem = "-j takes a number of jobs from 1 to 999.";
/// What an empty --suffix is, as misuse says it.
inline constexpr std::string_view kSuffixProblem = "The backup suffix must not be empty.";

} // namespace ravik::cli
