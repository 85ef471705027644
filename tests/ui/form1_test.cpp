// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Form2.hpp"
#include "ui/Form3.hpp"
#include "ui/Form4.hpp"
#include "ui/symbolimage.hpp"
#include "ui/timelinepicture.hpp"
#include "uitest.hpp"

#include <QApplication>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace ravik::test {
namespace {

using Lines = std::vector<std::string>;

const Lines kTwoSilencesGraph{">> Designing Graph", "Silence:  100 (64) - 300 (12C)",
                              "Silence:  1000 (3E8) - 1200 (4B0)"};
const std::string kCorrect = ">> GAP format is correct !";

Lines joined(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class Form1Test : public MainWindowTest {
protected:
    QString twoSilences() { return file("two silences.gap", records({{100, 300}, {1000, 1200}})); }
    QString misplaced() { return file("misplaced.gap", records({{100, 200}, {150, 300}})); }
    QColor verdictColour() const {
        return window.findChild<QLineEdit*>("txtValidate")->palette().color(QPalette::Text);
    }
};

TEST_F(Form1Test, StartUpWithAPathWithBlanksDrawsAndChecksWithoutALoadedLine) {
    const QString path = twoSilences();
    window.startWith(path);

    EXPECT_EQ(text("txtPath"), path);
    EXPECT_EQ(statusLines(), joined(kTwoSilencesGraph, {kCorrect}));
    EXPECT_EQ(text("txtCount"), "2");
    EXPECT_EQ(text("txtMin"), "Bigger than  1200 msecs.");
    EXPECT_EQ(text("txtLength"), " 400");
    EXPECT_EQ(text("txtValidate"), "Correct");
    EXPECT_EQ(verdictColour(), QColor(0, 0, 0));
}

TEST_F(Form1Test, OpenLoadsTheChosenFileWithTheGapFilter) {
    const QString path = twoSilences();
    answer(path);

    click("cmO");

    EXPECT_EQ(
        statusLines(),
        joined(joined({">> Loaded File: " + path.toStdString()}, kTwoSilencesGraph), {kCorrect}));
    ASSERT_EQ(questions.size(), 1U);
    EXPECT_EQ(questions[0].mode, FileChooser::Mode::Open);
    EXPECT_EQ(questions[0].filter, "GAP files (*.gap)");
    EXPECT_EQ(questions[0].parent, &window);
    EXPECT_EQ(window.cmDialog1().Filter, "GAP files (*.gap) | *.gap");
}

TEST_F(Form1Test, CancelAfterAnOpenLoadsTheSameFileAgain) {
    const QString path = twoSilences();
    answer(path);
    answer(std::nullopt);
    click("cmO");

    click("cmO");

    EXPECT_EQ(questions[1].start, path); // the dialog offers the name chosen before
    EXPECT_EQ(
        statusLines(),
        joined(joined({">> Loaded File: " + path.toStdString()}, kTwoSilencesGraph), {kCorrect}));
}

TEST_F(Form1Test, CancelBeforeAnyChoiceLoadsNothingAndEmptiesTheVerdictShown) {
    const QString path = twoSilences();
    window.startWith(path);
    ASSERT_EQ(text("txtValidate"), "Correct");
    answer(std::nullopt);

    click("cmO");

    EXPECT_EQ(statusLines(), Lines{"No File Loaded..."});
    EXPECT_EQ(text("txtValidate"), "");
    EXPECT_EQ(text("txtPath"), path);
}

TEST_F(Form1Test, IncorrectThenCorrectFileTurnsTheVerdictFromRedToBlack) {
    answer(misplaced());
    click("cmO");
    EXPECT_EQ(text("txtValidate"), "Incorrect !");
    EXPECT_EQ(verdictColour(), QColor(255, 0, 0));
    EXPECT_EQ(statusLines().back(),
              "Error: GAP possibly overwritten; Silence starting at offset 8 is misplaced.");

    answer(twoSilences());
    click("cmO");
    EXPECT_EQ(text("txtValidate"), "Correct");
    EXPECT_EQ(verdictColour(), QColor(0, 0, 0));
}

TEST_F(Form1Test, MissingFileIsReportedOnceNotCreatedAndNeverCorrect) {
    window.startWith(twoSilences());
    const QString missing = QString::fromStdString(dir.file("missing.gap"));
    answer(missing);

    click("cmO");

    const std::string reason =
        "Could not open \"" + missing.toStdString() +
        "\": " + std::make_error_code(std::errc::no_such_file_or_directory).message() + ".";
    EXPECT_EQ(statusLines(), (Lines{">> Loaded File: " + missing.toStdString(),
                                    ">> Designing Graph", ">> " + reason}));
    EXPECT_EQ(text("txtValidate"), "");
    EXPECT_EQ(text("txtCount"), "");
    EXPECT_TRUE(window.findChild<TimelinePicture*>("GAP")->boxes().empty());
    EXPECT_FALSE(std::filesystem::exists(missing.toStdString()));
}

// Both the timeline and the check try to read it; it is said once.
TEST_F(Form1Test, StartUpWithAFolderReportsItInOneLine) {
    const std::string folder = dir.file("folder.gap");
    std::filesystem::create_directory(folder);

    window.startWith(QString::fromStdString(folder));

    EXPECT_EQ(statusLines(), (Lines{">> Designing Graph", ">> Could not open \"" + folder +
                                                              "\": It is a folder, not a file."}));
}

TEST_F(Form1Test, ManyLinesArriveWholeAndInOrderAcrossBatches) {
    // Beyond two batches of 32,768 lines, with a part batch at the end.
    constexpr std::size_t kCount = 2 * 32768 + 3;
    StatusLines lines;
    Lines expected{"before"};
    for (std::size_t i = 0; i < kCount; ++i) {
        expected.push_back("line " + std::to_string(i));
        lines.add(expected.back());
    }
    window.appendStatus("before");

    window.appendStatus(lines);

    EXPECT_EQ(statusLines(), expected);
    const auto* list = window.findChild<QAbstractItemView*>("Sts");
    EXPECT_TRUE(list->viewport()->rect().contains(
        list->visualRect(list->model()->index(static_cast<int>(kCount), 0)).center()))
        << "the last line is in view";
}

TEST_F(Form1Test, RefreshWithoutAFileDoesNothingAndWithOneDrawsAgainWithoutChecking) {
    click("cmR");
    EXPECT_TRUE(statusLines().empty());

    window.startWith(twoSilences());
    click("cmR");
    EXPECT_EQ(statusLines(), joined(joined(kTwoSilencesGraph, {kCorrect}), kTwoSilencesGraph));
}

TEST_F(Form1Test, PictureShowsTheSilencesBlueAndTheSpeechBlack) {
    window.startWith(twoSilences()); // boxes over [32.75, 98.25] and [327.5, 393]
    auto* picture = window.findChild<TimelinePicture*>("GAP");

    const QImage image = picture->grab().toImage();

    const auto colourAt = [&](int x) { return QColor(image.pixel(x, image.height() / 2)); };
    for (int x : {33, 65, 97, 328, 392})
        EXPECT_EQ(colourAt(x), QColor(0, 0, 255)) << "column " << x;
    for (int x : {0, 31, 99, 200, 326})
        EXPECT_EQ(colourAt(x), QColor(0, 0, 0)) << "column " << x;
}

TEST_F(Form1Test, AGapFileDroppedOnTheWindowOpensLikeTheOpenCommand) {
    const QString path = twoSilences();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(300, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(300, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);

    QApplication::sendEvent(&window, &drop);

    EXPECT_EQ(text("txtPath"), path);
    EXPECT_EQ(
        statusLines(),
        joined(joined({">> Loaded File: " + path.toStdString()}, kTwoSilencesGraph), {kCorrect}));
}

TEST_F(Form1Test, ShortcutsOpenAndRefresh) {
    answer(twoSilences());
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(questions.size(), 1U);

    const std::size_t lines = statusLines().size();
    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_EQ(statusLines().size(), lines + kTwoSilencesGraph.size());
}

TEST_F(Form1Test, SecondaryWindowsExistOnceAndDoNotBlockTheMainWindow) {
    click("cmA");
    Form2* about = window.form2();
    click("cmA");
    EXPECT_EQ(window.form2(), about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(Form1Test, ExitClosesEveryWindow) {
    click("cmT");
    click("Command2");
    ASSERT_TRUE(window.form3()->isVisible() && window.form4()->isVisible());

    click("cmX");

    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.form3()->isVisible());
    EXPECT_FALSE(window.form4()->isVisible());
}

// --- The button row -------------------------------------------------------------------

class ButtonRowTest : public MainWindowTest {
protected:
    bool raised(const char* name) const { return button(name)->isVisible(); }
    QPoint centreOf(const char* name) const { return button(name)->geometry().center(); }
};

TEST_F(ButtonRowTest, StartsFlatWithNewGapAlwaysRaised) {
    for (const char* name : {"cmO", "cmR", "cmT", "cmX", "cmA"})
        EXPECT_FALSE(raised(name)) << name;
    EXPECT_TRUE(raised("Command2"));
}

TEST_F(ButtonRowTest, PointerOverAnImageRaisesItsButtonWhichStaysUnderAStillPointer) {
    QTest::mouseMove(&window, centreOf("cmO"));
    EXPECT_TRUE(raised("cmO"));
    EXPECT_FALSE(window.findChild<SymbolImage*>("imO")->isVisible());

    QTest::qWait(50); // Qt's own moves for the widgets shown and hidden under the pointer
    EXPECT_TRUE(raised("cmO"));
    QTest::mouseMove(&window, centreOf("cmO") + QPoint(1, 1));
    EXPECT_TRUE(raised("cmO"));
}

TEST_F(ButtonRowTest, MovingAlongTheRowKeepsEverySlotCrossedRaisedUntilTheBackground) {
    for (const char* name : {"cmO", "cmR", "cmT", "cmX", "cmA"})
        QTest::mouseMove(&window, centreOf(name));
    for (const char* name : {"cmO", "cmR", "cmT", "cmX", "cmA"})
        EXPECT_TRUE(raised(name)) << name;

    QTest::mouseMove(&window, {148, 65}); // fields, labels and the list do nothing
    QTest::mouseMove(&window, {20, 48});
    QTest::mouseMove(&window, {200, 150});
    EXPECT_TRUE(raised("cmA"));

    QTest::mouseMove(&window, {100, 36}); // the background between the row and the fields
    for (const char* name : {"cmO", "cmR", "cmT", "cmX", "cmA"})
        EXPECT_FALSE(raised(name)) << name;
    EXPECT_TRUE(raised("Command2"));
}

TEST_F(ButtonRowTest, MoveOverAChildHandedUpToTheWindowDoesNotFlattenTheRow) {
    QTest::mouseMove(&window, centreOf("cmT"));
    // Qt hands a move over a child without mouse tracking up to its parent.
    QMouseEvent passedUp(QEvent::MouseMove, QPointF(20, 48), window.mapToGlobal(QPointF(20, 48)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &passedUp);
    EXPECT_TRUE(raised("cmT"));
}

// Click a slot, leave it for the path field, cross the background: the row is flat again,
// whatever the click did with the keyboard focus.
class ButtonClickTest : public ButtonRowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ButtonClickTest, BackgroundFlattensTheRowAfterAClick) {
    answer(std::nullopt); // the open dialog, cancelled
    click(GetParam());
    window.activateWindow(); // back from the window the click opened, focus as the click left it
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QTest::mouseMove(&window, {240, 22}); // the path field
    QTest::mouseMove(&window, {100, 36}); // the background
    QTest::qWait(20);

    for (const char* name : {"cmO", "cmR", "cmT", "cmX", "cmA"})
        EXPECT_FALSE(raised(name)) << name;
}

INSTANTIATE_TEST_SUITE_P(Slots, ButtonClickTest, ::testing::Values("cmO", "cmR", "cmT", "cmA"),
                         [](const auto& row) { return std::string(row.param); });

TEST_F(ButtonRowTest, KeyboardFocusOutlivesTheFlatteningAndTabRaisesTheNextSlot) {
    button("Command2")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(raised("cmO"));

    QTest::mouseMove(&window, {100, 36});
    EXPECT_FALSE(raised("cmO"));
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "imO"); // still on the slot

    answer(std::nullopt);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(questions.size(), 1U) << "Space presses the flat slot's button";

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(raised("cmR"));
    EXPECT_FALSE(raised("cmO"));
    EXPECT_EQ(QApplication::focusWidget(), button("cmR"));
}

TEST_F(ButtonRowTest, EveryButtonIsReachedByTheKeyboard) {
    window.activateWindow();
    button("Command2")->setFocus();
    std::vector<std::string> reached;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    EXPECT_EQ(reached, (std::vector<std::string>{"cmO", "cmR", "cmT", "cmX", "cmA"}));
}

} // namespace
} // namespace ravik::test
