// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// QTest releases a modifier key with the modifier still in the event (as window systems report
// it), and Qt keeps the modifiers of the last key event: after a test's last Ctrl+Z, the next test
// would start with Ctrl held, and a click or setCurrentIndex there would toggle the selection.
// Each test starts with no key held.
class NoKeyHeld : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& /*test*/) override {
        QWidget nobody;
        QTest::keyRelease(&nobody, Qt::Key_Shift);
    }
};

} // namespace

int main(int argc, char** argv) {
    // The window tests need no display: Qt draws them off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new NoKeyHeld);
    return RUN_ALL_TESTS();
}
