// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// The rules for the text the program reads and writes, each in one place: where a line ends,
/// which bytes are UTF-8, and how outside text (a path, a typed or imported text) is shown in a
/// report.
namespace ravik::plaintext {

/// The length of the line break that starts at `at`: 2 for CR LF, 1 for LF or a lone CR (the
/// breaks of Unix, Windows and the old Mac OS), 0 when none starts there.
[[nodiscard]] std::size_t lineBreakAt(std::string_view text, std::size_t at);

/// The lines of `text` without their breaks, whichever of the three each line ends with; a last
/// line without a break counts too, an empty text has none.
[[nodiscard]] std::vector<std::string_view> splitLines(std::string_view text);

/// The length of the well-formed UTF-8 sequence that starts at `at` (1 to 4), or 0 when the
/// byte there starts none: a stray continuation byte, an overlong form, a surrogate, a code
/// point beyond U+10FFFF or a sequence cut short.
[[nodiscard]] std::size_t utf8SequenceAt(std::string_view text, std::size_t at);

/// `text` with its ASCII letters in lower case and every other byte as it is: how file endings are
/// compared, and names where the file system takes them in any case.
[[nodiscard]] std::string asciiLower(std::string_view text);

/// Outside text quoted in a message, in quotation marks: whole when short, else its first 57
/// bytes (never part of a UTF-8 sequence) and "...", so that one huge field does not fill a
/// terminal.
[[nodiscard]] std::string quote(std::string_view text);

/// Outside text as it may be shown inside a line of a text report: control characters (C0, DEL
/// and the C1 controls) become escapes (\n, \t, \r, \x1b, \u009b) and so do bytes that are not
/// UTF-8 (\xff), so that a file name can neither start a line of its own nor steer a terminal.
/// Other text, whatever its script, stays as it is.
[[nodiscard]] std::string printable(std::string_view text);

} // namespace ravik::plaintext
