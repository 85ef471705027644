// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/formats.hpp"
#include "audio/testset.hpp"
#include "cli/gaptool.hpp"
#include "ui/player.hpp"
#include "ui/recordingwindow.hpp"
#include "ui/waveformview.hpp"
#include "uitest.hpp"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QToolTip>
#include <QUndoStack>
#include <filesystem>
#include <set>
#include <sstream>

namespace ravik::test {
namespace {

using test::PrintTo;

QAction* actionNamed(const QWidget& window, const QString& text) {
    for (QAction* action : window.findChildren<QAction*>())
        if (action->text() == text)
            return action;
    return nullptr;
}

QString shownTexts(const QWidget& window) {
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (label->isVisible())
            texts << label->text();
    for (const QTextEdit* text : window.findChildren<QTextEdit*>())
        if (text->isVisible())
            texts << text->toPlainText();
    return texts.join(QLatin1Char('\n'));
}

// 2 s at 48 kHz: digital silence, a square wave at 0.8 from 500 to 1500 ms, silence again.
constexpr int kLoudFrom = 500;
constexpr int kLoudTo = 1500;
constexpr int kLengthMs = 2000;

class RecordingWindowTest : public MainWindowTest {
protected:
    RecordingWindowTest() {
        testset::Recording made;
        made.sampleRate = 48'000;
        for (int i = 0; i < kLengthMs * 48; ++i) {
            const bool loud = i >= kLoudFrom * 48 && i < kLoudTo * 48;
            made.samples.push_back(loud ? (i / 24 % 2 == 0 ? 0.8F : -0.8F) : 0.0F);
        }
        wav = dir.file("take.wav");
        EXPECT_TRUE(testset::writeWav(made, wav));
        gap = dir.file("take.gap");
    }

    // Opens the recording with a GAP file holding `silences` (none: no file), at 1 ms a pixel.
    RecordingWindow& open(std::optional<Bytes> silences) {
        if (silences)
            writeBytes(gap, *silences);
        window.openRecording(QString::fromStdString(wav), QString::fromStdString(gap));
        RecordingWindow* recording = window.recordingWindow();
        recording->setAsker(std::make_unique<ScriptedAsker>(answers, asked));
        recording->resize(1200, 400);
        recording->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(recording));
        view().setView(0, 1.0);
        return *recording;
    }
    [[nodiscard]] RecordingWindow& recording() const { return *window.recordingWindow(); }
    [[nodiscard]] WaveformView& view() const { return recording().waveform(); }
    [[nodiscard]] QPoint at(double ms) const {
        return {static_cast<int>(std::lround(view().xAt(ms))), view().height() / 2};
    }
    void drag(double fromMs, std::initializer_list<double> throughMs) {
        QTest::mousePress(&view(), Qt::LeftButton, {}, at(fromMs));
        for (const double ms : throughMs)
            QTest::mouseMove(&view(), at(ms));
        QTest::mouseRelease(&view(), Qt::LeftButton, {}, at(*std::prev(throughMs.end())));
    }
    void key(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(&view(), static_cast<Qt::Key>(key), modifiers);
    }
    // Ctrl+R in the main window, on the GAP file `path`.
    void ctrlR(const std::string& path) {
        window.openPath(QString::fromStdString(path));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    }

