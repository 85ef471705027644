// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordingwindow.hpp"

#include "core/actions/actions.hpp"
#include "player.hpp"
#include "utf8text.hpp"
#include "waveformview.hpp"
#include "workbench.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolTip>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace ravik {
namespace {

// Silences played around the selected one, in ms.
constexpr double kPlayMargin = 300.0;
// How far one step of the zoom keys goes.
constexpr double kZoomStep = 1.5;
// The size the window asks for where the screen has room.
constexpr QSize kPreferredSize(900, 380);

// One edit of the list: the lists before and after it, so that undo and redo are exact. The
// moves of one drag, and the nudges of one edge in a row, merge into one step.
class ListCommand final : public QUndoCommand {
public:
    ListCommand(RecordingWindow& window, const document::SilenceDocument::Edit& edit,
                UndoMerging merging)
        : QUndoCommand(QObject::tr(edit.name.c_str()))
        , window_(window)
        , before_(window.silenceList())
        , after_(edit.list)
        , selectBefore_(window.waveform().selected())
        , selectAfter_(edit.select)
        , merging_(merging) {}

    void undo() override { window_.setSilences(before_, selectBefore_); }
    void redo() override { window_.setSilences(after_, selectAfter_); }
    [[nodiscard]] int id() const override { return static_cast<int>(merging_.kind); }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const ListCommand*>(other);
        if (next->merging_.serial != merging_.serial)
            return false;
        after_ = next->after_;
        selectAfter_ = next->selectAfter_;
        return true;
    }

private:
    RecordingWindow& window_;
    std::vector<Silence> before_;
    std::vector<Silence> after_;
    std::optional<std::size_t> selectBefore_;
    std::optional<std::size_t> selectAfter_;
    UndoMerging merging_;
};

class MessageBoxAsker final : public Asker {
public:
    Answer ask(QWidget* parent, Question question, const QString& text) override {
        QMessageBox box(QMessageBox::Question, QObject::tr("Recording"), text,
                        QMessageBox::NoButton, parent);
        if (question == Question::UnsavedChanges) {
            box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Save);
            switch (box.exec()) {
            case QMessageBox::Save:
                return Answer::Save;
            case QMessageBox::Discard:
                return Answer::Discard;
            default:
                return Answer::Cancel;
            }
        }
        if (question == Question::ReplaceFiles) {
            box.setWindowTitle(QObject::tr("Voice Pack"));
            QPushButton* replace = box.addButton(QObject::tr("Replace"), QMessageBox::AcceptRole);
            box.addButton(QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Cancel);
            box.exec();
            return box.clickedButton() == replace ? Answer::Overwrite : Answer::Cancel;
        }
        QPushButton* reload = box.addButton(QObject::tr("Reload"), QMessageBox::DestructiveRole);
        QPushButton* overwrite = box.addButton(QObject::tr("Overwrite"), QMessageBox::AcceptRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        box.exec();
        if (box.clickedButton() == reload)
            return Answer::Reload;
        if (box.clickedButton() == overwrite)
            return Answer::Overwrite;
        return Answer::Cancel;
    }
};

// The platform's own keys for `key` after the ones every platform gets, each once.
QList<QKeySequence> keysWithStandard(QList<QKeySequence> keys, QKeySequence::StandardKey key) {
    for (const QKeySequence& standard : QKeySequence::keyBindings(key))
        if (!keys.contains(standard))
            keys << standard;
    return keys;
}

} // namespace

std::unique_ptr<Asker> makeMessageBoxAsker() {
    return std::make_unique<MessageBoxAsker>();
}

