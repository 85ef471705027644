// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/statuslist.hpp"
#include "uitest.hpp"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

namespace ravik::test {
namespace {

// A failure line whose reason comes last, far beyond the list's width.
const std::string kLongLine =
    ">> Nothing written to \"/home/someone/projects/speech/of/a/character/with/a/long/path/"
    "new2.gap\": The silence start \"ab\" is not a number of milliseconds from -32768 to 32767.";

class StatusListTest : public MainWindowTest {
protected:
    StatusListTest() {
        for (const std::string& line : {std::string("first"), kLongLine, std::string("third")})
            window.appendStatus(line);
        QApplication::processEvents();
    }
    StatusList* list() const { return window.findChild<StatusList*>("Sts"); }
    // The tooltip the list shows for the pointer resting on `row`, or nothing.
    QString toolTipOf(int row) const {
        const QRect cell = list()->visualRect(list()->model()->index(row, 0));
        const QPoint at(list()->viewport()->width() / 2, cell.center().y());
        QHelpEvent help(QEvent::ToolTip, at, list()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list()->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    void selectRows(std::initializer_list<int> rows) {
        list()->clearSelection();
        for (int row : rows)
            list()->selectionModel()->select(list()->model()->index(row, 0),
                                             QItemSelectionModel::Select |
                                                 QItemSelectionModel::Rows);
    }
    void press(QKeySequence::StandardKey key) {
        list()->setFocus();
        const QKeyCombination combination = QKeySequence(key)[0];
        QTest::keyClick(list(), combination.key(), combination.keyboardModifiers());
    }
};

TEST_F(StatusListTest, ALineWiderThanTheListScrollsAndShowsItsWholeTextAsTooltip) {
    EXPECT_EQ(toolTipOf(0), "") << "a line that fits has no tooltip";
    EXPECT_EQ(toolTipOf(1).toStdString(), kLongLine);

    QScrollBar* bar = list()->horizontalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_GE(list()->columnWidth(0),
              list()->fontMetrics().horizontalAdvance(QString::fromStdString(kLongLine)));
}

TEST_F(StatusListTest, CtrlCAndTheMenusCopyCopyTheSelectedLinesAsPlainText) {
    selectRows({2, 0});
    press(QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "first\nthird\n");

    QGuiApplication::clipboard()->clear();
    selectRows({1});
    QAction* copy = nullptr;
    for (QAction* action : list()->actions())
        if (action->text().remove(QLatin1Char('&')) == "Copy")
            copy = action;
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(list()->contextMenuPolicy(), Qt::ActionsContextMenu);
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), kLongLine + "\n");
}

TEST_F(StatusListTest, CtrlASelectsEveryLine) {
    press(QKeySequence::SelectAll);
    press(QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "first\n" + kLongLine + "\nthird\n");
}

TEST_F(StatusListTest, ClearingLetsTheColumnShrinkToTheList) {
    window.clearStatus();
    window.appendStatus("short");
    QApplication::processEvents();
    EXPECT_EQ(list()->columnWidth(0), list()->viewport()->width());
    EXPECT_FALSE(list()->horizontalScrollBar()->isVisible());
}

// Tab goes on to the next control, as in the rest of the window, and leaves the row chosen.
TEST_F(StatusListTest, TabLeavesTheListWithoutMovingItsRow) {
    list()->setFocus();
    list()->setCurrentIndex(list()->model()->index(1, 0));
    QTest::keyClick(list(), Qt::Key_Tab);
    EXPECT_FALSE(list()->hasFocus());
    EXPECT_EQ(list()->currentIndex().row(), 1);
}

} // namespace
} // namespace ravik::test
