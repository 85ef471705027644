// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/messages.hpp"
#include "ui/Form2.hpp"
#include "ui/Form3.hpp"
#include "ui/Form4.hpp"
#include "uitest.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace ravik::test {
namespace {

using Lines = std::vector<std::string>;

const Lines kGenericGraphAndCheck{">> Designing Graph", "Silence: 0 (0) -  1 (1)",
                                  ">> GAP format is correct !"};

// --- The Tools window ---------------------------------------------------------------------

class ToolsTest : public MainWindowTest {
protected:
    ToolsTest() { window.showForm3(); }
    void press(const char* name) {
        QTest::mouseClick(window.form3()->findChild<QPushButton*>(QLatin1String(name)),
                          Qt::LeftButton);
    }
};

TEST_F(ToolsTest, CreateGenericGapReplacesTheChosenFileAndMakesItCurrent) {
    const QString path = file("long.gap", records({{100, 200}, {300, 400}, {500, 600}}));
    answer(path);
    window.appendStatus("an earlier line");

    press("Command4");

    EXPECT_EQ(readBytes(path.toStdString()), records({{0, 1}}));
    EXPECT_EQ(text("txtPath"), path);
    Lines expected{">>Created Generic GAP at: " + path.toStdString()};
    expected.insert(expected.end(), kGenericGraphAndCheck.begin(), kGenericGraphAndCheck.end());
    EXPECT_EQ(statusLines(), expected);
    EXPECT_EQ(questions.at(0).mode, FileChooser::Mode::Save);
    EXPECT_EQ(questions.at(0).parent, window.form3()); // over the window it was asked from
}

TEST_F(ToolsTest, CancelledSaveDialogChangesNothingEvenWithANameFromBefore) {
    const QString loaded = file("a.gap", records({{100, 200}}));
    answer(loaded);
    click("cmO");
    const Lines before = statusLines();
    answer(std::nullopt);

    press("Command4");

    EXPECT_EQ(readBytes(loaded.toStdString()), records({{100, 200}}));
    EXPECT_EQ(text("txtPath"), loaded);
    EXPECT_EQ(statusLines(), before);
}

TEST_F(ToolsTest, GenericFileThatCannotBeWrittenSaysSoAndChangesNothingElse) {
    const QString loaded = file("a.gap", records({{100, 200}}));
    window.startWith(loaded);
    const std::size_t lines = statusLines().size();
    const QString unwritable = QString::fromStdString(dir.file("no folder/generic.gap"));
    answer(unwritable);

    press("Command4");

    EXPECT_EQ(text("txtPath"), loaded);
    ASSERT_EQ(statusLines().size(), lines + 1);
    EXPECT_EQ(
        statusLines().back().rfind(">> Could not create \"" + unwritable.toStdString() + "\": ", 0),
        0U);
}

TEST_F(ToolsTest, CheckTwiceAddsTheVerdictTwice) {
    window.startWith(file("a.gap", records({{100, 200}})));
    const std::size_t lines = statusLines().size();
    press("Command1");
    press("Command1");
    EXPECT_EQ(statusLines().size(), lines + 2);
    EXPECT_EQ(statusLines().back(), ">> GAP format is correct !");
}

TEST_F(ToolsTest, DefragOfAGenericFileDropsItsOnlySilenceAndRedraws) {
    const QString path = file("generic.gap", records({{0, 1}}));
    window.startWith(path);
    window.clearStatus();

    press("Command2");

    EXPECT_EQ(statusLines(),
              (Lines{">>>>> Initialising Defragging Function", "Frag detected:  0 (0) - 1 (1)",
                     " >> Defragging Finished Successfully", ">> Designing Graph"}));
    EXPECT_EQ(readBytes(path.toStdString()), Bytes{});
    EXPECT_EQ(text("txtCount"), "0");
}

// --- Undo of the last Defrag GAP or Create Generic GAP -----------------------------------

class UndoTest : public ToolsTest {
protected:
    // Ctrl+Z in the main window, or in `where`, made the active window as a user's click does.
    void undo(QWidget* where = nullptr) {
        QWidget* target = where ? where : &window;
        target->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(target));
        QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    }
    const Bytes before = records({{100, 120}, {300, 400}});
    const QString path = file("a.gap", before);
    const std::string shown = path.toStdString();
};

TEST_F(UndoTest, CtrlZAfterDefragPutsBackTheExactBytesThenRedrawsAndChecks) {
    window.startWith(path);
    press("Command2");
    ASSERT_EQ(readBytes(shown), records({{300, 400}}));
    window.clearStatus();

    undo();

    EXPECT_EQ(readBytes(shown), before);
    EXPECT_EQ(statusLines(),
              (Lines{">> Undone Defrag GAP: restored the previous content of " + shown,
                     ">> Designing Graph", "Silence:  100 (64) - 120 (78)",
                     "Silence:  300 (12C) - 400 (190)", ">> GAP format is correct !"}));
    EXPECT_EQ(text("txtCount"), "2");
}

