// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form4.hpp"

#include "commondialog.hpp"
#include "core/actions/actions.hpp"
#include "core/actions/gapfile.hpp"
#include "core/text/messages.hpp"
#include "ui_Form4.h"
#include "workbench.hpp"

#include <QCloseEvent>
#include <QShortcut>

namespace ravik {

Form4::Form4(Workbench& main, QWidget* parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::Form4>())
    , main_(main) {
    ui_->setupUi(this);
    setFixedSize(size());
    setWindowIcon(QIcon(QStringLiteral(":/icons/ravik")));
    QPalette palette = ui_->Text3->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    ui_->Text3->setPalette(palette);
    connect(ui_->Command1, &QPushButton::clicked, this, &Form4::writeData);
    connect(ui_->Command2, &QPushButton::clicked, this, &Form4::selectFile);
    connect(ui_->Command3, &QPushButton::clicked, this, &Form4::clearFile);
    ui_->Text1->setFocus(); // the window opens ready for the first start time
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            &QWidget::close);
}

Form4::~Form4() = default;

void Form4::writeData() {
    const QString file = ui_->Text3->text();
    if (file.isEmpty() || ui_->Text1->text().isEmpty() || ui_->Text2->text().isEmpty())
        return;
    ActionView& view = main_.actionView();
    if (!actions::writeSilence(view, file.toStdString(), ui_->Text1->text().toStdString(),
                               ui_->Text2->text().toStdString()))
        return; // nothing written; the fields stay to be mended
    if (!ui_->Check1->isChecked())
        return;
    close();
    actions::takeWrittenFile(view, file.toStdString()); // whatever the dialog chose since
}

void Form4::selectFile() {
    CommonDialog& dialog = main_.fileDialog();
    // A cancel takes the unchanged name all the same.
    dialog.ShowSave(FileChooser::Mode::Append, this);
    ui_->Text3->setText(dialog.FileName);
    ActionView& view = main_.actionView();
    view.clearStatus();
    view.appendStatus(messages::preparingToWrite(ui_->Text3->text().toStdString()));
}

void Form4::clearFile() {
    const QString file = ui_->Text3->text();
    if (file.isEmpty())
        return;
    ActionView& view = main_.actionView();
    if (const auto failure = deleteGapFile(file.toStdString()))
        view.reportFailure(*failure);
    else
        view.appendStatus(messages::killingFile(file.toStdString()));
}

void Form4::closeEvent(QCloseEvent* event) {
    // Closing discards what was typed: the next showing starts empty.
    ui_->Text1->clear();
    ui_->Text2->clear();
    ui_->Text3->clear();
    ui_->Check1->setChecked(false);
    ui_->Text1->setFocus();
    QWidget::closeEvent(event);
}

} // namespace ravik
