#include "recordingwindow.hpp"

#include "audio/silencedetector.hpp"
#include "core/actions.hpp"
#include "core/fileio.hpp"
#include "player.hpp"
#include "waveformview.hpp"
#include "workbench.hpp"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <filesystem>

namespace ravik {
namespace {

// Silences played around the selected one, in ms.
constexpr double kPlayMargin = 300.0;
// How far one step of the zoom keys goes.
constexpr double kZoomStep = 1.5;

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// One edit of the list: the lists before and after it, so that undo and redo are exact. The
// moves of one drag merge into one step.
class ListCommand final : public QUndoCommand {
public:
    ListCommand(RecordingWindow& window, const QString& text, std::vector<Silence> after,
                std::optional<std::size_t> selectAfter, int drag = -1)
        : QUndoCommand(text)
        , window_(window)
        , before_(window.silenceList())
        , after_(std::move(after))
        , selectBefore_(window.waveform().selected())
        , selectAfter_(selectAfter)
        , drag_(drag) {}

    void undo() override { window_.setSilences(before_, selectBefore_); }
    void redo() override { window_.setSilences(after_, selectAfter_); }
    [[nodiscard]] int id() const override { return drag_ >= 0 ? 1 : -1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const ListCommand*>(other);
        if (next->drag_ != drag_)
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
    int drag_;
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

} // namespace

std::unique_ptr<Asker> makeMessageBoxAsker() {
    return std::make_unique<MessageBoxAsker>();
}

RecordingWindow::RecordingWindow(Workbench& workbench, QWidget* parent)
    : QMainWindow(parent)
    , workbench_(workbench)
    , asker_(makeMessageBoxAsker())
    , view_(new WaveformView)
    , scroll_(new QScrollBar(Qt::Horizontal))
    , threshold_(new QLineEdit(QStringLiteral("auto")))
    , leastSilence_(new QLineEdit(QString::number(audio::kDefaultLeastSilenceMs)))
    , detect_(new QPushButton(tr("&Detect")))
    , play_(new QPushButton(tr("Play")))
    , status_(new QLabel)
    , player_(new Player(this)) {
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(makeControls());
    layout->addWidget(view_, 1);
    layout->addWidget(scroll_);
    setCentralWidget(central);
    statusBar()->addWidget(status_, 1);
    setUpActions();
    resize(900, 360);

    connect(view_, &WaveformView::viewChanged, this, &RecordingWindow::syncScrollBar);
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
        view_->setView(value * view_->msPerPixel(), view_->msPerPixel());
    });
    connect(view_, &WaveformView::pointerMoved, this, &RecordingWindow::showStatus);
    connect(view_, &WaveformView::selectionChanged, this, &RecordingWindow::showStatus);
    connect(view_, &WaveformView::edgeDragged, this, &RecordingWindow::moveEdge);
    connect(view_, &WaveformView::silenceDrawn, this, &RecordingWindow::addSilence);
    connect(&undo_, &QUndoStack::cleanChanged, this, &RecordingWindow::updateTitle);
    connect(player_, &Player::positionChanged, view_, [this](double ms) {
        if (view_->xAt(ms) > view_->width()) // the view turns the page to follow the play-head
            view_->setView(ms, view_->msPerPixel());
        view_->setPlayHead(ms);
    });
    connect(player_, &Player::stopped, this, [this] {
        view_->setPlayHead(std::nullopt);
        play_->setText(tr("Play"));
    });
    connect(player_, &Player::failed, this, [this](const QString& reason) {
        notice_ = reason;
        showStatus();
    });
    view_->setContent(nullptr, &list_);
    updateTitle();
}

RecordingWindow::~RecordingWindow() {
    // The stack is emptied as it goes, after the members its signals read are gone.
    disconnect(&undo_, nullptr, this, nullptr);
}

QWidget* RecordingWindow::makeControls() {
    auto* controls = new QWidget;
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);
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
    connect(play_, &QPushButton::clicked, this, &RecordingWindow::togglePlay);
    if (const std::optional<QString> reason = player_->unavailableReason()) {
        play_->setEnabled(false);
        play_->setToolTip(*reason);
    } else {
        play_->setToolTip(tr("Play from the pointer (Space); P plays the selected silence"));
    }
    return controls;
}

