#include "failure.hpp"

namespace ravik {

std::string Failure::sentence() const {
    std::string text = action + " \"" + printable(path) + "\"";
    if (!reason.empty())
        text += ": " + reason;
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

std::string printable(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // The C1 controls are two bytes in UTF-8 (C2 80 to C2 9F); a terminal obeys them too.
        const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (byte >= 0x20 && byte != 0x7F && !c1) {
            shown += text[i];
            continue;
        }
        switch (byte) {
        case '\n':
            shown += "\\n";
            break;
        case '\t':
            shown += "\\t";
            break;
        case '\r':
            shown += "\\r";
            break;
        default: {
            const unsigned code = c1 ? static_cast<unsigned char>(text[++i]) : byte;
            shown += c1 ? "\\u00" : "\\x";
            shown += kDigits[code >> 4];
            shown += kDigits[code & 15U];
        }
        }
    }
    return shown;
}

} // namespace ravik
