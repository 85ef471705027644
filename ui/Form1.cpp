// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.hpp"

#include "Form2.hpp"
#include "Form3.hpp"
#include "Form4.hpp"
#include "buttonrow.hpp"
#include "companionwindows.hpp"
#include "statuslistmodel.hpp"
#include "ui_Form1.h"
#include "utf8text.hpp"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QShortcut>
#include <QToolButton>
#include <algorithm>
#include <optional>
#include <utility>

namespace ravik {
namespace {

// Shows a field's text from its beginning, as a text that is too long reads best.
void showText(QLineEdit* field, const QString& text) {
    field->setText(text);
    field->setCursorPosition(0);
}

// The light 3-D colour: lighter than the button face, between it and the highlight (Qt's Light),
// in a light palette and in a dark one alike. Qt's Midlight is darker than the face in its own
// default palette, so it is mixed here.
QColor light3D(const QPalette& palette) {
    const QColor face = palette.color(QPalette::Button);
    const QColor highlight = palette.color(QPalette::Light);
    return QColor((face.red() + highlight.red()) / 2, (face.green() + highlight.green()) / 2,
                  (face.blue() + highlight.blue()) / 2);
}

void useBackground(QWidget* field, const QColor& colour) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, colour);
    field->setPalette(palette);
}

// The windows were laid out for the narrow "MS Sans Serif"; where it is missing, faces of the
// same width keep every caption inside its control.
void substituteDesignFont() {
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                    QStringLiteral("DejaVu Sans Condensed")});
        return true;
    }();
    (void)done;
}

} // namespace

Form1::Form1(Registrar registrar, QWidget* parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::Form1>())
    , status_(new StatusListModel(this))
    , dialog_(this)
    , registrar_(std::move(registrar)) {
    substituteDesignFont();
    ui_->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/ravik")));
    ui_->Sts->setModel(status_);
    // The result fields and the list in the light 3-D colour, the path in the menu colour (the
    // face, as menus have it).
    const QPalette palette = QApplication::palette();
    for (QWidget* field : std::initializer_list<QWidget*>{ui_->txtLength, ui_->txtCount,
                                                          ui_->txtMin, ui_->txtValidate, ui_->Sts})
        useBackground(field, light3D(palette));
    useBackground(ui_->txtPath, palette.color(QPalette::Button));
    setMouseTracking(true); // the background flattens the button row
    setAcceptDrops(true);
    setUpButtonRow();
    setUpShortcuts();
#ifdef RAVIK_WITH_RECORDING
    companions_ = std::make_unique<CompanionWindows>(*this);
#endif
}

Form1::~Form1() = default;

void Form1::setUpButtonRow() {
    const auto icon = [](const char* name) {
        return QIcon(QStringLiteral(":/icons/%1").arg(QLatin1String(name)));
    };
    ui_->Command2->setIcon(icon("new"));
    const std::array<ButtonRow::Slot, 5> places{
        ButtonRow::Slot{ui_->cmX, ui_->imX}, ButtonRow::Slot{ui_->cmR, ui_->ImR},
        ButtonRow::Slot{ui_->cmO, ui_->imO}, ButtonRow::Slot{ui_->cmT, ui_->imT},
        ButtonRow::Slot{ui_->cmA, ui_->imA}};
    const std::array<const char*, 5> names{"exit", "refresh", "open", "tools", "about"};
    for (std::size_t i = 0; i < places.size(); ++i) {
        places[i].button->setIcon(icon(names[i]));
        places[i].image->setIcon(icon(names[i]));
    }
    buttonRow_ = new ButtonRow(*this, places);

    connect(ui_->Command2, &QAbstractButton::clicked, this, &Form1::showForm4);
    connect(ui_->cmO, &QAbstractButton::clicked, this, &Form1::load);
    connect(ui_->cmR, &QAbstractButton::clicked, this, &Form1::Graph);
    connect(ui_->cmT, &QAbstractButton::clicked, this, &Form1::showForm3);
    connect(ui_->cmX, &QAbstractButton::clicked, this, &Form1::exitProgram);
    connect(ui_->cmA, &QAbstractButton::clicked, this, &Form1::showForm2);
}

void Form1::setUpShortcuts() {
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this, &Form1::load);
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            &Form1::Graph);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this,
            &Form1::exitProgram);
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this, &Form1::Undo);
#ifdef RAVIK_WITH_RECORDING
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this), &QShortcut::activated, this,
            &Form1::showRecording);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), this),
            &QShortcut::activated, this, &Form1::chooseFolder);
#endif
}

// --- Operations -------------------------------------------------------------------------

void Form1::load() {
    actions::open(*this, [this]() -> std::optional<std::string> {
        dialog_.Filter = QStringLiteral("GAP files (*.gap) | *.gap");
        dialog_.ShowOpen(); // a cancel keeps the name chosen before, which then loads again
        if (dialog_.FileName.isEmpty())
            return std::nullopt;
        return dialog_.FileName.toStdString();
    });
}

void Form1::openPath(const QString& path) {
    actions::open(*this, [&path] { return std::optional(path.toStdString()); });
}