RecordingWindow::RecordingWindow(Workbench& workbench, QWidget* parent)
    : QMainWindow(parent)
    , workbench_(workbench)
    , asker_(makeMessageBoxAsker())
    , undo_(new QUndoStack(this))
    , view_(new WaveformView)
    , scroll_(new QScrollBar(Qt::Horizontal))
    , threshold_(new QLineEdit(QStringLiteral("auto")))
    , leastSilence_(new QLineEdit(QString::number(audio::kDefaultLeastSilenceMs)))
    , detect_(new QPushButton(tr("&Detect")))
    , play_(new QPushButton(tr("Play")))
    , problem_(new QTextEdit)
    , status_(new QLabel)
    , player_(new Player(this)) {
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(makeControls());
    setUpProblem();
    layout->addWidget(problem_, 1);
    layout->addWidget(view_, 1);
    layout->addWidget(scroll_);
    setCentralWidget(central);
    statusBar()->addWidget(status_, 1);
    setUpActions();
    resize(kPreferredSize);

    connect(view_, &WaveformView::viewChanged, this, &RecordingWindow::syncScrollBar);
    connect(scroll_, &QScrollBar::valueChanged, this,
            [this](int value) { view_->setScale(view_->scale().scrolledTo(value)); });
    connect(view_, &WaveformView::pointerMoved, this, &RecordingWindow::updateActions);
    connect(view_, &WaveformView::selectionChanged, this, &RecordingWindow::updateActions);
    connect(view_, &WaveformView::edgeDragged, this,
            [this](std::size_t index, silences::Edge which, int ms, int drag) {
                edit(document_.moveEdge(index, which, ms), {UndoMerging::Kind::Drag, drag});
            });
    connect(view_, &WaveformView::silenceDrawn, this,
            [this](const Silence& silence) { edit(document_.add(silence)); });
    connect(player_, &Player::positionChanged, view_, [this](double ms) {
        if (!view_->scale().shows(ms)) // the view turns the page to follow the play-head
            view_->setView(ms, view_->msPerPixel());
        view_->setPlayHead(ms);
    });
    connect(player_, &Player::stopped, this, [this] {
        view_->setPlayHead(std::nullopt);
        play_->setText(tr("Play"));
    });
    connect(player_, &Player::failed, this, &RecordingWindow::say);
    // A menu closed with Escape leaves the menu bar holding the keys; Tab goes back to work.
    menuBar()->installEventFilter(this);
    view_->installEventFilter(this);
    threshold_->installEventFilter(this);
    leastSilence_->installEventFilter(this);
    view_->setContent(nullptr, nullptr);
    updateActions();
}

RecordingWindow::~RecordingWindow() {
    disconnect(undo_, nullptr, this, nullptr);
}

// Why a recording could not be opened, in place of the waveform: a path has no spaces to wrap a
// label's line at, so it wraps anywhere, selectable, and scrolls rather than cut a long one.
void RecordingWindow::setUpProblem() {
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setReadOnly(true);
    problem_->setFrameShape(QFrame::NoFrame);
    problem_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    problem_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    problem_->viewport()->setAutoFillBackground(false);
    problem_->hide();
}

QWidget* RecordingWindow::makeControls() {
    auto* controls = new QWidget;
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);
    threshold_->setObjectName(QStringLiteral("threshold"));
    leastSilence_->setObjectName(QStringLiteral("leastSilence"));
    auto* thresholdLabel = new QLabel(tr("&Threshold (dB):"));
    thresholdLabel->setBuddy(threshold_);
    threshold_->setToolTip(tr("\"auto\": just above the recording's noise floor; or a negative "
                              "level in dBFS, such as -45"));
    auto* leastLabel = new QLabel(tr("&Least silence (ms):"));
    leastLabel->setBuddy(leastSilence_);
    threshold_->setMaximumWidth(80);
    leastSilence_->setMaximumWidth(80);
    for (QWidget* widget : std::initializer_list<QWidget*>{thresholdLabel, threshold_, leastLabel,
                                                           leastSilence_, detect_})
        row->addWidget(widget);
    row->addStretch(1);
    row->addWidget(play_);
    connect(detect_, &QPushButton::clicked, this, &RecordingWindow::detect);
    connect(threshold_, &QLineEdit::returnPressed, this, &RecordingWindow::detect);
    connect(leastSilence_, &QLineEdit::returnPressed, this, &RecordingWindow::detect);
    connect(play_, &QPushButton::clicked, this, &RecordingWindow::togglePlay);
    if (const std::optional<QString> reason = player_->unavailableReason())
        play_->setToolTip(*reason);
    else
        play_->setToolTip(tr("Play from the play position (Space; a click on the ruler, Home or "
                             "End sets it, else the pointer's time); P plays the selected "
                             "silence"));
    return controls;
}

