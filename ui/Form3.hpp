// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "registrar.hpp"
#include "workbench.hpp"

#include <QWidget>
#include <memory>

namespace Ui {
class Form3;
}

namespace ravik {

/// The Tools window: check, defragment, register the file type, create a generic file. It acts
/// through the main window's workbench and keeps nothing of its own.
class Form3 : public QWidget {
    Q_OBJECT

public:
    Form3(Workbench& main, Registrar registrar, QWidget* parent = nullptr);
    ~Form3() override;

    /// "Create Generic GAP": writes the chosen file and makes it the current file.
    void createGenericGap();

private:
    std::unique_ptr<Ui::Form3> ui_;
    Workbench& main_;
    Registrar registrar_;
};

} // namespace ravik
