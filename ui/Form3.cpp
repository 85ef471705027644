#include "Form3.hpp"

#include "core/messages.hpp"
#include "core/writers.hpp"
#include "ui_Form3.h"

namespace ravik {

Form3::Form3(Form1& main, Registrar registrar, QWidget* parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::Form3>())
    , main_(main)
    , registrar_(std::move(registrar)) {
    ui_->setupUi(this);
    setFixedSize(size());
    setWindowIcon(QIcon(QStringLiteral(":/icons/toolswindow")));
    connect(ui_->Command1, &QPushButton::clicked, &main_, &Form1::ValidateGAP);
    connect(ui_->Command2, &QPushButton::clicked, &main_, &Form1::Defrag);
    connect(ui_->Command3, &QPushButton::clicked, this,
            [this] { registrar_([this](std::string_view line) { main_.appendStatus(line); }); });
    connect(ui_->Command4, &QPushButton::clicked, this, &Form3::createGenericGap);
}

Form3::~Form3() = default;

void Form3::createGenericGap() {
    CommonDialog& dialog = main_.cmDialog1();
    if (!dialog.ShowSave())
        return; // only a file chosen in this very dialog counts
    const QString path = dialog.FileName;
    if (const auto failure = ravik::createGenericGap(path.toStdString())) {
        main_.appendStatus(failure->statusLine());
        return;
    }
    main_.setPath(path);
    main_.clearStatus();
    main_.appendStatus(messages::createdGeneric(path.toStdString()));
    main_.Graph();
    main_.ValidateGAP();
}

} // namespace ravik
