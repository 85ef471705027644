// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/gaptoolrun.hpp"
#include "ui/voicepackwindow.hpp"
#include "uitest.hpp"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <functional>

namespace ravik::test {
namespace {
namespace fs = std::filesystem;
namespace vp = voicepack;

const fs::path kExamples = fs::path(RAVIK_SOURCE_FOLDER) / "examples";

// Runs the event loop until `done` holds or 60 s have passed.
bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 60'000)
        QTest::qWait(10);
    return done();
}

class VoicePackWindowTest : public ::testing::Test {
protected:
    VoicePackWindowTest()
        : window(VoicePackHost{[this](const QString& recording, const QString& gap) {
                                   opened.push_back(recording + '|' + gap);
                               },
                               [this](const QString& gap) { opened.push_back(gap); }}) {
        window.setAsker(std::make_unique<ScriptedAsker>(answers, questionsAsked, &asked));
    }

    std::string copy(const std::string& example, const std::string& as) const {
        fs::create_directories((pack.path() / as).parent_path());
        fs::copy_file(kExamples / example, pack.path() / as);
        return pack.file(as);
    }
    /// The pack with a line of each status a real recording gives.
    void makeEveryStatus() {
        copy("speech.gap", "act1/correct.gap");
        copy("speech.wav", "act1/correct.wav");
        writeBytes(pack.file("act1/disagrees.gap"), records({{100, 400}}));
        copy("speech.wav", "act1/disagrees.wav");
        copy("speech.wav", "act2/nogap.wav");
        copy("speech.gap", "act2/norecording.gap");
        copy("misplaced.gap", "act2/structure.gap");
        copy("speech.gap", "unreadable.gap");
        writeBytes(pack.file("unreadable.wav"), {'n', 'o', 't'});
    }
    void open() {
        window.openFolder(QString::fromStdString(pack.path().string()));
        ASSERT_TRUE(waitFor([&] { return !window.scanning(); }));
    }
    /// The table's row showing the line `name`, or -1.
    int shownRow(const QString& name) {
        for (int row = 0; row < window.filter().rowCount(); ++row)
            if (window.filter().index(row, VoicePackModel::LineColumn).data() == name)
                return row;
        return -1;
    }
    QString statusOf(const QString& name) {
        return window.filter()
            .index(shownRow(name), VoicePackModel::StatusColumn)
            .data()
            .toString();
    }
    void select(std::initializer_list<const char*> names) {
        window.table().clearSelection();
        for (const char* name : names) {
            const int row = shownRow(QString::fromUtf8(name));
            ASSERT_GE(row, 0) << name;
            window.table().selectionModel()->select(window.filter().index(row, 0),
                                                    QItemSelectionModel::Select |
                                                        QItemSelectionModel::Rows);
        }
    }
    void runBatch(const std::function<void()>& start) {
        start();
        ASSERT_TRUE(waitFor([&] { return !window.batchRunning() && !window.scanning(); }));
    }

