// SPDX-License-Identifier: GPL-3.0-or-later
#include "plaintext.hpp"

namespace ravik::plaintext {

std::size_t lineBreakAt(std::string_view text, std::size_t at) {
    if (at >= text.size())
        return 0;
    if (text[at] == '\n')
        return 1;
    if (text[at] != '\r')
        return 0;
    return at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t breakLength = lineBreakAt(text, at);
        if (breakLength == 0) {
            ++at;
            continue;
        }
        lines.push_back(text.substr(start, at - start));
        at += breakLength;
        start = at;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::size_t utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;  // the least and greatest second byte: no overlong forms, no
    unsigned char high = 0xBF; // surrogates, nothing beyond U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

std::string quote(std::string_view text) {
    constexpr std::size_t kLongest = 60;
    if (text.size() <= kLongest)
        return "\"" + std::string(text) + "\"";
    std::size_t cut = kLongest - 3;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0U) == 0x80U)
        --cut;
    return "\"" + std::string(text.substr(0, cut)) + "...\"";
}

std::string asciiLower(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return lowered;
}

std::string printable(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&](const char* prefix, unsigned code) {
        shown += prefix;
        shown += kDigits[code >> 4];
        shown += kDigits[code & 15U];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8SequenceAt(text, i);
        if (length == 0) {
            escape("\\x", byte);
            ++i;
        } else if (byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // The C1 controls are two bytes in UTF-8 (C2 80 to C2 9F); a terminal obeys them too.
            escape("\\u00", static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else if (byte == '\n' || byte == '\t' || byte == '\r') {
            shown += byte == '\n' ? "\\n" : byte == '\t' ? "\\t" : "\\r";
            ++i;
        } else if (byte < 0x20 || byte == 0x7F) {
            escape("\\x", byte);
            ++i;
        } else {
            shown.append(text, i, length);
            i += length;
        }
    }
    return shown;
}

} // namespace ravik::plaintext