void RecordingWindow::setUpActions() {
    const auto action = [this](const QString& text, const QKeySequence& keys, auto slot) {
        auto* made = new QAction(text, this);
        made->setShortcut(keys);
        connect(made, &QAction::triggered, this, slot);
        return made;
    };
    // Keys that the fields use too act only on the waveform.
    const auto waveKey = [&](const QString& text, const QKeySequence& keys, auto slot) {
        QAction* made = action(text, keys, slot);
        made->setShortcutContext(Qt::WidgetShortcut);
        view_->addAction(made);
        return made;
    };

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(action(tr("&Save"), QKeySequence::Save, [this] { save(); }));
    file->addAction(action(tr("&Close"), QKeySequence::Close, [this] { close(); }));

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* undo = undo_.createUndoAction(this, tr("&Undo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = undo_.createRedoAction(this, tr("&Redo"));
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence::Redo});
    edit->addAction(undo);
    edit->addAction(redo);
    edit->addSeparator();
    edit->addAction(
        waveKey(tr("&Delete Silence"), QKeySequence::Delete, [this] { removeSelected(); }));
    edit->addAction(
        waveKey(tr("Select &Next"), QKeySequence(Qt::Key_Tab), [this] { selectNeighbour(1); }));
    edit->addAction(waveKey(tr("Select &Previous"), QKeySequence(Qt::SHIFT | Qt::Key_Backtab),
                            [this] { selectNeighbour(-1); }));
    waveKey(tr("Select Previous"), QKeySequence(Qt::Key_Backtab), [this] { selectNeighbour(-1); });
    waveKey(tr("Edge Left"), QKeySequence(Qt::Key_Left), [this] { moveSelectedEdge(-1); });
    waveKey(tr("Edge Right"), QKeySequence(Qt::Key_Right), [this] { moveSelectedEdge(1); });
    waveKey(tr("Edge Far Left"), QKeySequence(Qt::SHIFT | Qt::Key_Left),
            [this] { moveSelectedEdge(-10); });
    waveKey(tr("Edge Far Right"), QKeySequence(Qt::SHIFT | Qt::Key_Right),
            [this] { moveSelectedEdge(10); });

    QMenu* view = menuBar()->addMenu(tr("&View"));
    const auto zoom = [this](double factor) {
        const double pointer = view_->pointerMs();
        const bool shown = view_->xAt(pointer) >= 0 && view_->xAt(pointer) <= view_->width();
        view_->zoomAround(factor, shown ? pointer : view_->msAt(view_->width() / 2.0));
    };
    view->addAction(waveKey(tr("Zoom &In"), QKeySequence(Qt::Key_Plus), [=] { zoom(kZoomStep); }));
    waveKey(tr("Zoom In"), QKeySequence(Qt::Key_Equal), [=] { zoom(kZoomStep); });
    view->addAction(
        waveKey(tr("Zoom &Out"), QKeySequence(Qt::Key_Minus), [=] { zoom(1 / kZoomStep); }));
    view->addAction(action(tr("&Whole Recording"), QKeySequence(Qt::CTRL | Qt::Key_0),
                           [this] { view_->fitAll(); }));
    view->addAction(waveKey(tr("&Start"), QKeySequence(Qt::Key_Home), [this] {
        view_->setView(0, view_->msPerPixel());
        view_->setPointerMs(0);
    }));
    view->addAction(waveKey(tr("&End"), QKeySequence(Qt::Key_End), [this] {
        view_->setView(view_->totalMs(), view_->msPerPixel());
        view_->setPointerMs(view_->totalMs());
    }));

    QMenu* playMenu = menuBar()->addMenu(tr("&Play"));
    QAction* playAction =
        waveKey(tr("&Play / Stop"), QKeySequence(Qt::Key_Space), [this] { togglePlay(); });
    QAction* playSilence =
        waveKey(tr("Play &Silence"), QKeySequence(Qt::Key_P), [this] { playSelected(); });
    playMenu->addAction(playAction);
    playMenu->addAction(playSilence);
    const bool canPlay = !player_->unavailableReason();
    playAction->setEnabled(canPlay);
    playSilence->setEnabled(canPlay);
}

