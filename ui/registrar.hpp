// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/statuslines.hpp"

#include <functional>

namespace ravik {

/// Registers the GAP file type with the desktop, reporting through the sink: what the Tools
/// window's button runs, given by the program's main (the windows know nothing of the desktop).
using Registrar = std::function<void(const StatusSink& appendLine)>;

} // namespace ravik