TEST_F(UndoTest, CtrlZInTheToolsWindowUndoesGenericAndOnlyOnce) {
    answer(path);
    press("Command4");
    ASSERT_EQ(readBytes(shown), records({{0, 1}}));
    window.clearStatus();

    undo(window.form3());
    EXPECT_EQ(readBytes(shown), before);
    EXPECT_EQ(statusLines().at(0),
              ">> Undone Create Generic GAP: restored the previous content of " + shown);

    undo(window.form3());
    EXPECT_EQ(statusLines().back(), std::string(messages::kNothingToUndo));
    EXPECT_EQ(readBytes(shown), before);
}

TEST_F(UndoTest, OnlyTheLastOperationIsUndone) {
    const QString created = QString::fromStdString(dir.file("new.gap"));
    window.startWith(path);
    press("Command2"); // a.gap: first operation
    answer(created);
    press("Command4"); // new.gap: second operation, which undo takes back

    undo();
    EXPECT_FALSE(std::filesystem::exists(created.toStdString()));
    EXPECT_EQ(statusLines().back(),
              ">> Undone Create Generic GAP: removed the new file " + created.toStdString());
    EXPECT_EQ(text("txtCount"), "");

    undo();
    EXPECT_EQ(readBytes(shown), records({{300, 400}}));
    EXPECT_EQ(statusLines().back(), std::string(messages::kNothingToUndo));
}

TEST_F(UndoTest, AFileChangedSinceIsLeftAsItIsAndTheLineSaysWhy) {
    window.startWith(path);
    press("Command2");
    const Bytes changed = records({{300, 400}, {600, 700}});
    writeBytes(shown, changed);
    const std::size_t lines = statusLines().size();

    undo();

    EXPECT_EQ(readBytes(shown), changed);
    EXPECT_EQ(statusLines().size(), lines + 1);
    EXPECT_EQ(statusLines().back(), ">> Did not undo Defrag GAP on \"" + shown +
                                        "\": It has changed since Defrag GAP wrote it.");
}

TEST_F(ToolsTest, LinkToRegistryReportsInTheStatusList) {
    press("Command3");
    EXPECT_EQ(registrations, 1);
    EXPECT_EQ(statusLines(), Lines{"registered"});
}

// --- The Silence Info window --------------------------------------------------------------

class SilenceInfoTest : public MainWindowTest {
protected:
    SilenceInfoTest() { window.showForm4(); }
    QLineEdit* field(const char* name) {
        return window.form4()->findChild<QLineEdit*>(QLatin1String(name));
    }
    void press(const char* name) {
        QTest::mouseClick(window.form4()->findChild<QPushButton*>(QLatin1String(name)),
                          Qt::LeftButton);
    }
    void type(const char* name, const QString& text) {
        field(name)->clear();
        QTest::keyClicks(field(name), text);
    }
    void write(const QString& start, const QString& end) {
        type("Text1", start);
        type("Text2", end);
        press("Command1");
    }
    void finished() { window.form4()->findChild<QCheckBox*>("Check1")->setChecked(true); }
};

TEST_F(SilenceInfoTest, OpensWithTheFocusInTheStartTimeEveryTime) {
    for (int showing = 0; showing < 2; ++showing) {
        window.form4()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.form4()));
        EXPECT_EQ(QApplication::focusWidget(), field("Text1")) << "showing " << showing;
        QTest::keyClicks(QApplication::focusWidget(), "100");
        EXPECT_EQ(field("Text1")->text(), "100");

        field("Text2")->setFocus();
        window.form4()->close();
        window.showForm4();
    }
}

// It adds to the file chosen: an "already exists, replace?" question would mislead.
TEST_F(SilenceInfoTest, SelectFileAsksForAFileToAppendToWithoutAReplaceQuestion) {
    answer(file("there.gap", records({{1, 2}})));
    press("Command2");
    ASSERT_EQ(questions.size(), 1U);
    EXPECT_EQ(questions[0].mode, FileChooser::Mode::Append);
    EXPECT_EQ(questions[0].parent, window.form4()); // over the window it was asked from
    EXPECT_TRUE(CommonDialog::dialogOptions(FileChooser::Mode::Append)
                    .testFlag(QFileDialog::DontConfirmOverwrite));
    // "Create Generic GAP" replaces its file: there the question protects the user's data.
    EXPECT_FALSE(CommonDialog::dialogOptions(FileChooser::Mode::Save)
                     .testFlag(QFileDialog::DontConfirmOverwrite));
}

