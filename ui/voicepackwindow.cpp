// SPDX-License-Identifier: GPL-3.0-or-later
#include "voicepackwindow.hpp"

#include "core/files/fileio.hpp"
#include "pack/batchengine.hpp"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>

namespace ravik {

namespace vp = voicepack;

namespace {

// "1 line", "2 lines": the window's texts are English only.
QString counted(std::size_t count, const QString& one, const QString& many) {
    return QString::number(count) + ' ' + (count == 1 ? one : many);
}

} // namespace

/// One scan of some rows, run by the batch engine, shared by it and the window.
struct VoicePackWindow::ScanJob {
    std::vector<std::pair<int, vp::Line>> work;
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::vector<std::pair<int, vp::Scan>> results; ///< not yet taken by the window
    std::size_t scanned = 0;                       ///< the rows scanned, the first ones
    bool ended = false;
    std::size_t delivered = 0; ///< the window's count
};

/// One batch, run by one task of the pool (which works on the lines with threads of its own).
struct VoicePackWindow::BatchJob {
    bool detect = true;
    std::vector<int> rows;
    std::vector<vp::Line> lines;
    vp::BatchOptions options;
    std::atomic<bool> cancel{false};
    std::atomic<std::size_t> done{0};
    std::atomic<bool> finished{false};
    vp::Batch result;
};

/// A look at the files of every scanned line, for changes made elsewhere.
struct VoicePackWindow::CheckJob {
    struct Seen {
        int row = 0;
        vp::Line line;
        vp::Stamp gap;
        vp::Stamp recording;
    };
    std::vector<Seen> seen;
    std::atomic<bool> finished{false};
    /// The rows whose files changed, with where their GAP file is now (none: gone).
    std::vector<std::pair<int, std::optional<std::string>>> changed;
};

VoicePackWindow::VoicePackWindow(VoicePackHost host, QWidget* parent)
    : QMainWindow(parent)
    , host_(std::move(host))
    , asker_(makeMessageBoxAsker())
    , dialog_(this)
    , filter_(this)
    , table_(new QTableView)
    , text_(new QLineEdit)
    , status_(new QComboBox)
    , panes_(new QTabWidget)
    , findings_(new QPlainTextEdit)
    , report_(new QPlainTextEdit)
    , counts_(new QLabel)
    , progress_(new QProgressBar)
    , cancel_(new QPushButton(tr("&Cancel"))) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    filter_.setSourceModel(&model_);
    filter_.setDynamicSortFilter(true);
    table_->setModel(&filter_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(VoicePackModel::LineColumn, Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setSectionResizeMode(VoicePackModel::LineColumn,
                                                     QHeaderView::Stretch);
    // A path too long for its column loses its middle, not its name; its tooltip shows it whole.
    table_->setTextElideMode(Qt::ElideMiddle);
    // Tab leaves the table for the next control, as it leaves every other one.
    table_->setTabKeyNavigation(false);
    // Wide enough for the longest status and a whole time, measured once, not row by row.
    const QFontMetrics metrics = table_->fontMetrics();
    table_->setColumnWidth(
        VoicePackModel::StatusColumn,
        metrics.horizontalAdvance(QStringLiteral("disagrees with its recording")) + 16);
    table_->setColumnWidth(VoicePackModel::ChangedColumn,
                           metrics.horizontalAdvance(QStringLiteral("2026-12-07 14:06:00")) + 16);
    for (const int column : {VoicePackModel::FormatColumn, VoicePackModel::LengthColumn,
                             VoicePackModel::SilencesColumn})
        table_->setColumnWidth(column, metrics.horizontalAdvance(QStringLiteral("Silences")) + 24);
    table_->setWordWrap(false);
    for (QPlainTextEdit* pane : {findings_, report_}) {
        pane->setReadOnly(true);
        pane->setLineWrapMode(QPlainTextEdit::NoWrap);
        pane->setTabChangesFocus(true);
    }
    panes_->addTab(findings_, tr("&Findings"));
    panes_->addTab(report_, tr("Last &Batch"));

    auto* top = new QWidget;
    auto* layout = new QVBoxLayout(top);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buildFilters());
    layout->addWidget(table_);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(top);
    splitter->addWidget(panes_);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    statusBar()->addWidget(counts_, 1);
    statusBar()->addPermanentWidget(progress_);
    statusBar()->addPermanentWidget(cancel_);
    progress_->setMaximumWidth(200);
    progress_->hide();
    cancel_->hide();
    buildActions();

    connect(cancel_, &QPushButton::clicked, this, &VoicePackWindow::cancel);
    connect(table_, &QTableView::activated, this, &VoicePackWindow::openSelectedInRecordingWindow);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        // The current row follows the selection, so that the focus coming back to the table
        // (by Tab) keeps the selection rather than selecting the current row alone.
        const QModelIndexList selected = table_->selectionModel()->selectedRows();
        if (!selected.isEmpty() &&
            !table_->selectionModel()->isRowSelected(table_->currentIndex().row(), QModelIndex()))
            table_->selectionModel()->setCurrentIndex(selected.front(),
                                                      QItemSelectionModel::NoUpdate);
        panes_->setCurrentWidget(findings_);
        showFindings();
        updateActions();
    });
    // The selected line's findings follow every change of it: a scan, a batch, a listing again.
    connect(&model_, &QAbstractItemModel::dataChanged, this, &VoicePackWindow::showFindings);
    connect(&model_, &QAbstractItemModel::modelReset, this, &VoicePackWindow::showFindings);
    // The counts are of what the filter shows.
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&filter_, signal, this, &VoicePackWindow::updateCounts);
    connect(&filter_, &QAbstractItemModel::modelReset, this, &VoicePackWindow::updateCounts);
    connect(&filter_, &QAbstractItemModel::layoutChanged, this, &VoicePackWindow::updateCounts);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (scan_ || batch_)
            cancel();
    });
    setTabOrder(text_, status_);
    setTabOrder(status_, table_);
    setTabOrder(table_, panes_);
    setTabOrder(panes_, findings_);
    setTabOrder(findings_, report_);
    collector_.setInterval(100);
    connect(&collector_, &QTimer::timeout, this, &VoicePackWindow::collect);
    recheckTimer_.setInterval(kRecheckMs);
    connect(&recheckTimer_, &QTimer::timeout, this, &VoicePackWindow::recheck);
    resize(900, 600);
    updateActions();
}