void RecordingWindow::setUpActions() {
    const auto action = [this](const QString& text, const QList<QKeySequence>& keys, auto slot) {
        auto* made = new QAction(text, this);
        made->setShortcuts(keys);
        connect(made, &QAction::triggered, this, slot);
        return made;
    };
    // Keys that the fields use too act only on the waveform.
    const auto waveKey = [&](const QString& text, const QList<QKeySequence>& keys, auto slot) {
        QAction* made = action(text, keys, slot);
        made->setShortcutContext(Qt::WidgetShortcut);
        view_->addAction(made);
        return made;
    };

    QMenu* file = menuBar()->addMenu(tr("&File"));
    actions_.save = action(tr("&Save"), {QKeySequence::Save}, [this] { save(); });
    file->addAction(actions_.save);
    file->addAction(action(tr("&Close"),
                           keysWithStandard({Qt::CTRL | Qt::Key_W}, QKeySequence::Close),
                           [this] { close(); }));

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* undo = undo_->createUndoAction(this, tr("&Undo"));
    undo->setShortcuts(keysWithStandard({Qt::CTRL | Qt::Key_Z}, QKeySequence::Undo));
    QAction* redo = undo_->createRedoAction(this, tr("&Redo"));
    redo->setShortcuts(keysWithStandard({Qt::CTRL | Qt::SHIFT | Qt::Key_Z, Qt::CTRL | Qt::Key_Y},
                                        QKeySequence::Redo));
    edit->addAction(undo);
    edit->addAction(redo);
    actions_.undo = undo;
    actions_.redo = redo;
    edit->addSeparator();
    actions_.remove = waveKey(tr("&Delete Silence"), {QKeySequence::Delete}, [this] {
        if (const auto index = view_->selected())
            this->edit(document_.remove(*index));
    });
    edit->addAction(actions_.remove);
    // Tab and Shift+Tab are the waveform's own keys (see eventFilter), so these are no shortcuts:
    // the menu only names them.
    actions_.next =
        action(tr("Select &Next") + QLatin1String("\tTab"), {}, [this] { selectNeighbour(1); });
    actions_.previous = action(tr("Select &Previous") + QLatin1String("\tShift+Tab"), {},
                               [this] { selectNeighbour(-1); });
    edit->addAction(actions_.next);
    edit->addAction(actions_.previous);
    actions_.edge = {
        waveKey(tr("Edge Left"), {Qt::Key_Left}, [this] { moveSelectedEdge(-1); }),
        waveKey(tr("Edge Right"), {Qt::Key_Right}, [this] { moveSelectedEdge(1); }),
        waveKey(tr("Edge Far Left"), {Qt::SHIFT | Qt::Key_Left}, [this] { moveSelectedEdge(-10); }),
        waveKey(tr("Edge Far Right"), {Qt::SHIFT | Qt::Key_Right},
                [this] { moveSelectedEdge(10); }),
    };

    QMenu* view = menuBar()->addMenu(tr("&View"));
    const auto zoom = [this](double factor) {
        const double pointer = view_->pointerMs();
        view_->zoomAround(
            factor, view_->scale().shows(pointer) ? pointer : view_->msAt(view_->width() / 2.0));
    };
    actions_.viewing = {
        waveKey(tr("Zoom &In"), {Qt::Key_Plus, Qt::Key_Equal}, [=] { zoom(kZoomStep); }),
        waveKey(tr("Zoom &Out"), {Qt::Key_Minus}, [=] { zoom(1 / kZoomStep); }),
        action(tr("&Whole Recording"), {Qt::CTRL | Qt::Key_0}, [this] { view_->fitAll(); }),
        waveKey(tr("&Start"), {Qt::Key_Home}, [this] { playFromAndShow(0); }),
        waveKey(tr("&End"), {Qt::Key_End}, [this] { playFromAndShow(view_->recordingMs()); }),
    };
    view->addActions(actions_.viewing);

    QMenu* playMenu = menuBar()->addMenu(tr("&Play"));
    actions_.play = waveKey(tr("&Play / Stop"), {Qt::Key_Space}, [this] { togglePlay(); });
    actions_.playSilence = waveKey(tr("Play &Silence"), {Qt::Key_P}, [this] { playSelected(); });
    playMenu->addAction(actions_.play);
    playMenu->addAction(actions_.playSilence);
    connect(undo_, &QUndoStack::indexChanged, this, &RecordingWindow::updateActions);
}

// --- Opening and saving -----------------------------------------------------------------

void RecordingWindow::setAsker(std::unique_ptr<Asker> asker) {
    asker_ = std::move(asker);
}

QString RecordingWindow::recordingPath() const {
    return document_.isOpen() ? QString::fromStdString(document_.recordingPath()) : QString();
}