TEST_F(SilenceInfoTest, WritesSilenceBySilenceAndHandsTheFinishedFileToTheMainWindow) {
    const std::string path = dir.file("new.gap");
    answer(QString::fromStdString(path));
    press("Command2");
    EXPECT_EQ(statusLines(), Lines{">>Preparing to write to file : " + path});

    write("100", "250");
    finished();
    write("0400", "900");

    EXPECT_EQ(readBytes(path), records({{100, 250}, {400, 900}}));
    EXPECT_FALSE(window.form4()->isVisible());
    EXPECT_EQ(text("txtPath").toStdString(), path);
    EXPECT_EQ(statusLines(),
              (Lines{">>Preparing to write to file : " + path, "Writing Silence : 100 - 250",
                     "Writing Silence : 0400 - 900", ">> Designing Graph",
                     "Silence:  100 (64) - 250 (FA)", "Silence:  400 (190) - 900 (384)",
                     ">> GAP format is correct !"}));
}

TEST_F(SilenceInfoTest, FinishedTakesTheFileWrittenNotOneChosenElsewhereSince) {
    const std::string target = dir.file("target.gap");
    answer(QString::fromStdString(target));
    press("Command2");
    answer(file("other.gap", records({{5, 60}}))); // chosen in the main window afterwards
    click("cmO");

    finished();
    write("100", "200");

    EXPECT_EQ(text("txtPath").toStdString(), target);
}

TEST_F(SilenceInfoTest, TextThatIsNoTimeWritesNothingAndKeepsTheWindowAsItWas) {
    const std::string path = dir.file("new.gap");
    answer(QString::fromStdString(path));
    press("Command2");
    finished();

    write("12a", "200");

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(window.form4()->isVisible());
    EXPECT_EQ(field("Text1")->text(), "12a");
    EXPECT_EQ(statusLines().back(),
              ">> Nothing written to \"" + path +
                  "\": The silence start \"12a\" is not a number of milliseconds from -32768 to "
                  "32767.");
}

TEST_F(SilenceInfoTest, EmptyStartDoesNothingAtAll) {
    answer(QString::fromStdString(dir.file("new.gap")));
    press("Command2");
    finished();
    const Lines before = statusLines();

    write("", "200");

    EXPECT_EQ(statusLines(), before);
    EXPECT_TRUE(window.form4()->isVisible());
}

TEST_F(SilenceInfoTest, SelectCancelledBeforeAnyChoiceLeavesThePathEmpty) {
    answer(std::nullopt);
    press("Command2");
    EXPECT_EQ(field("Text3")->text(), "");
    EXPECT_EQ(statusLines(), Lines{">>Preparing to write to file : "});
}

TEST_F(SilenceInfoTest, ClearFileDeletesTheFileSoTheNextWriteStartsAgain) {
    const QString path = file("new.gap", records({{100, 200}}));
    answer(path);
    press("Command2");

    press("Command3");
    EXPECT_FALSE(std::filesystem::exists(path.toStdString()));
    EXPECT_EQ(statusLines().back(), ">>Killing file " + path.toStdString());

    write("300", "400");
    EXPECT_EQ(readBytes(path.toStdString()), records({{300, 400}}));
}

TEST_F(SilenceInfoTest, ClosingDiscardsWhatWasTyped) {
    answer(QString::fromStdString(dir.file("new.gap")));
    press("Command2");
    type("Text1", "100");
    type("Text2", "200");
    finished();
    window.form4()->close();
    window.showForm4();
    for (const char* name : {"Text1", "Text2", "Text3"})
        EXPECT_EQ(field(name)->text(), "") << name;
    EXPECT_FALSE(window.form4()->findChild<QCheckBox*>("Check1")->isChecked());
}

// --- Keys every window answers -----------------------------------------------------------

struct EscapeRow {
    const char* name;
    void (Form1::*show)();
    QWidget* (*shown)(const Form1&);
};

class EscapeTest : public MainWindowTest, public ::testing::WithParamInterface<EscapeRow> {};

TEST_P(EscapeTest, EscapeClosesTheWindow) {
    (window.*GetParam().show)();
    QWidget* shown = GetParam().shown(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : shown,
                    Qt::Key_Escape);
    EXPECT_FALSE(shown->isVisible());
    EXPECT_TRUE(window.isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Windows, EscapeTest,
    ::testing::Values(
        EscapeRow{"about", &Form1::showForm2, [](const Form1& w) -> QWidget* { return w.form2(); }},
        EscapeRow{"tools", &Form1::showForm3, [](const Form1& w) -> QWidget* { return w.form3(); }},
        EscapeRow{"silence_info", &Form1::showForm4,
                  [](const Form1& w) -> QWidget* { return w.form4(); }}),
    test::RowName{});

} // namespace
} // namespace ravik::test