    TempDir pack;
    std::deque<Asker::Answer> answers;
    std::vector<Asker::Question> questionsAsked;
    std::vector<QString> asked;
    std::vector<QString> opened;
    VoicePackWindow window;
};

TEST_F(VoicePackWindowTest, NamesShowAtOnceAndEveryStatusStreamsIn) {
    makeEveryStatus();
    window.openFolder(QString::fromStdString(pack.path().string()));
    EXPECT_EQ(window.model().rowCount(), 6); // before any scan came back
    EXPECT_EQ(window.windowTitle(),
              "Voice Pack - " +
                  QDir::toNativeSeparators(QString::fromStdString(pack.path().string())));
    ASSERT_TRUE(waitFor([&] { return !window.scanning(); }));
    EXPECT_EQ(statusOf("act1/correct"), "correct");
    EXPECT_EQ(statusOf("act1/disagrees"), "disagrees with its recording (9)");
    EXPECT_EQ(statusOf("act2/nogap"), "no GAP file");
    EXPECT_EQ(statusOf("act2/norecording"), "no recording");
    EXPECT_EQ(statusOf("act2/structure"), "structure incorrect");
    EXPECT_EQ(statusOf("unreadable"), "unreadable");
    EXPECT_EQ(window.countsText(),
              "6 lines, unreadable 1, structure incorrect 1, no GAP file 1, no recording 1, "
              "disagrees with its recording 1, correct 1");
    const int row = shownRow("act1/correct");
    EXPECT_EQ(window.filter().index(row, VoicePackModel::FormatColumn).data(), "WAV");
    EXPECT_EQ(window.filter().index(row, VoicePackModel::SilencesColumn).data(), "7");
}

TEST_F(VoicePackWindowTest, SortsByStatusWorstFirstAndFiltersByTextAndStatus) {
    makeEveryStatus();
    open();
    window.table().sortByColumn(VoicePackModel::StatusColumn, Qt::AscendingOrder);
    EXPECT_EQ(window.filter().index(0, VoicePackModel::LineColumn).data(), "unreadable");
    EXPECT_EQ(window.filter().index(5, VoicePackModel::StatusColumn).data(), "correct");
    window.table().sortByColumn(VoicePackModel::LineColumn, Qt::DescendingOrder);
    EXPECT_EQ(window.filter().index(0, VoicePackModel::LineColumn).data(), "unreadable");
    EXPECT_EQ(window.filter().index(1, VoicePackModel::LineColumn).data(), "act2/structure");

    auto* text = window.findChild<QLineEdit*>();
    QTest::keyClicks(text, "ACT1/");
    EXPECT_EQ(window.filter().rowCount(), 2);
    text->clear();
    auto* status = window.findChild<QComboBox*>();
    status->setCurrentIndex(status->findText("no GAP file"));
    ASSERT_EQ(window.filter().rowCount(), 1);
    EXPECT_EQ(window.filter().index(0, 0).data(), "act2/nogap");
    status->setCurrentIndex(0);
    EXPECT_EQ(window.filter().rowCount(), 6);
}

TEST_F(VoicePackWindowTest, SelectedLineShowsLintAndVerifyFindings) {
    makeEveryStatus();
    open();
    select({"act1/disagrees"});
    EXPECT_TRUE(window.findingsText().contains("recording: disagrees.wav: "))
        << window.findingsText().toStdString();
    select({"act2/structure"});
    EXPECT_TRUE(window.findingsText().contains("16: structure: the structure check fails"))
        << window.findingsText().toStdString();
}

TEST_F(VoicePackWindowTest, EnterOpensTheLineInTheRecordingWindow) {
    makeEveryStatus();
    open();
    select({"act1/correct"});
    window.table().setCurrentIndex(window.filter().index(shownRow("act1/correct"), 0));
    QTest::keyClick(&window.table(), Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    // Paths as the walk joins them: in the system's spelling (C:\...\act1\correct.wav).
    const auto native = [&](const char* name) {
        return QDir::toNativeSeparators(QString::fromStdString(pack.file(name)));
    };
    EXPECT_EQ(opened[0], native("act1/correct.wav") + '|' + native("act1/correct.gap"));
    window.openSelectedInMainWindow();
    EXPECT_EQ(opened.at(1), native("act1/correct.gap"));
}

// With no line selected the report is of every line; its JSON is gaptool lint --json's, byte for
// byte, since both take the same lines, pairs and findings.
TEST_F(VoicePackWindowTest, ExportIsGaptoolLintJsonOrACsvRowPerLine) {
    makeEveryStatus();
    writeBytes(pack.file("act2/broken.wav"), {'n', 'o'}); // a line of its own, unreadable
    open();
    const TempDir reports;
    std::deque<std::optional<QString>> paths{QString::fromStdString(reports.file("r.json")),
                                             QString::fromStdString(reports.file("r.csv"))};
    std::vector<ScriptedChooser::Question> questions;
    window.setChooser(std::make_unique<ScriptedChooser>(paths, questions));
    window.exportReport();
    const Bytes json = readBytes(reports.file("r.json"));
    // (the path as the system writes it: act2\\broken.wav in JSON on Windows)
    EXPECT_NE(std::string(json.begin(), json.end()).find("broken.wav"), std::string::npos);
    EXPECT_EQ(std::string(json.begin(), json.end()),
              gaptool({"lint", "--json", pack.path().string()}).out);
    window.exportReport();
    const Bytes csv = readBytes(reports.file("r.csv"));
    const std::string text(csv.begin(), csv.end());
    EXPECT_EQ(
        text.rfind("line,gap,recording,format,seconds,silences,status,changed,findings\r\n", 0),
        0u);
    const std::string recording =
        QDir::toNativeSeparators(QString::fromStdString(pack.file("act2/nogap.wav"))).toStdString();
    EXPECT_NE(text.find("\r\nact2/nogap,," + recording + ",WAV,7.280,,no GAP file,20"),
              std::string::npos)
        << text;
    // A record for each line after the header: findings of several lines stay in one field.
    std::size_t records = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2))
        ++records;
    EXPECT_EQ(records, 1u + 7u);
}