// --- Opening and saving -----------------------------------------------------------------

void RecordingWindow::setAsker(std::unique_ptr<Asker> asker) {
    asker_ = std::move(asker);
}

bool RecordingWindow::openRecording(const QString& recording, const QString& gap) {
    if (!settleUnsaved())
        return false;
    ActionView& report = workbench_.actionView();
    auto opened = audio::SoundFile::open(recording.toStdString());
    if (!opened.file) {
        report.reportFailure(*opened.failure);
        return false;
    }
    audio::Peaks::Read read = audio::Peaks::read(*opened.file);
    if (read.failure) {
        report.reportFailure(*read.failure);
        return false;
    }
    std::vector<std::uint8_t> bytes;
    const std::string gapPath = gap.toStdString();
    std::error_code error;
    if (std::filesystem::exists(
            std::filesystem::path(std::u8string(gapPath.begin(), gapPath.end())), error)) {
        fileio::Contents contents = fileio::readGapFile(gapPath);
        if (contents.failure) {
            report.reportFailure(*contents.failure);
            return false;
        }
        bytes = std::move(contents.bytes);
    }
    player_->stop();
    peaks_ = std::move(read.peaks);
    recording_ = recording;
    gap_ = gap;
    loadGap(std::move(bytes));
    view_->setContent(&*peaks_, &list_);
    view_->setFocus();
    updateTitle();
    return true;
}

void RecordingWindow::loadGap(std::vector<std::uint8_t> bytes) {
    silences::Decoded decoded = silences::decodeFile(GapBytes(bytes));
    notice_.clear();
    if (decoded.valid) {
        list_ = std::move(decoded.list);
    } else {
        list_.clear();
        notice_ = fromUtf8(silences::invalidFileNotice(gap_.toStdString()));
    }
    loaded_ = std::move(bytes);
    undo_.clear();
    view_->select(std::nullopt);
    view_->update();
    showStatus();
}

bool RecordingWindow::settleUnsaved() {
    if (undo_.isClean())
        return true;
    const QString text =
        tr("The silences of \"%1\" have changed. Save them?").arg(QFileInfo(gap_).fileName());
    switch (asker_->ask(this, Asker::Question::UnsavedChanges, text)) {
    case Asker::Answer::Save:
        return save();
    case Asker::Answer::Discard:
        return true;
    default:
        return false;
    }
}