QString RecordingWindow::gapPath() const {
    return document_.isOpen() ? QString::fromStdString(document_.gapPath()) : QString();
}

RecordingWindow::Opening RecordingWindow::openRecording(const QString& recording,
                                                        const QString& gap) {
    if (document_.isModified() && recording == recordingPath() && gap == gapPath())
        return Opening::Opened; // already here, with the user's changes
    if (!settleUnsaved())
        return Opening::Cancelled;
    player_->stop();
    undo_->clear();
    notice_.clear();
    const std::optional<Failure> failure =
        document_.open(recording.toStdString(), gap.toStdString());
    view_->setContent(document_.peaks(), document_.isOpen() ? &document_.silences() : nullptr);
    view_->setFocus();
    updateActions();
    if (failure) {
        workbench_.actionView().reportFailure(*failure); // the program's log has it too
        return Opening::Failed;
    }
    return Opening::Opened;
}

bool RecordingWindow::settleUnsaved() {
    if (!document_.isModified())
        return true;
    const QString text =
        tr("The silences of \"%1\" have changed. Save them?").arg(QFileInfo(gapPath()).fileName());
    switch (asker_->ask(this, Asker::Question::UnsavedChanges, text)) {
    case Asker::Answer::Save:
        return save();
    case Asker::Answer::Discard:
        discard();
        return true;
    default:
        return false;
    }
}

void RecordingWindow::discard() {
    document_.discard();
    undo_->clear();
    view_->select(std::nullopt);
    view_->update();
    updateActions();
}

bool RecordingWindow::save() {
    if (!document_.isOpen())
        return false;
    std::optional<std::vector<std::uint8_t>> overwriting; // what the user chose to replace
    for (;;) {
        document::SilenceDocument::Saving saving = document_.save(overwriting);
        using Outcome = document::SilenceDocument::Saving::Outcome;
        if (saving.outcome == Outcome::Saved)
            break;
        if (saving.outcome == Outcome::Failed) {
            say(fromUtf8(saving.failure->sentence()));
            workbench_.actionView().reportFailure(*saving.failure);
            return false;
        }
        const QString text = tr("\"%1\" has changed on disk since it was loaded. Reload it and "
                                "lose the changes made here, or overwrite it with them?")
                                 .arg(QFileInfo(gapPath()).fileName());
        switch (asker_->ask(this, Asker::Question::ChangedOnDisk, text)) {
        case Asker::Answer::Reload:
            if (const std::optional<Failure> failure = document_.reload()) {
                say(fromUtf8(failure->sentence()));
                return false;
            }
            notice_.clear();
            discard();
            return false;
        case Asker::Answer::Overwrite:
            overwriting = std::move(saving.onDisk);
            continue;
        default:
            return false;
        }
    }
    notice_.clear();
    undo_->setClean(); // so that the next nudge is a step of its own, back to what was saved
    updateActions();
    actions::takeWrittenFile(workbench_.actionView(), document_.gapPath());
    return true;
}

void RecordingWindow::closeEvent(QCloseEvent* event) {
    if (!settleUnsaved()) {
        event->ignore();
        return;
    }
    player_->stop();
    event->accept();
}

void RecordingWindow::placeOver(const QWidget& owner) {
    if (placed_)
        return;
    placed_ = true;
    const QScreen* screen = owner.screen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    // Room for the frame a window manager adds, which is not known before the window is shown.
    const QSize frame(16, 48);
    const QSize size = kPreferredSize.boundedTo(area.size() - frame).expandedTo(minimumSizeHint());
    resize(size);
    QRect placed(QPoint(), size + frame);
    placed.moveCenter(owner.frameGeometry().center());
    placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() + 1 - placed.height()));
    move(placed.topLeft());
}

// --- Editing ----------------------------------------------------------------------------

void RecordingWindow::setSilences(std::vector<Silence> list, std::optional<std::size_t> select) {
    document_.apply(std::move(list));
    view_->select(select, view_->selectedEdge());
    updateActions();
}

void RecordingWindow::edit(const std::optional<document::SilenceDocument::Edit>& change,
                           UndoMerging merging) {
    if (change)
        undo_->push(new ListCommand(*this, *change, merging));
}