// Detect writes the missing GAP files as gaptool detect does, and asks before replacing any.
TEST_F(VoicePackWindowTest, DetectWritesMissingFilesAsGaptoolAndAsksBeforeReplacing) {
    makeEveryStatus();
    open();
    select({"act2/nogap"});
    runBatch([&] { window.detectSelected(); });
    EXPECT_TRUE(asked.empty());
    const TempDir other;
    fs::copy_file(kExamples / "speech.wav", other.path() / "nogap.wav");
    ASSERT_EQ(gaptool({"detect", other.file("nogap.wav")}).status, cli::ExitStatus::AllCorrect);
    EXPECT_EQ(readBytes(pack.file("act2/nogap.gap")), readBytes(other.file("nogap.gap")));
    EXPECT_EQ(statusOf("act2/nogap"), "correct");

    const Bytes before = readBytes(pack.file("act1/disagrees.gap"));
    select({"act1/disagrees", "act1/correct"});
    runBatch([&] { window.detectSelected(); }); // the script has no answer: cancelled
    ASSERT_EQ(questionsAsked, std::vector{Asker::Question::ReplaceFiles});
    EXPECT_TRUE(asked[0].startsWith("2 GAP files will be replaced")) << asked[0].toStdString();
    EXPECT_EQ(readBytes(pack.file("act1/disagrees.gap")), before);

    answers.push_back(Asker::Answer::Overwrite);
    runBatch([&] { window.detectSelected(); });
    EXPECT_EQ(readBytes(pack.file("act1/disagrees.gap~")), before);
    EXPECT_EQ(readBytes(pack.file("act1/disagrees.gap")), readBytes(other.file("nogap.gap")));
    EXPECT_EQ(statusOf("act1/disagrees"), "correct");
}

TEST_F(VoicePackWindowTest, DefragKeepsBackupsAndUndoRefusesAFileChangedSince) {
    const Bytes fragmented = records({{0, 20}, {100, 400}, {500, 530}});
    writeBytes(pack.file("a.gap"), fragmented);
    writeBytes(pack.file("b.gap"), fragmented);
    open();
    select({"a", "b"});
    runBatch([&] { window.defragSelected(); });
    EXPECT_EQ(readBytes(pack.file("a.gap")), records({{100, 400}}));
    EXPECT_EQ(readBytes(pack.file("b.gap~")), fragmented);

    const Bytes changed = records({{7, 900}});
    writeBytes(pack.file("b.gap"), changed);
    window.undoLastBatch();
    EXPECT_EQ(readBytes(pack.file("a.gap")), fragmented);
    EXPECT_EQ(readBytes(pack.file("b.gap")), changed);
    // The refusal is named where the user reads the outcome: the status bar says a file was
    // refused and where, and that pane shows, naming it and why.
    EXPECT_TRUE(window.statusBar()->currentMessage().contains(
        "1 of 2 files put back; 1 file refused, each named in Last Batch"))
        << window.statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(window.reportShown());
    EXPECT_TRUE(window.reportText().contains(QString::fromStdString(pack.file("b.gap"))) &&
                window.reportText().contains("changed since"))
        << window.reportText().toStdString();
}

TEST_F(VoicePackWindowTest, FileChangedOnDiskIsScannedAgain) {
    copy("speech.gap", "s.gap");
    open();
    EXPECT_EQ(statusOf("s"), "no recording");
    fs::copy_file(kExamples / "misplaced.gap", pack.path() / "s.gap",
                  fs::copy_options::overwrite_existing);
    // A clock that ticks coarsely could leave the time as it was: the size tells too.
    window.recheck();
    ASSERT_TRUE(waitFor([&] { return statusOf("s") == "structure incorrect"; }));
    fs::remove(pack.path() / "s.gap");
    window.recheck();
    ASSERT_TRUE(waitFor([&] { return statusOf("s") == "unreadable"; }));
}

// The main window opens the pack from Open Folder (Ctrl+Shift+O) and from a dropped folder.
class OpenFolderTest : public MainWindowTest {};