VoicePackWindow::~VoicePackWindow() {
    cancel();
    pool_.waitForDone();
}

QWidget* VoicePackWindow::buildFilters() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 4, 4, 0);
    text_->setPlaceholderText(tr("Filter lines"));
    text_->setClearButtonEnabled(true);
    status_->addItem(tr("Every status"), -1);
    for (std::size_t i = 0; i < vp::kStatusCount; ++i)
        status_->addItem(QString::fromUtf8(vp::statusName(static_cast<vp::Status>(i))),
                         static_cast<int>(i));
    layout->addWidget(text_, 1);
    layout->addWidget(status_);
    connect(text_, &QLineEdit::textChanged, &filter_, &VoicePackFilter::setText);
    connect(status_, &QComboBox::currentIndexChanged, this, [this] {
        const int status = status_->currentData().toInt();
        filter_.setStatus(status < 0 ? std::nullopt
                                     : std::optional<vp::Status>(static_cast<vp::Status>(status)));
    });
    return row;
}

void VoicePackWindow::buildActions() {
    QMenu* pack = menuBar()->addMenu(tr("&Pack"));
    QMenu* lines = menuBar()->addMenu(tr("&Lines"));
    QToolBar* bar = addToolBar(tr("Lines"));
    bar->setObjectName(QStringLiteral("linesToolBar"));
    const auto make = [this](QMenu* menu, const QString& text, const QKeySequence& key,
                             void (VoicePackWindow::*slot)()) {
        auto* action = new QAction(text, this);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        menu->addAction(action);
        return action;
    };
    detect_ =
        make(lines, tr("&Detect"), QKeySequence(tr("Ctrl+D")), &VoicePackWindow::detectSelected);
    defrag_ =
        make(lines, tr("De&frag"), QKeySequence(tr("Ctrl+G")), &VoicePackWindow::defragSelected);
    undo_ =
        make(lines, tr("&Undo Last Batch"), QKeySequence::Undo, &VoicePackWindow::undoLastBatch);
    lines->addSeparator();
    openRecording_ = make(lines, tr("Open in &Recording Window"), QKeySequence(tr("Ctrl+R")),
                          &VoicePackWindow::openSelectedInRecordingWindow);
    openMain_ = make(lines, tr("Open in &Main Window"), QKeySequence(tr("Ctrl+M")),
                     &VoicePackWindow::openSelectedInMainWindow);
    export_ = make(pack, tr("&Export Report..."), QKeySequence(tr("Ctrl+E")),
                   &VoicePackWindow::exportReport);
    QAction* rescan = pack->addAction(tr("&Scan Again"));
    rescan->setShortcut(QKeySequence(Qt::Key_F5));
    connect(rescan, &QAction::triggered, this, &VoicePackWindow::scanAgain);
    QAction* fit = pack->addAction(tr("&Fit the Line Column"));
    connect(fit, &QAction::triggered, this, &VoicePackWindow::fitLineColumn);
    pack->addSeparator();
    QAction* close = pack->addAction(tr("&Close"), this, &QWidget::close);
    close->setShortcut(QKeySequence(tr("Ctrl+W")));
    for (QAction* action : {detect_, defrag_, undo_, openRecording_, openMain_, export_})
        bar->addAction(action);
}

