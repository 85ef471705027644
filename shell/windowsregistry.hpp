// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Windows only: the parts of modRegistry that speak to advapi32 and kernel32.
namespace ravik::shell {

/// The system's text for a Win32 error code, without the full stop and line break at its end.
[[nodiscard]] std::string systemMessage(long code);

} // namespace ravik::shell