bool RecordingWindow::save() {
    if (gap_.isEmpty())
        return false;
    const std::string path = gap_.toStdString();
    const std::vector<std::uint8_t> bytes = silences::encode(list_);
    const auto fail = [this](const Failure& failure) {
        notice_ = fromUtf8(failure.sentence());
        showStatus();
        workbench_.actionView().reportFailure(failure);
        return false;
    };
    std::optional<std::vector<std::uint8_t>> accepted; // what the user chose to overwrite
    for (;;) {
        fileio::Locking locking = fileio::lockForWriting(path, fileio::IfMissing::create);
        if (locking.failure)
            return fail(*locking.failure);
        const fileio::Contents now = locking.lock->read();
        if (now.failure)
            return fail(*now.failure);
        if (now.bytes == loaded_ || (accepted && now.bytes == *accepted)) {
            if (const auto failure = locking.lock->replace(bytes))
                return fail(*failure);
            break;
        }
        // Changed since it was read: nobody waits on the lock while the user decides.
        locking.lock.reset();
        const QString text = tr("\"%1\" has changed on disk since it was loaded. Reload it and "
                                "lose the changes made here, or overwrite it with them?")
                                 .arg(QFileInfo(gap_).fileName());
        switch (asker_->ask(this, Asker::Question::ChangedOnDisk, text)) {
        case Asker::Answer::Reload: {
            fileio::Contents fresh = fileio::readGapFile(path);
            if (fresh.failure)
                return fail(*fresh.failure);
            loadGap(std::move(fresh.bytes));
            return false;
        }
        case Asker::Answer::Overwrite:
            accepted = now.bytes;
            continue;
        default:
            return false;
        }
    }
    loaded_ = bytes;
    notice_.clear();
    undo_.setClean();
    showStatus();
    actions::takeWrittenFile(workbench_.actionView(), path);
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

// --- Editing ----------------------------------------------------------------------------

void RecordingWindow::setSilences(std::vector<Silence> list, std::optional<std::size_t> select) {
    list_ = std::move(list);
    view_->select(select, view_->selectedEdge());
    showStatus();
}

void RecordingWindow::detect() {
    audio::DetectOptions options;
    const QString threshold = threshold_->text().trimmed();
    if (!threshold.isEmpty() &&
        threshold.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0) {
        options.thresholdDb = audio::thresholdFromText(threshold.toStdString());
        if (!options.thresholdDb) {
            notice_ = tr("The threshold is \"auto\" or a negative level in dBFS, such as -45.");
            return showStatus();
        }
    }
    const std::optional<int> leastMs =
        audio::leastSilenceFromText(leastSilence_->text().trimmed().toStdString());
    if (!leastMs) {
        notice_ = tr("The least silence is a whole number of milliseconds from 1 to 32767.");
        return showStatus();
    }
    options.leastSilenceMs = *leastMs;
    auto opened = audio::SoundFile::open(recording_.toStdString());
    if (!opened.file) {
        notice_ = fromUtf8(opened.failure->sentence());
        return showStatus();
    }
    const audio::Detection detection = audio::detectSilences(*opened.file, options);
    if (detection.failure) {
        notice_ = fromUtf8(detection.failure->sentence());
        return showStatus();
    }
    std::vector<Silence> found = detection.silences;
    QStringList warnings;
    for (const std::string& warning : detection.warnings)
        warnings << fromUtf8(warning);
    undo_.push(new ListCommand(*this, tr("Detect Silences"), std::move(found), std::nullopt));
    notice_ = warnings.join(QLatin1String("; "));
    showStatus();
}

void RecordingWindow::moveEdge(std::size_t index, silences::Edge edge, int ms, int drag) {
    if (index >= list_.size())
        return;
    const int to = silences::edgeRange(list_, index, edge).clamp(ms);
    const std::int64_t current =
        edge == silences::Edge::Start ? list_[index].start : list_[index].end;
    if (to == current)
        return;
    std::vector<Silence> after = list_;
    (edge == silences::Edge::Start ? after[index].start : after[index].end) = to;
    undo_.push(new ListCommand(*this, tr("Move Edge"), std::move(after), index, drag));
}

void RecordingWindow::moveSelectedEdge(int by) {
    const std::optional<std::size_t> index = view_->selected();
    if (!index)
        return;
    const Silence& silence = list_[*index];
    const silences::Edge edge = view_->selectedEdge();
    moveEdge(*index, edge,
             static_cast<int>(edge == silences::Edge::Start ? silence.start : silence.end) + by,
             -1);
}

void RecordingWindow::addSilence(const Silence& silence) {
    if (!silences::freeRoomAround(list_, static_cast<int>(silence.start)) ||
        !silences::freeRoomAround(list_, static_cast<int>(silence.end)))
        return;
    std::vector<Silence> after = list_;
    const std::size_t index = silences::insertionIndex(list_, silence);
    after.insert(after.begin() + static_cast<std::ptrdiff_t>(index), silence);
    if (!silences::isValid(after))
        return;
    undo_.push(new ListCommand(*this, tr("Add Silence"), std::move(after), index));
}

void RecordingWindow::removeSelected() {
    const std::optional<std::size_t> index = view_->selected();
    if (!index)
        return;
    std::vector<Silence> after = list_;
    after.erase(after.begin() + static_cast<std::ptrdiff_t>(*index));
    undo_.push(new ListCommand(*this, tr("Delete Silence"), std::move(after), std::nullopt));
}

void RecordingWindow::selectNeighbour(int step) {
    if (list_.empty())
        return;
    const auto last = static_cast<std::ptrdiff_t>(list_.size()) - 1;
    const std::optional<std::size_t> now = view_->selected();
    const std::ptrdiff_t next =
        now ? std::clamp(static_cast<std::ptrdiff_t>(*now) + step, std::ptrdiff_t{0}, last)
            : (step > 0 ? 0 : last);
    const Silence& silence = list_[static_cast<std::size_t>(next)];
    view_->select(static_cast<std::size_t>(next), silences::Edge::Start);
    const auto start = static_cast<double>(silence.start);
    const auto end = static_cast<double>(silence.end);
    if (view_->xAt(start) < 0 || view_->xAt(end) > view_->width())
        view_->setView((start + end) / 2.0 - view_->width() * view_->msPerPixel() / 2,
                       view_->msPerPixel());
}

// --- Listening --------------------------------------------------------------------------

void RecordingWindow::togglePlay() {
    if (player_->isPlaying())
        return player_->stop();
    play(std::nullopt, view_->pointerMs());
}

void RecordingWindow::playSelected() {
    const std::optional<std::size_t> index = view_->selected();
    if (!index)
        return;
    const Silence& silence = list_[*index];
    play(static_cast<double>(silence.end) + kPlayMargin,
         std::max(0.0, static_cast<double>(silence.start) - kPlayMargin));
}

void RecordingWindow::play(std::optional<double> toMs, double fromMs) {
    if (recording_.isEmpty() || player_->unavailableReason())
        return;
    player_->play(recording_, fromMs, toMs);
    if (player_->isPlaying())
        play_->setText(tr("Stop"));
}

// --- What the window shows --------------------------------------------------------------

QString RecordingWindow::statusText() const {
    return status_->text();
}

void RecordingWindow::showStatus() {
    std::optional<Silence> selected;
    if (const auto index = view_->selected(); index && *index < list_.size())
        selected = list_[*index];
    QString line = fromUtf8(silences::statusLine(
        recording_.isEmpty()
            ? std::nullopt
            : std::optional<int>(static_cast<int>(std::lround(view_->pointerMs()))),
        selected));
    if (!notice_.isEmpty())
        line += (line.isEmpty() ? QString() : QStringLiteral("   ")) + notice_;
    status_->setText(line);
}

void RecordingWindow::syncScrollBar() {
    const QSignalBlocker blocker(scroll_);
    const double perPixel = view_->msPerPixel();
    const double widthPx = view_->width();
    scroll_->setRange(
        0, static_cast<int>(std::max(0.0, std::ceil(view_->totalMs() / perPixel - widthPx))));
    scroll_->setPageStep(std::max(1, static_cast<int>(widthPx)));
    scroll_->setSingleStep(std::max(1, static_cast<int>(widthPx / 10)));
    scroll_->setValue(static_cast<int>(std::lround(view_->viewStartMs() / perPixel)));
}

void RecordingWindow::updateTitle() {
    const QString name = recording_.isEmpty() ? QString() : QFileInfo(recording_).fileName();
    setWindowTitle(tr("Recording - %1[*]").arg(name));
    setWindowModified(!undo_.isClean());
}

} // namespace ravik