void VoicePackWindow::setAsker(std::unique_ptr<Asker> asker) {
    asker_ = std::move(asker);
}

void VoicePackWindow::setChooser(std::unique_ptr<FileChooser> chooser) {
    dialog_.setChooser(std::move(chooser));
}

void VoicePackWindow::openFolder(const QString& folder) {
    QElapsedTimer clock;
    clock.start();
    cancel();
    pool_.waitForDone();
    scan_.reset();
    retired_.clear();
    batch_.reset();
    check_.reset();
    lastBatch_.reset();
    folder_ = folder;
    setWindowTitle(tr("Voice Pack - %1").arg(QDir::toNativeSeparators(folder)));
    vp::Listing listing = vp::listPack(folder.toStdString());
    model_.setLines(std::move(listing.lines));
    QString failures;
    for (const Failure& failure : listing.failures)
        failures += QString::fromStdString(failure.sentence()) + '\n';
    report_->setPlainText(failures);
    if (!failures.isEmpty())
        panes_->setCurrentWidget(report_);
    listingMs_ = clock.elapsed();
    std::vector<int> rows(model_.lines().size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    startScan(std::move(rows));
    if (isVisible())
        recheckTimer_.start();
}

// Files are looked at again only while the window shows them.
void VoicePackWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!folder_.isEmpty())
        recheckTimer_.start();
}

void VoicePackWindow::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    recheckTimer_.stop();
}

// The rows of `job` not yet scanned; the engine scans its rows in order, so they are the last.
std::vector<int> VoicePackWindow::unscannedRows(ScanJob& job) {
    const std::lock_guard lock(job.mutex);
    std::vector<int> rows;
    for (std::size_t i = job.scanned; i < job.work.size(); ++i)
        rows.push_back(job.work[i].first);
    return rows;
}

void VoicePackWindow::startScan(std::vector<int> rows) {
    if (scan_) {
        // The rows still waiting in the scan under way are scanned in the new one; what its
        // engine scans now is still taken in.
        scan_->cancel = true;
        const std::vector<int> waiting = unscannedRows(*scan_);
        rows.insert(rows.end(), waiting.begin(), waiting.end());
        retired_.push_back(std::move(scan_));
    }
    std::ranges::sort(rows);
    rows.erase(std::ranges::unique(rows).begin(), rows.end());
    auto job = std::make_shared<ScanJob>();
    for (int row : rows)
        job->work.emplace_back(row, model_.line(row));
    scan_ = job;
    const auto jobs = static_cast<unsigned>(std::max(1, QThread::idealThreadCount()));
    pool_.start([this, job, jobs] {
        vp::runInOrder<vp::Scan>(
            job->work.size(), vp::BatchRun{jobs, &job->cancel, {}},
            [&](std::size_t i) { return vp::scanLine(job->work[i].second); },
            [&](std::size_t i) { return vp::outOfMemoryScan(job->work[i].second); },
            [&](std::size_t i, vp::Scan& scan) {
                const std::lock_guard lock(job->mutex);
                job->results.emplace_back(job->work[i].first, std::move(scan));
                job->scanned = i + 1;
                return true;
            });
        {
            const std::lock_guard lock(job->mutex);
            job->ended = true;
        }
        // The end has the window take the rest in at once, not at the next tick. The window
        // waits for its jobs before it goes, so `this` outlives them.
        QMetaObject::invokeMethod(this, &VoicePackWindow::collect, Qt::QueuedConnection);
    });
    setProgress(0, job->work.size());
    collector_.start();
    updateActions();
}

