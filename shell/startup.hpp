// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace ravik::shell {

/// The program's argument text: everything after the program's own name and the blanks that
/// follow it. It is the path of the file to open, so a path with blanks given without quotation
/// marks arrives whole. On Windows it is the raw command line's rest, as unquotedPath() gives it;
/// elsewhere the arguments joined by single blanks (the shell has taken any quotation marks off).
[[nodiscard]] std::string argumentText(int argc, const char* const* argv);

/// The argument text of a raw command line: what follows the program's name and the blanks
/// after it. The name may be quoted, or stand unquoted with blanks in it, as a desktop shell's
/// open command gives it: `programPath`, the running program's full path, recognises it then
/// (compared without regard to case, as Windows names files).
[[nodiscard]] std::string argumentTextOf(const std::string& commandLine,
                                         const std::string& programPath);

/// The path in an argument text: one path wrapped in double quotation marks (as cmd, a shortcut
/// or the registered open command passes a path with blanks) without them, blanks after the
/// closing mark ignored; any other text as it is, so an unquoted path with blanks stays whole.
/// A Windows path cannot hold a quotation mark, so the marks are never part of the name.
[[nodiscard]] std::string unquotedPath(const std::string& text);

/// The folder of `ravik --pack FOLDER`: the argument text after "--pack" and its blanks, as
/// unquotedPath gives it; nothing when the text does not start so.
[[nodiscard]] std::optional<std::string> packFolder(const std::string& argumentText);

} // namespace ravik::shell
