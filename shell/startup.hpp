#pragma once

#include <string>

namespace ravik::shell {

/// The program's argument text: everything after the program's own name and the blanks that
/// follow it, taken as it is. It is the path of the file to open, so a path with blanks given
/// without quotation marks arrives whole. On Windows it is the raw command line's rest; elsewhere
/// the arguments joined by single blanks.
[[nodiscard]] std::string argumentText(int argc, const char* const* argv);

/// The argument text of a raw command line: what follows the program's name and the blanks
/// after it. The name may be quoted, or stand unquoted with blanks in it, as a desktop shell's
/// open command gives it: `programPath`, the running program's full path, recognises it then
/// (compared without regard to case, as Windows names files).
[[nodiscard]] std::string argumentTextOf(const std::string& commandLine,
                                         const std::string& programPath);

} // namespace ravik::shell
