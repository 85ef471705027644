#pragma once

#include <string>

namespace ravik::shell {

/// The program's argument text: everything after the program's own name and the blanks that
/// follow it, taken as it is. It is the path of the file to open, so a path with blanks given
/// without quotation marks arrives whole. On Windows it is the raw command line's rest; elsewhere
/// the arguments joined by single blanks.
[[nodiscard]] std::string argumentText(int argc, const char* const* argv);

/// The argument text of a raw command line: what follows the program's name (quoted or not)
/// and the blanks after it.
[[nodiscard]] std::string argumentTextOf(const std::string& commandLine);

} // namespace ravik::shell