void VoicePackWindow::collect() {
    // A scan given up takes in what it scanned, but for the rows the scan after it scans again,
    // which may be scanned there first.
    std::set<int> rescanned;
    if (scan_)
        for (const auto& [row, line] : scan_->work)
            rescanned.insert(row);
    std::erase_if(retired_, [&](const std::shared_ptr<ScanJob>& job) {
        bool ended = false;
        std::vector<std::pair<int, vp::Scan>> results;
        {
            const std::lock_guard lock(job->mutex);
            results.swap(job->results);
            ended = job->ended;
        }
        std::erase_if(results,
                      [&](const auto& result) { return rescanned.contains(result.first); });
        model_.setScans(std::move(results));
        return ended;
    });
    if (const std::shared_ptr<ScanJob> job = scan_) {
        bool ended = false;
        std::vector<std::pair<int, vp::Scan>> results;
        {
            const std::lock_guard lock(job->mutex);
            results.swap(job->results);
            ended = job->ended;
        }
        job->delivered += results.size();
        model_.setScans(std::move(results));
        if (scan_ == job) {
            setProgress(job->delivered, job->work.size());
            if (ended) {
                scan_.reset();
                updateCounts();
                updateActions();
                emit scanFinished();
            }
        }
        updateCounts();
    }
    if (batch_) {
        setProgress(batch_->done, batch_->lines.size());
        if (batch_->finished)
            finishBatch();
    }
    if (check_ && check_->finished) {
        const std::shared_ptr<CheckJob> job = std::move(check_);
        std::vector<int> rows;
        for (const auto& [row, gap] : job->changed) {
            if (model_.line(row).gap != gap)
                model_.setGap(row, gap);
            rows.push_back(row);
        }
        if (!rows.empty())
            startScan(std::move(rows));
    }
    if (!scan_ && !batch_ && !check_ && retired_.empty()) {
        collector_.stop();
        progress_->hide();
        cancel_->hide();
    }
}

void VoicePackWindow::recheck() {
    if (scan_ || batch_ || check_)
        return;
    auto job = std::make_shared<CheckJob>();
    for (int row = 0; row < model_.rowCount(); ++row)
        if (const std::optional<vp::Scan>& scan = model_.scan(row))
            job->seen.push_back({row, model_.line(row), scan->gapStamp, scan->recordingStamp});
    check_ = job;
    pool_.start([job] {
        for (const CheckJob::Seen& seen : job->seen) {
            const std::string gapPath = seen.line.gapPath();
            const vp::Stamp gap = vp::stampOf(gapPath);
            if (gap == seen.gap && vp::stampOf(seen.line.recording) == seen.recording)
                continue;
            // A GAP file gone from beside its recording leaves a line without one; one gone
            // alone stays the line, which then cannot be read.
            const bool gone = gap == vp::Stamp{} && seen.line.recording;
            job->changed.emplace_back(seen.row,
                                      gone ? std::nullopt : std::optional<std::string>(gapPath));
        }
        job->finished = true;
    });
    collector_.start();
}

void VoicePackWindow::setProgress(std::size_t done, std::size_t total) {
    progress_->setRange(0, static_cast<int>(total));
    progress_->setValue(static_cast<int>(done));
    progress_->setVisible(done < total);
    cancel_->setVisible(done < total);
}

void VoicePackWindow::cancel() {
    for (const std::shared_ptr<ScanJob>& job : retired_)
        job->cancel = true;
    if (scan_)
        scan_->cancel = true;
    if (batch_)
        batch_->cancel = true;
}