void RecordingWindow::detect() {
    if (!document_.isOpen())
        return;
    audio::DetectOptions options;
    const QString threshold = threshold_->text().trimmed();
    if (!threshold.isEmpty() &&
        threshold.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0) {
        options.thresholdDb = audio::thresholdFromText(threshold.toStdString());
        if (!options.thresholdDb)
            return say(tr("The threshold is \"auto\" or a negative level in dBFS, such as -45."));
    }
    const std::optional<int> leastMs =
        audio::leastSilenceFromText(leastSilence_->text().trimmed().toStdString());
    if (!leastMs)
        return say(tr("The least silence is a whole number of milliseconds from 1 to 32767."));
    options.leastSilenceMs = *leastMs;
    const document::SilenceDocument::Detected detected = document_.detect(options);
    if (detected.failure)
        return say(fromUtf8(detected.failure->sentence()));
    edit(detected.edit);
    QStringList warnings;
    for (const std::string& warning : detected.warnings)
        warnings << fromUtf8(warning);
    say(warnings.join(QLatin1String("; ")));
}

void RecordingWindow::moveSelectedEdge(int by) {
    const std::optional<std::size_t> index = view_->selected();
    if (!index || *index >= silenceList().size())
        return;
    const Silence& silence = silenceList()[*index];
    const silences::Edge edge = view_->selectedEdge();
    const std::optional<document::SilenceDocument::Edit> change = document_.moveEdge(
        *index, edge,
        static_cast<int>(edge == silences::Edge::Start ? silence.start : silence.end) + by);
    if (!change)
        return;
    // Another edge, or any step done or undone since the last nudge, starts a new step (and the
    // undo stack never merges into the step that was saved).
    if (!lastNudge_ || lastNudge_->index != *index || lastNudge_->edge != edge ||
        lastNudge_->stackIndex != undo_->index())
        ++nudgeSerial_;
    edit(change, {UndoMerging::Kind::Nudge, nudgeSerial_});
    lastNudge_ = Nudge{*index, edge, undo_->index()};
}

void RecordingWindow::selectNeighbour(int step) {
    const std::vector<Silence>& list = silenceList();
    if (list.empty())
        return;
    const auto last = static_cast<std::ptrdiff_t>(list.size()) - 1;
    const std::optional<std::size_t> now = view_->selected();
    const std::ptrdiff_t next =
        now ? std::clamp(static_cast<std::ptrdiff_t>(*now) + step, std::ptrdiff_t{0}, last)
            : (step > 0 ? 0 : last);
    const Silence& silence = list[static_cast<std::size_t>(next)];
    view_->select(static_cast<std::size_t>(next), silences::Edge::Start);
    view_->setScale(view_->scale().showing(static_cast<double>(silence.start),
                                           static_cast<double>(silence.end)));
}

bool RecordingWindow::showPastTheEnd(const QHelpEvent& help) const {
    const std::optional<std::size_t> index = silences::silenceAt(
        silenceList(), static_cast<int>(std::lround(view_->msAt(help.pos().x()))));
    const std::optional<std::string> past =
        index ? document_.pastTheEnd(silenceList()[*index]) : std::nullopt;
    if (past)
        QToolTip::showText(help.globalPos(), fromUtf8(*past), view_);
    else
        QToolTip::hideText();
    return true;
}

bool RecordingWindow::fieldKey(QLineEdit& field, QKeyEvent& key) const {
    const QKeySequence typed(key.keyCombination());
    const bool undo = actions_.undo->shortcuts().contains(typed);
    if (!undo && !actions_.redo->shortcuts().contains(typed))
        return false;
    // The field takes the key before the window's shortcut can (Ctrl+Y is no redo key of the
    // field's on X11), then undoes or redoes its own typing.
    key.accept();
    if (key.type() == QEvent::KeyPress)
        undo ? field.undo() : field.redo();
    return true;
}

bool RecordingWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && watched == view_)
        return showPastTheEnd(*static_cast<QHelpEvent*>(event));
    if ((event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        (watched == threshold_ || watched == leastSilence_))
        return fieldKey(*static_cast<QLineEdit*>(watched), *static_cast<QKeyEvent*>(event)) ||
               QMainWindow::eventFilter(watched, event);
    if (event->type() != QEvent::KeyPress || (watched != view_ && watched != menuBar()))
        return QMainWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (!tab || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) || !document_.isOpen())
        return QMainWindow::eventFilter(watched, event);
    if (watched == menuBar()) {
        if (QApplication::activePopupWidget() != nullptr)
            return false; // a menu is open: Tab is the menu's
        // Leaves the menu bar's keyboard mode, which gives the focus back to the waveform.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(menuBar(), &escape);
        view_->setFocus(Qt::OtherFocusReason);
    }
    selectNeighbour(key->key() == Qt::Key_Tab ? 1 : -1);
    return true;
}

