#include "failure.hpp"

namespace ravik {

std::string Failure::sentence() const {
    std::string text = action + " \"" + path + "\"";
    if (!reason.empty())
        text += ": " + reason;
    if (text.back() != '.')
        text += '.';
    return text;
}

std::string Failure::statusLine() const {
    return ">> " + sentence();
}

} // namespace ravik
