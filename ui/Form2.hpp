// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class Form2;
}

namespace ravik {

/// The About window: what the program is and who made it; nothing in it acts.
class Form2 : public QWidget {
    Q_OBJECT

public:
    explicit Form2(QWidget* parent = nullptr);
    ~Form2() override;

private:
    std::unique_ptr<Ui::Form2> ui_;
};

} // namespace ravik