// --- Listening --------------------------------------------------------------------------

void RecordingWindow::togglePlay() {
    if (player_->isPlaying())
        return player_->stop();
    play(std::nullopt, view_->playFromMs());
}

void RecordingWindow::playFromAndShow(double ms) {
    view_->setPlayFrom(ms);
    view_->setPointerMs(ms);
    view_->setScale(view_->scale().showing(ms, ms));
}

void RecordingWindow::playSelected() {
    const std::optional<std::size_t> index = view_->selected();
    if (!index || *index >= silenceList().size())
        return;
    const Silence& silence = silenceList()[*index];
    play(static_cast<double>(silence.end) + kPlayMargin,
         std::max(0.0, static_cast<double>(silence.start) - kPlayMargin));
}

void RecordingWindow::play(std::optional<double> toMs, double fromMs) {
    if (!document_.isOpen() || player_->unavailableReason())
        return;
    player_->play(recordingPath(), fromMs, toMs);
    if (player_->isPlaying())
        play_->setText(tr("Stop"));
}

// --- What the window shows --------------------------------------------------------------

QString RecordingWindow::statusText() const {
    return status_->text();
}

void RecordingWindow::say(const QString& notice) {
    notice_ = notice;
    updateActions();
}

void RecordingWindow::updateActions() {
    const bool open = document_.isOpen();
    const std::vector<Silence>& list = document_.silences();
    std::optional<Silence> selected;
    if (const auto index = view_->selected(); open && index && *index < list.size())
        selected = list[*index];

    const QString name = QFileInfo(QString::fromStdString(document_.recordingPath())).fileName();
    switch (document_.state()) {
    case document::SilenceDocument::State::Empty:
        setWindowTitle(tr("Recording[*]"));
        break;
    case document::SilenceDocument::State::Open:
        setWindowTitle(tr("Recording - %1[*]").arg(name));
        break;
    case document::SilenceDocument::State::Failed:
        setWindowTitle(tr("Recording - %1 (not opened)[*]").arg(name));
        break;
    }
    setWindowModified(document_.isModified());
    const bool failed = document_.failure().has_value();
    problem_->setVisible(failed);
    view_->setVisible(!failed);
    scroll_->setVisible(!failed);
    if (failed)
        problem_->setPlainText(fromUtf8(document_.failure()->sentence()));

    QStringList parts;
    if (open) {
        QString line = fromUtf8(
            silences::statusLine(static_cast<int>(std::lround(view_->pointerMs())), selected));
        if (const auto past = selected ? document_.pastTheEnd(*selected) : std::nullopt)
            line += QLatin1String(", ") + fromUtf8(*past);
        parts << line;
        if (document_.notice())
            parts << fromUtf8(*document_.notice());
    }
    if (!notice_.isEmpty())
        parts << notice_;
    status_->setText(parts.join(QLatin1String("   ")));

    const bool canPlay = open && !player_->unavailableReason();
    actions_.save->setEnabled(document_.isModified());
    actions_.remove->setEnabled(selected.has_value());
    for (QAction* edge : actions_.edge)
        edge->setEnabled(selected.has_value());
    actions_.next->setEnabled(open && !list.empty());
    actions_.previous->setEnabled(open && !list.empty());
    for (QAction* viewing : actions_.viewing)
        viewing->setEnabled(open);
    actions_.play->setEnabled(canPlay);
    actions_.playSilence->setEnabled(canPlay && selected.has_value());
    play_->setEnabled(canPlay);
    for (QWidget* control : std::initializer_list<QWidget*>{detect_, threshold_, leastSilence_})
        control->setEnabled(open);
}

void RecordingWindow::syncScrollBar() {
    const QSignalBlocker blocker(scroll_);
    const TimeScale::Scroll bar = view_->scale().scroll();
    scroll_->setRange(0, bar.maximum);
    scroll_->setPageStep(bar.pageStep);
    scroll_->setSingleStep(bar.singleStep);
    scroll_->setValue(bar.value);
}

} // namespace ravik