    std::string wav;
    std::string gap;
    std::deque<Asker::Answer> answers;
    std::vector<Asker::Question> asked;
};

TEST_F(RecordingWindowTest, DraggedEdgeIsSavedToTheByteAsOneUndoStep) {
    open(records({{100, 400}, {1600, 1900}}));
    drag(400, {420, 437, 450});
    EXPECT_EQ(recording().undoStack().count(), 1); // the moves of one drag merge
    EXPECT_TRUE(recording().windowTitle().endsWith(QLatin1String("take.wav[*]")));
    EXPECT_TRUE(recording().isWindowModified());
    QTest::keyClick(&recording(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(readBytes(gap), records({{100, 450}, {1600, 1900}}));
    EXPECT_FALSE(recording().isWindowModified());
    // The main window took the file up, as after the Silence Info window's last write.
    EXPECT_EQ(text("txtPath"), QString::fromStdString(gap));
    EXPECT_EQ(text("txtCount"), QLatin1String("2"));
}

struct ClampRow {
    const char* name;
    double fromMs;
    double toMs;
    std::vector<Silence> expected;
};

class EdgeClampTest : public RecordingWindowTest, public ::testing::WithParamInterface<ClampRow> {};

// Neither neighbour can be crossed or touched, no silence shrinks to nothing, none leaves 0.
TEST_P(EdgeClampTest, StopsShortOfNeighboursAndTheStart) {
    const ClampRow& row = GetParam();
    open(records({{100, 400}, {600, 900}}));
    drag(row.fromMs, {row.toMs});
    EXPECT_EQ(recording().silenceList(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Recording, EdgeClampTest,
    ::testing::Values(ClampRow{"start_onto_previous", 600, 200, {{100, 400}, {400 + 1, 900}}},
                      ClampRow{"end_onto_next", 400, 700, {{100, 600 - 1}, {600, 900}}},
                      ClampRow{"end_past_its_start", 400, 50, {{100, 100 + 1}, {600, 900}}},
                      ClampRow{"start_before_zero", 100, -40, {{0, 400}, {600, 900}}}),
    test::RowName{});

// The keys move the selected edge 1 ms, with Shift 10 ms, and stop at the last millisecond.
TEST_F(RecordingWindowTest, ArrowKeysMoveTheEdgeUpToTheLastMillisecond) {
    open(records({{100, 400}, {32'750, 32'760}}));
    key(Qt::Key_Tab);
    key(Qt::Key_Tab); // the second silence, its start
    key(Qt::Key_Left);
    key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(recording().silenceList()[1], (Silence{32'750 - 11, 32'760}));
    view().select(1, silences::Edge::End);
    key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(recording().silenceList()[1].end, silences::kLastMs);
}

enum class Step { Nudge, FarNudge, OtherEdge, SameEdge, NextSilence, PreviousSilence, Drag, Save };

struct NudgeRow {
    const char* name;
    std::vector<Step> steps;
    int undoSteps;
};

class NudgeMergeTest : public RecordingWindowTest, public ::testing::WithParamInterface<NudgeRow> {
protected:
    // Clicks the selected silence's other edge, or the same one again.
    void clickEdge(bool other) {
        const Silence& silence = recording().silenceList().at(*view().selected());
        const bool start = (view().selectedEdge() == silences::Edge::Start) != other;
        QTest::mouseClick(&view(), Qt::LeftButton, {},
                          at(static_cast<double>(start ? silence.start : silence.end)));
    }
};

// Nudges of one edge in a row are one undo step, as a drag is; a nudge of another edge or
// silence, or another edit or a save in between, starts a new one. Undoing them all gives back
// the list as it was.
TEST_P(NudgeMergeTest, RepeatedNudgesOfOneEdgeAreOneStep) {
    open(records({{100, 400}, {600, 900}, {1600, 1900}}));
    const std::vector<Silence> was = recording().silenceList();
    key(Qt::Key_Tab); // the first silence's start
    for (const Step step : GetParam().steps) {
        switch (step) {
        case Step::Nudge:
            key(Qt::Key_Left);
            break;
        case Step::FarNudge:
            key(Qt::Key_Right, Qt::ShiftModifier);
            break;
        case Step::OtherEdge:
        case Step::SameEdge:
            clickEdge(step == Step::OtherEdge);
            break;
        case Step::NextSilence:
            key(Qt::Key_Tab);
            break;
        case Step::PreviousSilence:
            key(Qt::Key_Backtab, Qt::ShiftModifier);
            break;
        case Step::Drag:
            drag(1900, {1950});
            break;
        case Step::Save:
            QTest::keyClick(&recording(), Qt::Key_S, Qt::ControlModifier);
            break;
        }
    }
    EXPECT_NE(recording().silenceList(), was);
    EXPECT_EQ(recording().undoStack().count(), GetParam().undoSteps);
    for (int i = 0; i < GetParam().undoSteps; ++i)
        QTest::keyClick(&recording(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(recording().silenceList(), was);
}

using enum Step;
INSTANTIATE_TEST_SUITE_P(
    Recording, NudgeMergeTest,
    ::testing::Values(
        NudgeRow{"one_edge_again_and_again", {Nudge, Nudge, FarNudge, Nudge}, 1},
        NudgeRow{"the_same_edge_clicked_again", {Nudge, SameEdge, Nudge}, 1},
        NudgeRow{"another_edge_between", {Nudge, OtherEdge, Nudge, OtherEdge, Nudge}, 3},
        NudgeRow{"another_silence_between", {Nudge, NextSilence, Nudge, PreviousSilence, Nudge}, 3},
        NudgeRow{"a_drag_between", {Nudge, Drag, Nudge}, 3},
        NudgeRow{"a_save_between", {Nudge, Save, Nudge}, 2}),
    test::RowName{});

TEST_F(RecordingWindowTest, AddsDeletesUndoesAndRedoes) {
    open(records({{100, 400}}));
    drag(1000, {1050, 1100}); // in free room: a new silence
    const std::vector<Silence> added{{100, 400}, {1000, 1100}};
    EXPECT_EQ(recording().silenceList(), added);

    QTest::mouseClick(&view(), Qt::LeftButton, {}, at(250)); // selects the first
    key(Qt::Key_Delete);
    EXPECT_EQ(recording().silenceList(), (std::vector<Silence>{{1000, 1100}}));
    QStringList edits; // the Edit menu names what Undo undoes
    for (const QAction* action : recording().findChildren<QAction*>())
        edits << action->text();
    EXPECT_TRUE(edits.contains(QLatin1String("&Undo Delete Silence")))
        << edits.join(',').toStdString();

    QTest::keyClick(&recording(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(recording().silenceList(), added);
    QTest::keyClick(&recording(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(recording().silenceList(), (std::vector<Silence>{{100, 400}}));
    EXPECT_FALSE(recording().isWindowModified());
    QTest::keyClick(&recording(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(&recording(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(recording().silenceList(), (std::vector<Silence>{{1000, 1100}}));
}

// The window's Detect and gaptool detect give the same file for the same recording.
TEST_F(RecordingWindowTest, DetectThenSaveWritesWhatGaptoolDetectWrites) {
    const std::filesystem::path speech =
        std::filesystem::path(RAVIK_SOURCE_FOLDER) / "examples" / "speech.wav";
    wav = dir.file("speech.wav");
    std::filesystem::copy_file(speech, wav);
    gap = dir.file("speech.gap");
    open(std::nullopt);
    for (QPushButton* button : recording().findChildren<QPushButton*>())
        if (button->text() == QLatin1String("&Detect"))
            QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_FALSE(recording().silenceList().empty());
    QTest::keyClick(&recording(), Qt::Key_S, Qt::ControlModifier);

    std::ostringstream out;
    std::ostringstream err;
    const std::string fromGaptool = dir.file("gaptool.gap");
    ASSERT_EQ(cli::runGaptool({"detect", wav, "-o", fromGaptool}, out, err, "."),
              cli::ExitStatus::AllCorrect)
        << err.str();
    EXPECT_EQ(readBytes(gap), readBytes(fromGaptool));
}

struct DiskRow {
    const char* name;
    Asker::Answer answer;
    bool written;  // the file holds the window's list afterwards
    bool reloaded; // the window shows the file's list afterwards
};

class ChangedOnDiskTest : public RecordingWindowTest,
                          public ::testing::WithParamInterface<DiskRow> {};

// A file changed by somebody else since it was loaded is never silently overwritten or dropped.
TEST_P(ChangedOnDiskTest, SavingAsksFirst) {
    const DiskRow& row = GetParam();
    open(records({{100, 400}}));
    drag(1000, {1100});
    const Bytes theirs = records({{10, 20}, {30, 40}});
    writeBytes(gap, theirs);
    answers.push_back(row.answer);
    QTest::keyClick(&recording(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(asked, std::vector{Asker::Question::ChangedOnDisk});
    EXPECT_EQ(readBytes(gap), row.written ? records({{100, 400}, {1000, 1100}}) : theirs);
    if (row.reloaded) {
        EXPECT_EQ(recording().silenceList(), (std::vector<Silence>{{10, 20}, {30, 40}}));
    }
    EXPECT_EQ(recording().isWindowModified(), !row.written && !row.reloaded);
}

INSTANTIATE_TEST_SUITE_P(Recording, ChangedOnDiskTest,
                         ::testing::Values(DiskRow{"overwrite", Asker::Answer::Overwrite, true,
                                                   false},
                                           DiskRow{"reload", Asker::Answer::Reload, false, true},
                                           DiskRow{"cancel", Asker::Answer::Cancel, false, false}),
                         test::RowName{});

struct CloseRow {
    const char* name;
    Asker::Answer answer;
    bool closes;
    bool written;
};

class CloseTest : public RecordingWindowTest, public ::testing::WithParamInterface<CloseRow> {};

TEST_P(CloseTest, UnsavedChangesAreAskedAbout) {
    const CloseRow& row = GetParam();
    open(records({{100, 400}}));
    drag(1000, {1100});
    answers.push_back(row.answer);
    recording().close();
    EXPECT_EQ(asked, std::vector{Asker::Question::UnsavedChanges});
    EXPECT_EQ(recording().isVisible(), !row.closes);
    EXPECT_EQ(readBytes(gap),
              row.written ? records({{100, 400}, {1000, 1100}}) : records({{100, 400}}));
}

INSTANTIATE_TEST_SUITE_P(Recording, CloseTest,
                         ::testing::Values(CloseRow{"save", Asker::Answer::Save, true, true},
                                           CloseRow{"discard", Asker::Answer::Discard, true, false},
                                           CloseRow{"cancel", Asker::Answer::Cancel, false, false}),
                         test::RowName{});

// One window at a time: opening another recording in it settles the unsaved changes first.
TEST_F(RecordingWindowTest, OpeningAnotherAsksAboutUnsavedChanges) {
    open(records({{100, 400}}));
    drag(1000, {1100});
    const QString otherGap = QString::fromStdString(dir.file("other.gap"));
    answers.push_back(Asker::Answer::Cancel);
    window.openRecording(QString::fromStdString(wav), otherGap);
    EXPECT_EQ(recording().gapPath(), QString::fromStdString(gap)); // kept, with its changes
    EXPECT_TRUE(recording().isWindowModified());
    answers.push_back(Asker::Answer::Discard);
    window.openRecording(QString::fromStdString(wav), otherGap);
    EXPECT_EQ(recording().gapPath(), otherGap);
    EXPECT_FALSE(recording().isWindowModified());
    EXPECT_EQ(asked.size(), 2U);
    EXPECT_EQ(readBytes(gap), records({{100, 400}}));
}

TEST_F(RecordingWindowTest, CtrlROpensTheRecordingBesideTheGapFile) {
    writeBytes(gap, records({{100, 400}}));
    window.openPath(QString::fromStdString(gap));
    QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    ASSERT_NE(window.recordingWindow(), nullptr);
    EXPECT_EQ(window.recordingWindow()->windowTitle(), QLatin1String("Recording - take.wav[*]"));
    EXPECT_EQ(window.recordingWindow()->silenceList(), (std::vector<Silence>{{100, 400}}));
    EXPECT_TRUE(questions.empty());
}

// Without a recording beside the GAP file a dialog of its own asks for one, over the main
// window, in the GAP file's folder and then where the last one was chosen; the shared dialog's
// file name and filter stay the GAP files'. The recording is paired with the current file; one
// that cannot be read is named in the window and in the main window's list.
TEST_F(RecordingWindowTest, CtrlRAsksForTheRecordingInItsOwnDialog) {
    const std::string other = dir.file("other.gap");
    writeBytes(other, records({{100, 400}}));
    answer(QString::fromStdString(other));
    window.load();
    const QString folder =
        QString::fromStdString(std::filesystem::path(other).parent_path().string());
    const QString notSound = file("notes.wav", records({{1, 2}}));
    answer(notSound);
    QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    ASSERT_EQ(questions.size(), 2U);
    EXPECT_EQ(questions[1].start, folder);
    EXPECT_EQ(questions[1].parent, &window);
    // It offers the formats this build reads, and no other.
    const QStringList offered =
        questions[1].filter.section(QLatin1Char('('), 1).chopped(1).split(QLatin1Char(' '));
    for (const audio::RecordingFormat& format : audio::recordingFormats())
        for (std::string_view extension : format.extensions)
            EXPECT_EQ(
                offered.contains(QStringLiteral("*.") +
                                 QString::fromLatin1(extension.data(),
                                                     static_cast<qsizetype>(extension.size()))),
                format.readable)
                << questions[1].filter.toStdString();
    ASSERT_NE(window.recordingWindow(), nullptr);
    EXPECT_TRUE(shownTexts(*window.recordingWindow()).contains(notSound));
    const std::string last = statusLines().back();
    EXPECT_NE(last.find(notSound.toStdString()), std::string::npos) << last;

    const std::string elsewhere = dir.file("takes/take.wav");
    std::filesystem::create_directory(std::filesystem::path(elsewhere).parent_path());
    std::filesystem::copy_file(wav, elsewhere);
    answer(QString::fromStdString(elsewhere));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(questions.at(2).start, folder); // the unreadable one was in the GAP file's folder
    EXPECT_EQ(window.recordingWindow()->gapPath(), QString::fromStdString(other));
    EXPECT_EQ(window.recordingWindow()->silenceList(), (std::vector<Silence>{{100, 400}}));

    answer(std::nullopt);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(questions.at(3).start,
              QString::fromStdString(std::filesystem::path(elsewhere).parent_path().string()));

    answer(std::nullopt); // the open command offers the GAP file chosen before, as it did
    window.load();
    EXPECT_EQ(questions.at(4).start, QString::fromStdString(other));
    EXPECT_EQ(questions.at(4).filter, QLatin1String("GAP files (*.gap)"));
}

// A recording dropped on the main window opens with the GAP file beside it, not there yet.
TEST_F(RecordingWindowTest, DroppedRecordingPairsWithTheGapFileBesideIt) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(wav))});
    QDragEnterEvent enter(QPoint(300, 30), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(300, 30), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &drop);
    ASSERT_NE(window.recordingWindow(), nullptr);
    EXPECT_EQ(window.recordingWindow()->gapPath(), QString::fromStdString(gap));
    EXPECT_TRUE(window.recordingWindow()->silenceList().empty());
    EXPECT_TRUE(text("txtPath").isEmpty()); // the main window's file is not touched
}

TEST_F(RecordingWindowTest, PlayIsDisabledAndSaysWhyWithoutAnOutput) {
    open(records({{100, 400}}));
    const std::optional<QString> reason = Player().unavailableReason();
    if (!reason)
        GTEST_SKIP() << "this machine has an audio output";
    QPushButton* play = nullptr;
    for (QPushButton* button : recording().findChildren<QPushButton*>())
        if (button->text() == QLatin1String("Play"))
            play = button;
    ASSERT_NE(play, nullptr);
    EXPECT_FALSE(play->isEnabled());
    EXPECT_EQ(play->toolTip(), *reason);
    key(Qt::Key_Space); // and nothing happens
    EXPECT_FALSE(recording().isWindowModified());
}

// The waveform where the recording is loud, the boxes' blue where a silence is, the selected
// box lighter, and black elsewhere, each at a known time.
TEST_F(RecordingWindowTest, PaintsWaveformAndBoxesAtTheirTimes) {
    open(records({{100, 400}}));
    const int quarter =
        WaveformView::kRulerHeight + (view().height() - WaveformView::kRulerHeight) / 4;
    const int nearTop = WaveformView::kRulerHeight + 2;
    const auto pixel = [&](double ms, int y) {
        return view().grab().toImage().pixelColor(static_cast<int>(view().xAt(ms)), y).rgb();
    };
    const auto over = [](const QColor& colour) { // a translucent box over black
        return qRgb(colour.red() * colour.alpha() / 255, colour.green() * colour.alpha() / 255,
                    colour.blue() * colour.alpha() / 255);
    };
    const auto near = [](QRgb actual, QRgb expected) {
        return std::abs(qRed(actual) - qRed(expected)) <= 2 &&
               std::abs(qGreen(actual) - qGreen(expected)) <= 2 &&
               std::abs(qBlue(actual) - qBlue(expected)) <= 2;
    };
    EXPECT_PRED2(near, pixel(1000, quarter), WaveformView::kWave.rgb());
    EXPECT_PRED2(near, pixel(1000, nearTop), WaveformView::kBackground.rgb());
    EXPECT_PRED2(near, pixel(250, quarter), over(WaveformView::kSilence));
    EXPECT_PRED2(near, pixel(450, quarter), WaveformView::kBackground.rgb());
    QTest::mouseClick(&view(), Qt::LeftButton, {}, at(250));
    EXPECT_PRED2(near, pixel(300, quarter), over(WaveformView::kSelected));
}

struct PlayFromRow {
    const char* name;
    std::optional<Qt::Key> key; // else a click on the ruler at clickMs
    double clickMs;
    double expectedMs;
    bool set; // a play position of its own, drawn as such
};

class PlayFromTest : public RecordingWindowTest,
                     public ::testing::WithParamInterface<PlayFromRow> {};

// A click on the ruler, Home and End set the play position, which Space plays from, and scroll
// it into view; until one is set it is the pointer's time. A click on the ruler selects and
// edits nothing.
TEST_P(PlayFromTest, SetsWherePlayingStarts) {
    const PlayFromRow& row = GetParam();
    open(records({{100, 400}, {600, 900}}));
    QTest::mouseClick(&view(), Qt::LeftButton, {}, at(250)); // the pointer's last time
    view().setView(800, 0.5);                                // about 800 to 1400 ms in view
    if (row.key)
        key(*row.key);
    else
        QTest::mouseClick(&view(), Qt::LeftButton, {},
                          QPoint(static_cast<int>(std::lround(view().xAt(row.clickMs))),
                                 WaveformView::kRulerHeight / 2));
    EXPECT_DOUBLE_EQ(view().playFromMs(), row.expectedMs);
    EXPECT_EQ(view().hasPlayFrom(), row.set);
    EXPECT_EQ(view().selected(), std::optional<std::size_t>(0));
    EXPECT_EQ(recording().undoStack().count(), 0);
    if (!row.set)
        return;
    EXPECT_TRUE(view().scale().shows(row.expectedMs));
    // Its own line, not the play-head's nor the pointer's.
    const int middle = view().width() / 2;
    view().setPlayHead(view().msAt(middle));
    const QImage picture = view().grab().toImage();
    const int x = std::clamp(static_cast<int>(view().xAt(row.expectedMs)), 0, view().width() - 1);
    EXPECT_EQ(picture.pixelColor(x, view().height() * 3 / 4).rgb(), WaveformView::kPlayFrom.rgb());
    EXPECT_EQ(picture.pixelColor(middle, view().height() * 3 / 4).rgb(),
              WaveformView::kPlayHead.rgb());
}

INSTANTIATE_TEST_SUITE_P(
    Recording, PlayFromTest,
    ::testing::Values(PlayFromRow{"a_click_on_the_ruler", std::nullopt, 1200, 1200, true},
                      PlayFromRow{"home", Qt::Key_Home, 0, 0, true},
                      PlayFromRow{"end", Qt::Key_End, 0, kLengthMs, true},
                      PlayFromRow{"none_set_yet", Qt::Key_Plus, 0, 250, false}),
    test::RowName{});

// --- What the user chose is what happens -----------------------------------------------

// Discard drops the edits: opening the same file again neither asks nor shows them, and Save
// has nothing to write.
TEST_F(RecordingWindowTest, DiscardOnClosingDropsTheEdits) {
    open(records({{100, 400}, {600, 900}}));
    QTest::mouseClick(&view(), Qt::LeftButton, {}, at(250));
    key(Qt::Key_Delete);
    answers.push_back(Asker::Answer::Discard);
    QTest::keyClick(&recording(), Qt::Key_W, Qt::ControlModifier);
    ASSERT_FALSE(recording().isVisible());

    ctrlR(gap);
    EXPECT_EQ(asked.size(), 1U);
    EXPECT_TRUE(recording().isVisible());
    EXPECT_EQ(recording().silenceList(), (std::vector<Silence>{{100, 400}, {600, 900}}));
    EXPECT_FALSE(recording().isWindowModified());
    QTest::keyClick(&recording(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(readBytes(gap), records({{100, 400}, {600, 900}}));
}

// Cancel on quitting keeps every window open, asked once.
TEST_F(RecordingWindowTest, CancelOnQuittingKeepsEveryWindow) {
    open(records({{100, 400}}));
    drag(1000, {1100});
    answers.push_back(Asker::Answer::Cancel);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(asked, std::vector{Asker::Question::UnsavedChanges});
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(recording().isVisible());
    EXPECT_TRUE(recording().isWindowModified());
    EXPECT_EQ(recording().silenceList(), (std::vector<Silence>{{100, 400}, {1000, 1100}}));
}

struct UnreadableRow {
    const char* name;
    Bytes content; // of the recording that cannot be read
};

class FailedOpenTest : public RecordingWindowTest,
                       public ::testing::WithParamInterface<UnreadableRow> {};

// A recording that cannot be read leaves nothing of the one before on show: the window says
// what failed, naming the file, and Save writes nowhere.
TEST_P(FailedOpenTest, ShowsTheFailureAndNothingStale) {
    open(records({{100, 400}}));
    view().setPointerMs(1500);
    const std::string otherWav = dir.write("other.wav", GetParam().content);
    const std::string otherGap = dir.write("other.gap", records({{10, 20}}));
    ctrlR(otherGap);

    EXPECT_TRUE(recording().isVisible());
    EXPECT_FALSE(recording().windowTitle().contains(QLatin1String("take.wav")))
        << recording().windowTitle().toStdString();
    const QString shown = shownTexts(recording());
    EXPECT_TRUE(shown.contains(QString::fromStdString(otherWav))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QLatin1String("Pointer"))) << shown.toStdString();
    EXPECT_TRUE(recording().silenceList().empty());
    QTest::keyClick(&recording(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(readBytes(gap), records({{100, 400}}));
    EXPECT_EQ(readBytes(otherGap), records({{10, 20}}));
    EXPECT_TRUE(asked.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Recording, FailedOpenTest,
    ::testing::Values(UnreadableRow{"text_named_wav", Bytes{'n', 'o', 't', 'e', 's', '\n'}},
                      UnreadableRow{"truncated_wav",
                                    Bytes{'R', 'I', 'F', 'F', 36,  0,  0, 0, 'W', 'A', 'V',
                                          'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,   1,   0}}),
    test::RowName{});

// The reason a recording cannot be read is shown whole in place of the waveform, however long
// the path and narrow the window: wrapped, nothing cut off, and selectable to copy.
TEST_F(RecordingWindowTest, TheReasonIsShownWholeInPlaceOfTheWaveform) {
    open(records({{100, 400}}));
    recording().resize(420, 360);
    const std::string folder = dir.file(std::string(3 * 40, 'n'));
    std::filesystem::create_directory(folder);
    const std::string broken = (std::filesystem::path(folder) / "unreadable_take.wav").string();
    writeBytes(broken, Bytes{'n', 'o', 't', 'e', 's', '\n'});
    window.openRecording(QString::fromStdString(broken), QString::fromStdString(gap));

    EXPECT_FALSE(view().isVisible());
    auto* reason = recording().findChild<QTextEdit*>(QStringLiteral("problem"));
    ASSERT_NE(reason, nullptr);
    ASSERT_TRUE(reason->isVisible());
    EXPECT_TRUE(reason->toPlainText().contains(QString::fromStdString(broken)));
    EXPECT_TRUE(reason->textInteractionFlags() & Qt::TextSelectableByMouse);
    QApplication::processEvents();
    EXPECT_EQ(reason->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(reason->verticalScrollBar()->maximum(), 0);
    EXPECT_LE(reason->document()->size().width(), reason->viewport()->width());

    window.openRecording(QString::fromStdString(wav), QString::fromStdString(gap));
    EXPECT_TRUE(view().isVisible()); // and the waveform is back in its place
    EXPECT_FALSE(reason->isVisible());
}

struct PastEndRow {
    const char* name;
    Silence silence; // in a 2000 ms recording
    double atMs;     // where it is clicked
    bool past;
};

class PastTheEndTest : public RecordingWindowTest,
                       public ::testing::WithParamInterface<PastEndRow> {};

// A GAP file may list silences after its recording's end: they are drawn hatched over an area
// of their own, can be selected, and the status line and their tooltip say where the recording
// ends. One inside the recording is drawn and named as always.
TEST_P(PastTheEndTest, SilencesPastTheRecordingsEndAreDrawnApartAndNamed) {
    const PastEndRow& row = GetParam();
    open(records({{100, 400}, {row.silence.start, row.silence.end}}));
    view().setView(1000, 2.0); // 1000 ms to the end of every silence in view
    ASSERT_TRUE(view().scale().shows(static_cast<double>(row.silence.end)));
    QTest::mouseClick(&view(), Qt::LeftButton, {}, at(row.atMs));
    ASSERT_EQ(view().selected(), std::optional<std::size_t>(1));
    const QString note = QStringLiteral("past the recording's end at %1 ms").arg(kLengthMs);
    EXPECT_EQ(recording().statusText().contains(note), row.past)
        << recording().statusText().toStdString();

    QHelpEvent help(QEvent::ToolTip, at(row.atMs), view().mapToGlobal(at(row.atMs)));
    QApplication::sendEvent(&view(), &help);
    EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), row.past ? note : QString());
    QToolTip::hideText();

    // Past the end, the box is hatched (its colour and the area's in turn); inside, one colour.
    view().select(std::nullopt);
    const QImage picture = view().grab().toImage();
    const int y = view().height() / 4 * 3;
    std::set<QRgb> colours;
    for (double ms = row.atMs + 5; ms <= row.atMs + 40;
         ms += view().msPerPixel()) // not the pointer's line
        colours.insert(picture.pixelColor(static_cast<int>(view().xAt(ms)), y).rgb());
    EXPECT_EQ(colours.count(WaveformView::kHatch.rgb()) == 1, row.past);
    EXPECT_EQ(colours.count(WaveformView::kPastTheEnd.rgb()) == 1, row.past);
    EXPECT_EQ(colours.size() == 1, !row.past);
}

INSTANTIATE_TEST_SUITE_P(
    Recording, PastTheEndTest,
    ::testing::Values(PastEndRow{"wholly_past_the_end", {2100, 2400}, 2250, true},
                      PastEndRow{"across_the_end", {1900, 2100}, 2050, true},
                      PastEndRow{"inside_the_recording", {1600, 1900}, 1750, false}),
    test::RowName{});

class EnterDetectsTest : public RecordingWindowTest,
                         public ::testing::WithParamInterface<const char*> {};

// Enter in the threshold or the least-silence field detects, as the button does.
TEST_P(EnterDetectsTest, EnterInTheFieldDetects) {
    open(std::nullopt);
    auto* field = recording().findChild<QLineEdit*>(QLatin1String(GetParam()));
    ASSERT_NE(field, nullptr);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Return);
    // Quiet before 500 ms and after 1500 ms.
    ASSERT_EQ(recording().silenceList().size(), 2U);
    EXPECT_EQ(recording().silenceList()[0].start, 0);
    EXPECT_EQ(recording().undoStack().count(), 1);
}

INSTANTIATE_TEST_SUITE_P(Recording, EnterDetectsTest,
                         ::testing::Values("threshold", "leastSilence"),
                         [](const auto& row) { return std::string(row.param); });

// The waveform shows when the keys go to it: a frame in the highlight colour, gone when the
// focus is elsewhere.
TEST_F(RecordingWindowTest, TheWaveformMarksItsFocus) {
    open(records({{100, 400}}));
    const auto edge = [&] {
        return view().grab().toImage().pixelColor(0, view().height() / 2).rgb();
    };
    const QRgb highlight = view().palette().color(QPalette::Highlight).rgb();
    view().setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view().hasFocus(); }));
    EXPECT_EQ(edge(), highlight);
    auto* field = recording().findChild<QLineEdit*>(QStringLiteral("threshold"));
    ASSERT_NE(field, nullptr);
    field->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view().hasFocus(); }));
    EXPECT_NE(edge(), highlight);
}

// The window and its Play button lie inside the screen's available area: on the offscreen
// platform's 800 by 600 screen, and (CTest's ui_tests.scaled_screen) at twice the scale on a 1600
// by 1000 one, where the program has 800 by 500.
TEST_F(RecordingWindowTest, OpensInsideTheScreensAvailableArea) {
    window.openRecording(QString::fromStdString(wav), QString::fromStdString(gap));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&recording()));
    const QRect area = recording().screen()->availableGeometry();
    EXPECT_TRUE(area.contains(recording().frameGeometry()))
        << recording().frameGeometry().width() << "x" << recording().frameGeometry().height()
        << " at " << recording().x() << "," << recording().y() << " on " << area.width() << "x"
        << area.height();
    QPushButton* play = nullptr;
    for (QPushButton* button : recording().findChildren<QPushButton*>())
        if (button->text() == QLatin1String("Play"))
            play = button;
    ASSERT_NE(play, nullptr);
    EXPECT_TRUE(area.contains(QRect(play->mapToGlobal(QPoint(0, 0)), play->size())));
    EXPECT_TRUE(play->isVisible());
}

// Save and Delete Silence are offered only when they would do something; the pointer's time
// belongs to the recording shown.
TEST_F(RecordingWindowTest, ActionsAndStatusTellTheTruth) {
    open(records({{100, 400}}));
    QAction* save = actionNamed(recording(), QStringLiteral("&Save"));
    QAction* remove = actionNamed(recording(), QStringLiteral("&Delete Silence"));
    ASSERT_TRUE(save && remove);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
    QTest::mouseClick(&view(), Qt::LeftButton, {}, at(250));
    EXPECT_TRUE(remove->isEnabled());
    key(Qt::Key_Delete);
    EXPECT_TRUE(save->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
    QTest::keyClick(&recording(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(save->isEnabled()); // back to what the file holds

    view().setPointerMs(1900);
    testset::Recording shorter;
    shorter.sampleRate = 8'000;
    shorter.samples.assign(8'000, 0.5F); // 1 s
    const std::string shortWav = dir.file("short.wav");
    ASSERT_TRUE(testset::writeWav(shorter, shortWav));
    window.openRecording(QString::fromStdString(shortWav),
                         QString::fromStdString(dir.file("short.gap")));
    EXPECT_EQ(recording().statusText(), QLatin1String("Pointer 0 ms"));
}

} // namespace
} // namespace ravik::test
