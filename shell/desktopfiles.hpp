// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

// The desktop files of shell/, built into the program so that registering needs only the icons
// beside it. Generated from ravik.xml and ravik.desktop by desktopfiles.cpp.in.
namespace ravik::shell::files {

extern const std::string_view kMimePackage;
/// The installed desktop entry, which starts "ravik" from $PATH.
extern const std::string_view kDesktopEntry;

} // namespace ravik::shell::files