std::vector<int> VoicePackWindow::selectedRows() const {
    std::vector<std::pair<int, int>> rows; // the table's row, the model's
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows.emplace_back(index.row(), filter_.mapToSource(index).row());
    std::ranges::sort(rows);
    std::vector<int> model;
    for (const auto& [shown, row] : rows)
        model.push_back(row);
    return model;
}

void VoicePackWindow::detectSelected() {
    const std::vector<int> rows = selectedRows();
    int replaced = 0;
    for (int row : rows)
        replaced += model_.line(row).gap && model_.line(row).recording ? 1 : 0;
    bool replace = false;
    if (replaced > 0) {
        const QString question =
            counted(static_cast<std::size_t>(replaced), tr("GAP file"), tr("GAP files")) +
            tr(" will be replaced by what Detect finds; each is kept as FILE~ first. Replace "
               "them?");
        if (asker_->ask(this, Asker::Question::ReplaceFiles, question) != Asker::Answer::Overwrite)
            return;
        replace = true;
    }
    startBatch(true, rows, replace);
}

void VoicePackWindow::defragSelected() {
    startBatch(false, selectedRows(), false);
}

void VoicePackWindow::startBatch(bool detect, std::vector<int> rows, bool replaceExisting) {
    if (batch_ || rows.empty())
        return;
    const std::size_t selected = rows.size();
    // The scan gives way to the batch: the rows it did not reach are scanned after the batch.
    if (scan_) {
        scan_->cancel = true;
        const std::vector<int> waiting = unscannedRows(*scan_);
        rows.insert(rows.end(), waiting.begin(), waiting.end());
    }
    auto job = std::make_shared<BatchJob>();
    job->detect = detect;
    job->options.replaceExisting = replaceExisting;
    job->options.jobs = static_cast<unsigned>(std::max(1, QThread::idealThreadCount()));
    // Only the rows selected are worked on; the others ride along to be scanned after it.
    for (std::size_t i = 0; i < selected; ++i)
        job->lines.push_back(model_.line(rows[i]));
    job->rows = std::move(rows);
    batch_ = job;
    pool_.start([job] {
        const auto progress = [&](std::size_t done, std::size_t) { job->done = done; };
        job->result = job->detect
                          ? vp::detectLines(job->lines, job->options, job->cancel, progress)
                          : vp::defragLines(job->lines, job->options, job->cancel, progress);
        job->finished = true;
    });
    setProgress(0, job->lines.size());
    collector_.start();
    updateActions();
}

void VoicePackWindow::finishBatch() {
    const std::shared_ptr<BatchJob> job = std::move(batch_);
    const vp::Batch& batch = job->result;
    QString report = (job->detect ? tr("Detect") : tr("Defrag")) +
                     tr(": %1 of %2 lines done, %3 files written, %4 failed%5.\n")
                         .arg(batch.done)
                         .arg(job->lines.size())
                         .arg(batch.replaced.size())
                         .arg(batch.failures.size())
                         .arg(batch.cancelled ? tr(", cancelled") : QString());
    for (const Failure& failure : batch.failures)
        report += QString::fromStdString(failure.sentence()) + '\n';
    for (const std::string& note : batch.notes)
        report += QString::fromStdString(note) + ".\n";
    if (!batch.replaced.empty())
        lastBatch_ = batch;
    // Every row the batch touched, and those the scan had not reached, are scanned again.
    for (std::size_t i = 0; i < job->lines.size(); ++i) {
        const std::string gapPath = job->lines[i].gapPath();
        if (!model_.line(job->rows[i]).gap && vp::stampOf(gapPath) != vp::Stamp{})
            model_.setGap(job->rows[i], gapPath);
    }
    startScan(job->rows);
    showReport(report);
    updateActions();
    emit batchFinished();
}

void VoicePackWindow::undoLastBatch() {
    if (!lastBatch_ || batch_)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<Failure> refused = vp::undoBatch(*lastBatch_);
    QApplication::restoreOverrideCursor();
    QString report = tr("Undo Last Batch: %1 of %2 files put back")
                         .arg(lastBatch_->replaced.size() - refused.size())
                         .arg(lastBatch_->replaced.size());
    // The files refused are named where the user reads the outcome, each with its reason.
    if (!refused.empty())
        report += tr("; %1 refused, each named in Last Batch")
                      .arg(counted(refused.size(), tr("file"), tr("files")));
    report += QStringLiteral(".\n");
    for (const Failure& failure : refused)
        report += QString::fromStdString(failure.sentence()) + '\n';
    std::vector<int> rows;
    for (int row = 0; row < model_.rowCount(); ++row)
        for (const Replacement& done : lastBatch_->replaced)
            if (model_.line(row).gapPath() == done.path) {
                if (!done.existed && vp::stampOf(done.path) == vp::Stamp{})
                    model_.setGap(row, std::nullopt);
                rows.push_back(row);
            }
    lastBatch_.reset();
    startScan(rows);
    showReport(report);
    updateActions();
}

