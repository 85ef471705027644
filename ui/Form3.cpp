// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form3.hpp"

#include "commondialog.hpp"
#include "core/actions/actions.hpp"
#include "ui_Form3.h"

#include <QShortcut>

namespace ravik {

Form3::Form3(Workbench& main, Registrar registrar, QWidget* parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::Form3>())
    , main_(main)
    , registrar_(std::move(registrar)) {
    ui_->setupUi(this);
    setFixedSize(size());
    setWindowIcon(QIcon(QStringLiteral(":/icons/toolswindow")));
    connect(ui_->Command1, &QPushButton::clicked, this,
            [this] { actions::check(main_.actionView()); });
    connect(ui_->Command2, &QPushButton::clicked, this,
            [this] { actions::defrag(main_.actionView()); });
    connect(ui_->Command3, &QPushButton::clicked, this, [this] {
        registrar_([this](std::string_view line) { main_.actionView().appendStatus(line); });
    });
    connect(ui_->Command4, &QPushButton::clicked, this, &Form3::createGenericGap);
    // The operations to take back are run here, so their undo works here too.
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this,
            [this] { actions::undo(main_.actionView()); });
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            &QWidget::close);
}

Form3::~Form3() = default;

void Form3::createGenericGap() {
    CommonDialog& dialog = main_.fileDialog();
    if (!dialog.ShowSave(FileChooser::Mode::Save, this))
        return; // only a file chosen in this very dialog counts
    (void)actions::createGeneric(main_.actionView(), dialog.FileName.toStdString());
}

} // namespace ravik
