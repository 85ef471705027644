// SPDX-License-Identifier: GPL-3.0-or-later
#include "failure.hpp"

namespace ravik {

std::string Failure::sentence() const {
    std::string text = action + " \"" + printable(path) + "\"";
    if (!reason.empty())
        text += ": " + printable(reason);
    if (text.back() != '.')
        text += '.';
    return text;
}

std::string Failure::statusLine() const {
    return ">> " + sentence();
}

std::string reasonText(std::error_code error) {
    std::string text = error.message();
    while (!text.empty() &&
           (text.back() == '.' || text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace ravik
