#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace ravik::cli {

/// A command's arguments split into operands and options ("--to FORMAT", "-o OUT", "--force").
class Options {
public:
    struct Known {
        std::string_view name;
        bool takesValue = false;
    };

    Options(const std::vector<std::string>& arguments, std::initializer_list<Known> known) {
        for (std::size_t i = 0; i < arguments.size() && !problem_; ++i) {
            const std::string& argument = arguments[i];
            if (argument.size() < 2 || argument[0] != '-') {
                operands_.push_back(argument);
                continue;
            }
            const Known* option = nullptr;
            for (const Known& candidate : known)
                if (candidate.name == argument)
                    option = &candidate;
            if (option == nullptr)
                problem_ = "Unknown option '" + argument + "'.";
            else if (!option->takesValue)
                values_[argument] = "";
            else if (i + 1 == arguments.size())
                problem_ = "The option " + argument + " needs a value.";
            else
                values_[argument] = arguments[++i];
        }
    }

    [[nodiscard]] const std::optional<std::string>& problem() const { return problem_; }
    [[nodiscard]] const std::vector<std::string>& operands() const { return operands_; }
    [[nodiscard]] bool has(std::string_view name) const {
        return values_.contains(std::string(name));
    }
    [[nodiscard]] std::optional<std::string> value(std::string_view name) const {
        const auto found = values_.find(std::string(name));
        return found == values_.end() ? std::nullopt : std::optional(found->second);
    }

private:
    std::vector<std::string> operands_;
    std::map<std::string, std::string> values_;
    std::optional<std::string> problem_;
};

/// Reports a wrong command line the way every gaptool command does; returns the exit status.
inline int misuse(std::ostream& err, std::string_view problem) {
    err << "gaptool: " << problem << " Try 'gaptool --help'.\n";
    return 2;
}

} // namespace ravik::cli