void VoicePackWindow::openSelectedInRecordingWindow() {
    const std::vector<int> rows = selectedRows();
    if (rows.empty() || !host_.openRecording)
        return;
    const vp::Line& line = model_.line(rows.front());
    if (!line.recording) {
        statusBar()->showMessage(
            tr("\"%1\" has no recording.").arg(QString::fromStdString(line.name)), 10'000);
        return;
    }
    host_.openRecording(QString::fromStdString(*line.recording),
                        QString::fromStdString(line.gapPath()));
}

void VoicePackWindow::openSelectedInMainWindow() {
    const std::vector<int> rows = selectedRows();
    if (rows.empty() || !host_.openInMain)
        return;
    const vp::Line& line = model_.line(rows.front());
    if (!line.gap) {
        statusBar()->showMessage(
            tr("\"%1\" has no GAP file.").arg(QString::fromStdString(line.name)), 10'000);
        return;
    }
    host_.openInMain(QString::fromStdString(*line.gap));
}

void VoicePackWindow::exportReport() {
    std::vector<int> rows = selectedRows();
    if (rows.empty())
        for (int row = 0; row < model_.rowCount(); ++row)
            rows.push_back(row);
    // Suggested where the last report went, in its format, else in the pack's folder.
    const std::optional<QString> path = dialog_.chooseOther(
        this, FileChooser::Mode::Save,
        tr("CSV report (*.csv);;JSON report, as gaptool lint --json (*.json)"),
        !lastExport_.isEmpty() ? lastExport_
                               : QDir(folder_).filePath(QStringLiteral("report.csv")));
    if (!path)
        return;
    std::vector<vp::ReportRow> report;
    for (int row : rows) {
        const std::optional<vp::Scan>& scan = model_.scan(row);
        report.push_back({&model_.line(row), scan ? &*scan : nullptr});
    }
    const std::string text = path->endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
                                 ? lint::jsonReport(vp::lintFindings(report))
                                 : vp::csvReport(report);
    const std::string file = QDir::toNativeSeparators(*path).toStdString();
    if (const auto failure = fileio::replaceFile(
            file, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) {
        statusBar()->showMessage(QString::fromStdString(failure->sentence()));
        return;
    }
    lastExport_ = *path;
    statusBar()->showMessage(
        tr("Report of %1 written to %2.")
            .arg(counted(rows.size(), tr("line"), tr("lines")), QString::fromStdString(file)),
        10'000);
}

QString VoicePackWindow::findingsText() const {
    return findings_->toPlainText();
}

QString VoicePackWindow::reportText() const {
    return report_->toPlainText();
}

bool VoicePackWindow::reportShown() const {
    return panes_->currentWidget() == report_;
}

QString VoicePackWindow::countsText() const {
    return counts_->text();
}

void VoicePackWindow::showReport(const QString& report) {
    report_->setPlainText(report);
    panes_->setCurrentWidget(report_);
    statusBar()->showMessage(report.section('\n', 0, 0), 10'000);
}

void VoicePackWindow::scanAgain() {
    if (folder_.isEmpty() || batch_)
        return;
    // The selection and the first line in view are kept by the lines' names.
    std::vector<std::string> selected;
    for (const int row : selectedRows())
        selected.push_back(model_.line(row).name);
    const QModelIndex top = table_->indexAt(QPoint(0, 0));
    const std::string topName =
        top.isValid() ? model_.line(filter_.mapToSource(top).row()).name : std::string();
    cancel();
    pool_.waitForDone();
    collect();
    scan_.reset();
    retired_.clear();
    vp::Listing listing = vp::listPack(folder_.toStdString());
    model_.relist(std::move(listing.lines));
    QString failures;
    for (const Failure& failure : listing.failures)
        failures += QString::fromStdString(failure.sentence()) + '\n';
    if (!failures.isEmpty())
        showReport(failures);
    QItemSelection selection;
    for (int row = 0; row < filter_.rowCount(); ++row) {
        const QModelIndex shown = filter_.index(row, 0);
        const std::string& name = model_.line(filter_.mapToSource(shown).row()).name;
        if (std::ranges::find(selected, name) != selected.end())
            selection.select(shown, filter_.index(row, VoicePackModel::ColumnCount - 1));
        if (name == topName)
            table_->scrollTo(shown, QAbstractItemView::PositionAtTop);
    }
    table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
    std::vector<int> rows(model_.lines().size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    startScan(std::move(rows));
    updateCounts();
}

void VoicePackWindow::fitLineColumn() {
    QHeaderView& header = *table_->horizontalHeader();
    header.setSectionResizeMode(VoicePackModel::LineColumn, QHeaderView::Interactive);
    table_->resizeColumnToContents(VoicePackModel::LineColumn);
}

void VoicePackWindow::showFindings() {
    const std::vector<int> rows = selectedRows();
    if (rows.size() != 1)
        return;
    const int row = rows.front();
    const vp::Line& line = model_.line(row);
    QString text;
    for (const auto& path : {line.gap, line.recording})
        if (path)
            text += QString::fromStdString(*path) + '\n';
    if (const std::optional<vp::Scan>& scan = model_.scan(row)) {
        text += QString::fromUtf8(vp::statusName(scan->status)) + '\n';
        for (const lint::Finding& finding : scan->findings) {
            if (finding.offset)
                text += QString::number(*finding.offset) + QStringLiteral(": ");
            text += QString::fromUtf8(lint::kindName(finding.kind)) + QStringLiteral(": ") +
                    QString::fromStdString(finding.message) + '\n';
        }
    } else {
        text += tr("not scanned yet") + '\n';
    }
    if (text != findings_->toPlainText())
        findings_->setPlainText(text);
}

namespace {

// "correct 400, fragments 2, not scanned yet 3": the statuses that some line has.
QStringList statusCounts(const std::array<int, vp::kStatusCount + 1>& counts) {
    QStringList parts;
    for (std::size_t i = 0; i < vp::kStatusCount; ++i)
        if (counts[i] > 0)
            parts << QStringLiteral("%1 %2")
                         .arg(QString::fromUtf8(vp::statusName(static_cast<vp::Status>(i))))
                         .arg(counts[i]);
    if (counts[vp::kStatusCount] > 0)
        parts << QObject::tr("not scanned yet %1").arg(counts[vp::kStatusCount]);
    return parts;
}

} // namespace

void VoicePackWindow::updateCounts() {
    const std::size_t all = model_.lines().size();
    QStringList parts{counted(all, tr("line"), tr("lines"))};
    parts << statusCounts(model_.counts());
    // With a filter on, what it shows first, the whole apart.
    if (static_cast<std::size_t>(filter_.rowCount()) != all) {
        std::vector<int> shown;
        for (int row = 0; row < filter_.rowCount(); ++row)
            shown.push_back(filter_.mapToSource(filter_.index(row, 0)).row());
        QStringList filtered{
            tr("%1 of %2 shown").arg(shown.size()).arg(counted(all, tr("line"), tr("lines")))};
        filtered << statusCounts(model_.counts(shown));
        parts.front() = tr("all %1").arg(counted(all, tr("line"), tr("lines")));
        counts_->setText(filtered.join(QStringLiteral(", ")) + QStringLiteral("; ") +
                         parts.join(QStringLiteral(", ")));
        return;
    }
    counts_->setText(parts.join(QStringLiteral(", ")));
}

void VoicePackWindow::updateActions() {
    const bool any = table_->selectionModel()->hasSelection();
    const bool free = !batch_;
    detect_->setEnabled(any && free);
    defrag_->setEnabled(any && free);
    undo_->setEnabled(lastBatch_.has_value() && free);
    openRecording_->setEnabled(any);
    openMain_->setEnabled(any);
    export_->setEnabled(model_.rowCount() > 0);
}

} // namespace ravik