void Form1::startWith(const QString& argumentText) {
    actions::startWith(*this, argumentText.toStdString());
}

void Form1::Graph() {
    actions::timeline(*this);
}

void Form1::ValidateGAP() {
    actions::check(*this);
}

void Form1::Defrag() {
    actions::defrag(*this);
}

void Form1::Undo() {
    actions::undo(*this);
}

// --- Shared state -----------------------------------------------------------------------

QString Form1::path() const {
    return ui_->txtPath->text();
}

void Form1::setPath(const QString& path) {
    showText(ui_->txtPath, path);
}

std::string Form1::currentPath() const {
    return path().toStdString();
}

void Form1::setCurrentPath(const std::string& path) {
    setPath(QString::fromStdString(path));
}

void Form1::clearStatus() {
    status_->clear();
}

void Form1::appendStatus(std::string_view line) {
    status_->append(line);
    ui_->Sts->scrollToBottom();
}

void Form1::appendStatus(const StatusLines& lines) {
    // Large enough that a million lines cost a few dozen repaints, small enough that a long
    // timeline shows its progress.
    constexpr std::size_t kBatch = 32768;
    for (std::size_t first = 0; first < lines.size(); first += kBatch) {
        const std::size_t count = std::min(kBatch, lines.size() - first);
        status_->append(lines, first, count);
        ui_->Sts->scrollToBottom();
        if (first + count < lines.size())
            ui_->Sts->viewport()->repaint();
    }
}

void Form1::reportFailure(const Failure& failure) {
    appendStatus(failure.statusLine());
}

void Form1::showTimeline(const Timeline& timeline) {
    ui_->GAP->clear();
    if (timeline.failure) {
        // The statistics belonged to another file.
        ui_->txtCount->clear();
        ui_->txtMin->clear();
        ui_->txtLength->clear();
        return;
    }
    showText(ui_->txtCount, fromUtf8(timeline.count));
    showText(ui_->txtMin, fromUtf8(timeline.minimum));
    showText(ui_->txtLength, fromUtf8(timeline.length));
    ui_->GAP->setBoxes(timeline.boxes, timeline.boxHeight);
}

void Form1::showCheck(const StructureCheck& check) {
    const Rgb colour = check.verdictColour();
    QPalette palette = ui_->txtValidate->palette();
    palette.setColor(QPalette::Text, QColor(colour.red, colour.green, colour.blue));
    ui_->txtValidate->setPalette(palette);
    ui_->txtValidate->setText(fromUtf8(check.verdictText()));
}

void Form1::clearVerdict() {
    ui_->txtValidate->clear(); // its colour stays until the next verdict
}

PictureSize Form1::pictureSize() const {
    return {static_cast<double>(ui_->GAP->width()), static_cast<double>(ui_->GAP->height())};
}

std::string Form1::decimalSeparator() const {
    return QLocale().decimalPoint().toStdString();
}

void Form1::keepForUndo(std::optional<Replacement> replacement) {
    undoable_ = std::move(replacement);
}

std::optional<Replacement> Form1::takeForUndo() {
    return std::exchange(undoable_, std::nullopt);
}

// --- Windows ----------------------------------------------------------------------------

void Form1::showForm2() {
    if (!form2_)
        form2_ = std::make_unique<Form2>();
    showInFront(*form2_);
}

void Form1::showForm3() {
    if (!form3_)
        form3_ = std::make_unique<Form3>(*this, registrar_);
    showInFront(*form3_);
}

void Form1::showForm4() {
    if (!form4_)
        form4_ = std::make_unique<Form4>(*this);
    showInFront(*form4_);
}

#ifdef RAVIK_WITH_RECORDING
void Form1::showRecording() {
    companions_->showRecording(path());
}

void Form1::openRecording(const QString& recording, const QString& gap) {
    companions_->openRecording(recording, gap);
}

RecordingWindow* Form1::recordingWindow() const {
    return companions_->recording();
}

void Form1::chooseFolder() {
    companions_->chooseFolder();
}

void Form1::openPack(const QString& folder) {
    companions_->openPack(folder);
}

VoicePackWindow* Form1::voicePackWindow() const {
    return companions_->pack();
}
#endif

void Form1::exitProgram() {
#ifdef RAVIK_WITH_RECORDING
    if (!companions_->mayQuit())
        return;
#endif
    close();
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    // Moves over children can arrive here too (passed up, or sent by Qt when a widget under a
    // still pointer is shown or hidden); only the bare background flattens the button row.
    if (childAt(event->position().toPoint()) == nullptr)
        buttonRow_->flattenAll();
    QWidget::mouseMoveEvent(event);
}

// --- Dropping a file --------------------------------------------------------------------

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return;
    event->acceptProposedAction();
    // In the system's own spelling, as the file dialog gives it: C:\... on Windows.
    const QString path = QDir::toNativeSeparators(urls.front().toLocalFile());
#ifdef RAVIK_WITH_RECORDING
    if (companions_->takeDropped(path))
        return;
#endif
    openPath(path);
}

} // namespace ravik
