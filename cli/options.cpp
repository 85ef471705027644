// SPDX-License-Identifier: GPL-3.0-or-later
#include "options.hpp"

#include "core/text/plainnumber.hpp"

#include <algorithm>
#include <thread>

namespace ravik::cli {

Options::Options(const std::vector<std::string>& arguments, std::initializer_list<Known> known) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < arguments.size() && !problem_; ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            operands_.insert(operands_.end(),
                             arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                             arguments.end());
            break;
        }
        const bool number = argument.size() > 1 && (isDigit(argument[1]) || argument[1] == '.');
        if (argument.size() < 2 || argument[0] != '-' || number) {
            operands_.push_back(argument);
            continue;
        }
        // "--to=csv" and "-j4" join the value to the option, as getopt allows.
        const bool isLong = argument.starts_with("--");
        const std::size_t equals = isLong ? argument.find('=') : std::string::npos;
        std::string_view name = std::string_view(argument).substr(0, equals);
        std::optional<std::string> joined;
        if (equals != std::string::npos)
            joined = argument.substr(equals + 1);
        const auto takesValue = [&](std::string_view candidate) {
            return std::any_of(known.begin(), known.end(), [&](const Known& option) {
                return option.name == candidate && option.takesValue;
            });
        };
        if (!isLong && argument.size() > 2 && takesValue(name.substr(0, 2))) {
            joined = argument.substr(2);
            name = name.substr(0, 2);
        }
        const auto option = std::find_if(known.begin(), known.end(), [&](const Known& candidate) {
            return candidate.name == name;
        });
        if (option == known.end())
            problem_ = "Unknown option '" + std::string(name) + "'.";
        else if (!option->takesValue && joined)
            problem_ = "The option " + std::string(name) + " takes no value.";
        else if (!option->takesValue)
            values_[std::string(name)] = "";
        else if (joined)
            values_[std::string(name)] = *joined;
        else if (i + 1 == arguments.size())
            problem_ = "The option " + std::string(name) + " needs a value.";
        else
            values_[std::string(name)] = arguments[++i];
    }
}

bool Options::has(std::string_view name) const {
    return values_.contains(name);
}

std::optional<std::string> Options::value(std::string_view name) const {
    const auto found = values_.find(name);
    return found == values_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<unsigned> Options::jobs() const {
    const std::optional<std::string> text = value("-j");
    if (!text)
        return std::max(1U, std::thread::hardware_concurrency());
    const std::optional<unsigned> jobs = plainNumber<unsigned>(*text);
    if (!jobs || *jobs < 1 || *jobs > 999)
        return std::nullopt;
    return jobs;
}

std::optional<Keeping> Options::keeping() const {
    Keeping keeping;
    if (const auto suffix = value("--suffix")) {
        if (suffix->empty())
            return std::nullopt;
        keeping.backupSuffix = *suffix;
    } else if (has("--backup")) {
        keeping.backupSuffix = std::string(kBackupSuffix);
    }
    return keeping;
}

} // namespace ravik::cli
