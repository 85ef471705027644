#include "Form4.hpp"

#include "Form1.hpp"
#include "core/messages.hpp"
#include "core/writers.hpp"
#include "ui_Form4.h"

#include <QCloseEvent>
#include <QLocale>

namespace ravik {

Form4::Form4(Form1& main, QWidget* parent)
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
}

Form4::~Form4() = default;

void Form4::writeData() {
    const QString file = ui_->Text3->text();
    if (file.isEmpty() || ui_->Text1->text().isEmpty() || ui_->Text2->text().isEmpty())
        return;
    const SilenceWrite write =
        writeSilence(file.toStdString(), ui_->Text1->text().toStdString(),
                     ui_->Text2->text().toStdString(), QLocale().decimalPoint().toStdString());
    if (write.failure) {
        main_.appendStatus(write.failure->statusLine()); // nothing written; fields kept to mend
        return;
    }
    main_.appendStatus(write.lines);
    if (!ui_->Check1->isChecked())
        return;
    close();
    main_.setPath(file); // the file just written, whatever the dialog chose since
    main_.Graph();
    main_.ValidateGAP();
}

void Form4::selectFile() {
    CommonDialog& dialog = main_.cmDialog1();
    dialog.ShowSave(); // a cancel takes the dialog's unchanged name all the same
    ui_->Text3->setText(dialog.FileName);
    main_.clearStatus();
    main_.appendStatus(messages::preparingToWrite(ui_->Text3->text().toStdString()));
}

void Form4::clearFile() {
    const QString file = ui_->Text3->text();
    if (file.isEmpty())
        return;
    if (const auto failure = deleteGapFile(file.toStdString()))
        main_.appendStatus(failure->statusLine());
    else
        main_.appendStatus(messages::killingFile(file.toStdString()));
}

void Form4::closeEvent(QCloseEvent* event) {
    // Closing discards what was typed: the next showing starts empty.
    ui_->Text1->clear();
    ui_->Text2->clear();
    ui_->Text3->clear();
    ui_->Check1->setChecked(false);
    QWidget::closeEvent(event);
}

} // namespace ravik
