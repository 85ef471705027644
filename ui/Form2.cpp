// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form2.hpp"

#include "ui_Form2.h"

#include <QShortcut>

namespace ravik {

Form2::Form2(QWidget* parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::Form2>()) {
    ui_->setupUi(this);
    setFixedSize(size());
    setWindowIcon(QIcon(QStringLiteral(":/icons/ravik")));
    QFont address = ui_->Label9->font();
    address.setPointSizeF(8.25); // a size the layout file cannot hold
    ui_->Label9->setFont(address);
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            &QWidget::close);
}

Form2::~Form2() = default;

} // namespace ravik