TEST_F(OpenFolderTest, CtrlShiftOAndADroppedFolderOpenTheVoicePackWindow) {
    writeBytes(dir.file("a.gap"), records({{100, 400}}));
    const QString folder = QString::fromStdString(dir.path().string());
    answer(folder);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].mode, FileChooser::Mode::Folder);
    ASSERT_NE(window.voicePackWindow(), nullptr);
    EXPECT_EQ(window.voicePackWindow()->windowTitle(),
              "Voice Pack - " + QDir::toNativeSeparators(folder));
    EXPECT_EQ(window.voicePackWindow()->model().rowCount(), 1);

    const TempDir other;
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(other.path().string()))});
    QDragEnterEvent enter(QPoint(300, 30), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(300, 30), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &drop);
    EXPECT_EQ(window.voicePackWindow()->folder(), QString::fromStdString(other.path().string()));
    EXPECT_EQ(window.voicePackWindow()->model().rowCount(), 0);
    EXPECT_TRUE(text("txtPath").isEmpty()); // the main window's file is not touched
}

// F5 lists the folder again: a recording copied in, a line removed and one renamed show, the
// others keep their status until scanned again; the selection and the first line in view stay.
TEST_F(VoicePackWindowTest, F5FindsNewRemovedAndRenamedLinesAndKeepsTheSelection) {
    for (int i = 0; i < 40; ++i)
        copy("speech.wav", "line" + std::to_string(10 + i) + ".wav");
    copy("speech.gap", "gone.gap");
    copy("speech.gap", "old-name.gap");
    window.resize(600, 300);
    window.show();
    open();
    window.table().scrollTo(window.filter().index(shownRow("line30"), 0),
                            QAbstractItemView::PositionAtTop);
    select({"line31", "line33"});
    fs::remove(pack.path() / "gone.gap");
    fs::rename(pack.path() / "old-name.gap", pack.path() / "new-name.gap");
    copy("speech.wav", "added.wav");
    QTest::keyClick(&window, Qt::Key_F5);
    ASSERT_TRUE(waitFor([&] { return !window.scanning(); }));
    EXPECT_GE(shownRow("added"), 0);
    EXPECT_GE(shownRow("new-name"), 0);
    EXPECT_EQ(shownRow("gone"), -1);
    EXPECT_EQ(shownRow("old-name"), -1);
    std::vector<std::string> selected;
    for (int row : window.selectedRows())
        selected.push_back(window.model().line(row).name);
    EXPECT_EQ(selected, (std::vector<std::string>{"line31", "line33"}));
    const QModelIndex top = window.table().indexAt(QPoint(0, 0));
    EXPECT_EQ(top.data().toString(), "line30");
    EXPECT_EQ(statusOf("added"), "no GAP file");
}

// A name too long for its column loses its middle; its tooltip holds the whole path, and the
// column can be fitted to its longest name.
TEST_F(VoicePackWindowTest, TheLineColumnCutsInTheMiddleShowsTheWholePathAndFits) {
    const std::string deep = "chapter one/scene seven/a character with a long name/take 12";
    copy("speech.gap", deep + ".gap");
    window.resize(500, 300);
    window.show();
    open();
    EXPECT_EQ(window.table().textElideMode(), Qt::ElideMiddle);
    const QModelIndex line = window.filter().index(shownRow(QString::fromStdString(deep)), 0);
    EXPECT_EQ(line.data(Qt::ToolTipRole).toString(),
              QDir::toNativeSeparators(QString::fromStdString(pack.file(deep + ".gap"))));
    const int before = window.table().columnWidth(VoicePackModel::LineColumn);
    window.fitLineColumn();
    EXPECT_GE(window.table().columnWidth(VoicePackModel::LineColumn),
              window.table().fontMetrics().horizontalAdvance(QString::fromStdString(deep)));
    EXPECT_GT(window.table().columnWidth(VoicePackModel::LineColumn), before);
}

// A batch that changes nothing (Defrag of lines without fragments) writes no file: bytes,
// times and backups as they were.
TEST_F(VoicePackWindowTest, DefragOfLinesWithoutFragmentsTouchesNoFile) {
    copy("speech.gap", "a.gap");
    copy("speech.gap", "b.gap");
    const auto time = fs::last_write_time(pack.path() / "a.gap");
    open();
    select({"a", "b"});
    runBatch([&] { window.defragSelected(); });
    EXPECT_EQ(fs::last_write_time(pack.path() / "a.gap"), time);
    EXPECT_EQ(namesIn(pack.path()), (std::vector<std::string>{"a.gap", "b.gap"}));
    EXPECT_TRUE(window.reportText().startsWith("Defrag: 2 of 2 lines done, 0 files written"))
        << window.reportText().toStdString();
}

