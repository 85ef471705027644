// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace ravik {

class ActionView;
class CommonDialog;

/// What the other windows use of the main window: the view its actions report to (the status
/// list, the fields, the picture and the current file) and the one file dialog.
class Workbench {
public:
    [[nodiscard]] virtual ActionView& actionView() = 0;
    [[nodiscard]] virtual CommonDialog& fileDialog() = 0;

protected:
    ~Workbench() = default;
};

} // namespace ravik
