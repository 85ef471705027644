#include "Form1.hpp"

#include "Form2.hpp"
#include "Form3.hpp"
#include "Form4.hpp"
#include "core/defrag.hpp"
#include "core/messages.hpp"
#include "core/structurecheck.hpp"
#include "core/timeline.hpp"
#include "statuslistmodel.hpp"
#include "symbolimage.hpp"
#include "ui_Form1.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QShortcut>
#include <QToolButton>
#include <algorithm>

namespace ravik {
namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Shows a field's text from its beginning, as a text that is too long reads best.
void showText(QLineEdit* field, const QString& text) {
    field->setText(text);
    field->setCursorPosition(0);
}

// The field shows `role` of the application's palette as its background.
void useBackground(QWidget* field, QPalette::ColorRole role) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, QApplication::palette().color(role));
    field->setPalette(palette);
}

std::string decimalSeparator() {
    return QLocale().decimalPoint().toStdString();
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
    // The result fields and the list in the light 3-D colour, the path in the menu colour.
    for (QWidget* field : std::initializer_list<QWidget*>{ui_->txtLength, ui_->txtCount,
                                                          ui_->txtMin, ui_->txtValidate, ui_->Sts})
        useBackground(field, QPalette::Midlight);
    useBackground(ui_->txtPath, QPalette::Button);
    setMouseTracking(true); // the background flattens the button row
    setAcceptDrops(true);
    setUpButtonRow();
    setUpShortcuts();
}

Form1::~Form1() = default;

void Form1::setUpButtonRow() {
    const auto icon = [](const char* name) {
        return QIcon(QStringLiteral(":/icons/%1").arg(QLatin1String(name)));
    };
    ui_->Command2->setIcon(icon("new"));
    slots_ = {Slot{ui_->cmX, ui_->imX}, Slot{ui_->cmR, ui_->ImR}, Slot{ui_->cmO, ui_->imO},
              Slot{ui_->cmT, ui_->imT}, Slot{ui_->cmA, ui_->imA}};
    const std::array<const char*, 5> names{"exit", "refresh", "open", "tools", "about"};
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        slots_[i].button->setIcon(icon(names[i]));
        slots_[i].image->setIcon(icon(names[i]));
        slots_[i].image->installEventFilter(this);
        connect(slots_[i].image, &SymbolImage::focusReceived, this, [this, i] {
            raise(slots_[i]);
            slots_[i].button->setFocus(Qt::TabFocusReason);
        });
    }
    flattenAll();

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
}

// --- Operations -------------------------------------------------------------------------

void Form1::load() {
    clearStatus();
    ui_->txtValidate->clear();
    dialog_.Filter = QStringLiteral("GAP files (*.gap) | *.gap");
    dialog_.ShowOpen(); // a cancel keeps the name chosen before, which then loads again
    if (dialog_.FileName.isEmpty()) {
        appendStatus(messages::kNoFileLoaded);
        return;
    }
    appendStatus(messages::loadedFile(dialog_.FileName.toStdString()));
    setPath(dialog_.FileName);
    Graph();
    ValidateGAP();
}

void Form1::openPath(const QString& path) {
    clearStatus();
    ui_->txtValidate->clear();
    appendStatus(messages::loadedFile(path.toStdString()));
    setPath(path);
    Graph();
    ValidateGAP();
}

void Form1::startWith(const QString& argumentText) {
    if (argumentText.isEmpty())
        return;
    setPath(argumentText);
    Graph();
    ValidateGAP();
}

void Form1::Graph() {
    const QString file = path();
    if (file.isEmpty())
        return;
    ui_->GAP->clear();
    const Timeline timeline = buildTimeline(
        file.toStdString(),
        {static_cast<double>(ui_->GAP->width()), static_cast<double>(ui_->GAP->height())},
        decimalSeparator());
    appendStatus(timeline.lines);
    if (timeline.failure) {
        appendStatus(timeline.failure->statusLine());
        clearStatistics(); // they belonged to another file
        return;
    }
    showText(ui_->txtCount, fromUtf8(timeline.count));
    showText(ui_->txtMin, fromUtf8(timeline.minimum));
    showText(ui_->txtLength, fromUtf8(timeline.length));
    ui_->GAP->setBoxes(timeline.boxes, timeline.boxHeight);
}

void Form1::ValidateGAP() {
    const QString file = path();
    if (file.isEmpty())
        return;
    const StructureCheck check = checkStructure(file.toStdString());
    appendStatus(check.lines);
    if (check.failure)
        appendStatus(check.failure->statusLine());
    const Rgb colour = check.verdictColour();
    QPalette palette = ui_->txtValidate->palette();
    palette.setColor(QPalette::Text, QColor(colour.red, colour.green, colour.blue));
    ui_->txtValidate->setPalette(palette);
    ui_->txtValidate->setText(fromUtf8(check.verdictText()));
}

void Form1::Defrag() {
    const QString file = path();
    if (file.isEmpty())
        return;
    const Defragmentation result = defragment(file.toStdString());
    appendStatus(result.lines);
    if (result.failure) {
        appendStatus(result.failure->statusLine());
        return; // the file is as it was; there is nothing new to draw
    }
    Graph();
}

// --- Shared state -----------------------------------------------------------------------

QString Form1::path() const {
    return ui_->txtPath->text();
}

void Form1::setPath(const QString& path) {
    showText(ui_->txtPath, path);
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

void Form1::clearStatistics() {
    ui_->txtCount->clear();
    ui_->txtMin->clear();
    ui_->txtLength->clear();
}

// --- Windows ----------------------------------------------------------------------------

void Form1::showWindow(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

void Form1::showForm2() {
    if (!form2_)
        form2_ = std::make_unique<Form2>();
    showWindow(*form2_);
}

void Form1::showForm3() {
    if (!form3_)
        form3_ = std::make_unique<Form3>(*this, registrar_);
    showWindow(*form3_);
}

void Form1::showForm4() {
    if (!form4_)
        form4_ = std::make_unique<Form4>(*this);
    showWindow(*form4_);
}

void Form1::exitProgram() {
    close();
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

// --- The button row's hover effect ------------------------------------------------------

void Form1::raise(const Slot& slot) {
    slot.image->hide();
    slot.button->show();
}

void Form1::flattenAll() {
    for (const Slot& slot : slots_) {
        slot.image->show();
        slot.button->hide();
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove)
        for (const Slot& slot : slots_)
            if (watched == slot.image) {
                raise(slot);
                return true;
            }
    return QWidget::eventFilter(watched, event);
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    // Moves over children can arrive here too (passed up, or sent by Qt when a widget under a
    // still pointer is shown or hidden); only the bare background flattens the row.
    if (childAt(event->position().toPoint()) == nullptr)
        flattenAll();
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
    openPath(QDir::toNativeSeparators(urls.front().toLocalFile()));
}

} // namespace ravik