// The Findings pane follows the selected line through a batch and a scan again, without the
// selection moving.
TEST_F(VoicePackWindowTest, TheFindingsFollowTheSelectedLineThroughABatchAndF5) {
    copy("speech.wav", "a.wav");
    open();
    select({"a"});
    EXPECT_TRUE(window.findingsText().contains("no GAP file"))
        << window.findingsText().toStdString();
    runBatch([&] { window.detectSelected(); });
    EXPECT_TRUE(window.findingsText().contains("correct")) << window.findingsText().toStdString();
    EXPECT_TRUE(window.findingsText().contains(QString::fromStdString(pack.file("a.gap"))));
    writeBytes(pack.file("a.gap"), records({{100, 120}}));
    window.scanAgain();
    ASSERT_TRUE(waitFor([&] { return !window.scanning(); }));
    EXPECT_TRUE(window.findingsText().contains("fragment")) << window.findingsText().toStdString();
}

// With a filter on, the status bar counts what it shows, and the whole apart.
TEST_F(VoicePackWindowTest, TheCountsAreOfWhatTheFilterShowsAndOfTheWhole) {
    makeEveryStatus();
    open();
    const QString whole = window.countsText();
    window.filter().setText(QStringLiteral("act2"));
    EXPECT_EQ(window.countsText(), "3 of 6 lines shown, structure incorrect 1, no GAP file 1, "
                                   "no recording 1; all 6 lines, unreadable 1, structure incorrect "
                                   "1, no GAP file 1, no recording 1, disagrees with its recording "
                                   "1, correct 1")
        << window.countsText().toStdString();
    window.filter().setText(QString());
    EXPECT_EQ(window.countsText(), whole);
}

// Escape cancels a running batch; every menu, action and button has a mnemonic; Tab goes round
// the window's controls and keeps the table's selection.
TEST_F(VoicePackWindowTest, EscapeCancelsMnemonicsEverywhereAndTabGoesRound) {
    // Enough lines that the batch is still running when the key comes (links to one file).
    copy("speech.wav", "line10.wav");
    for (int i = 1; i < 400; ++i)
        fs::create_hard_link(pack.path() / "line10.wav",
                             pack.path() / ("line" + std::to_string(10 + i) + ".wav"));
    window.show();
    open();
    window.table().selectAll();
    window.detectSelected();
    ASSERT_TRUE(window.batchRunning());
    QTest::keyClick(&window, Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return !window.batchRunning() && !window.scanning(); }));
    EXPECT_TRUE(window.reportText().contains("cancelled")) << window.reportText().toStdString();

    for (QAction* action : window.findChildren<QAction*>()) {
        if (!action->text().isEmpty() && !action->isSeparator() && action->parent() == &window) {
            EXPECT_TRUE(action->text().contains('&')) << action->text().toStdString();
        }
    }
    // Every menu with a title (the style may add one of its own without, as Windows' does).
    for (QMenu* menu : window.findChildren<QMenu*>()) {
        if (!menu->title().isEmpty()) {
            EXPECT_TRUE(menu->title().contains('&')) << menu->title().toStdString();
        }
    }
    EXPECT_GE(window.menuBar()->actions().size(), 2);
    for (QPushButton* button : window.findChildren<QPushButton*>())
        EXPECT_TRUE(button->text().contains('&')) << button->text().toStdString();

    select({"line12", "line14"});
    window.activateWindow();
    window.findChild<QLineEdit*>()->setFocus();
    std::vector<QWidget*> visited;
    for (int step = 0; step < 6; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    EXPECT_NE(std::ranges::find(visited, &window.table()), visited.end());
    EXPECT_NE(std::ranges::find(visited, window.findChild<QLineEdit*>()), visited.end())
        << "Tab does not come round to the filter again";
    EXPECT_EQ(window.selectedRows().size(), 2u);
}

// The export dialog suggests where the last report went, in its format.
TEST_F(VoicePackWindowTest, TheExportDialogSuggestsWhereTheLastReportWent) {
    copy("speech.gap", "a.gap");
    open();
    const TempDir reports;
    const QString chosen = QString::fromStdString(reports.file("chapter.json"));
    std::deque<std::optional<QString>> paths{chosen, std::nullopt};
    std::vector<ScriptedChooser::Question> questions;
    window.setChooser(std::make_unique<ScriptedChooser>(paths, questions));
    window.exportReport();
    window.exportReport();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(
        questions[0].start,
        QDir(QString::fromStdString(pack.path().string())).filePath(QStringLiteral("report.csv")));
    EXPECT_EQ(questions[1].start, chosen);
}

} // namespace
} // namespace ravik::test
