// SPDX-License-Identifier: GPL-3.0-or-later
// The button row under a real X server (Xvfb), with the pointer moved and clicked by xdotool:
// there a click gives the keyboard focus as a user's click does, which the offscreen platform
// only imitates. Each test starts its own server; without Xvfb and xdotool the tests skip.
#include "ui/Form3.hpp"
#include "uitest.hpp"

#ifdef RAVIK_WITH_RECORDING
#include "ui/recordingwindow.hpp"
#include "ui/waveformview.hpp"

#include <QLineEdit>
#include <QMenuBar>
#include <QShortcut>
#include <filesystem>
#include <map>
#endif

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace ravik::test {
namespace {

// Why the tests cannot run here (the tools are not installed); empty when they are.
std::string unavailable;
// Why the installed server did not start; empty when it runs.
std::string broken = "Xvfb was not started";

// Runs Xvfb on the first free display and points Qt at it; returns the server's process id.
pid_t startServer() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        unavailable = "Xvfb is not installed (package xvfb)";
        return 0;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        unavailable = "xdotool is not installed (package xdotool)";
        return 0;
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        broken = "no pipe for Xvfb's display number";
        return 0;
    }
    const pid_t server = ::fork();
    if (server == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        const std::string program = xvfb.toStdString();
        ::execl(program.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    // The server writes its display number once it accepts connections.
    std::string display;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&ready, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
        display.push_back(c);
    ::close(fds[0]);
    if (server < 0 || display.empty()) {
        broken = "Xvfb is installed but did not start";
        return server > 0 ? server : 0;
    }
    ::setenv("DISPLAY", (":" + display).c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    broken.clear();
    return server;
}

void xdotool(const QStringList& arguments) {
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), arguments), 0) << "xdotool failed";
}

// A main window on the X server, or a skip saying why there is none.
class XServerTest : public MainWindowTest {
protected:
    void SetUp() override {
        if (!unavailable.empty())
            GTEST_SKIP() << unavailable;
        if (!broken.empty())
            FAIL() << broken;
    }
};

class RealPointerTest : public XServerTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        XServerTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        window.move(400, 400); // clear of the windows the clicks open, which start at 0, 0
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return window.geometry().topLeft() == QPoint(400, 400); }));
    }
    bool raised(const char* name) const { return button(name)->isVisible(); }
    // Moves the real pointer to `point` of the window and lets the window see it.
    void pointTo(QPoint point) {
        const QPoint global = window.mapToGlobal(point);
        xdotool({"mousemove", QString::number(global.x()), QString::number(global.y())});
        QTest::qWait(50);
    }
};

TEST_P(RealPointerTest, ClickLeaveAndBackgroundLeaveTheRowFlat) {
    answer(std::nullopt); // the open dialog, cancelled
    pointTo(button(GetParam())->geometry().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return raised(GetParam()); }, 2000));

    xdotool({"click", "1"});
    QTest::qWait(50);
    window.activateWindow(); // back from the window the click opened, if any
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    pointTo({240, 22}); // the path field
    pointTo({100, 36}); // the background

    for (const char* name : {"cmO", "cmR", "cmT", "cmX", "cmA"})
        EXPECT_FALSE(raised(name)) << name;
}

INSTANTIATE_TEST_SUITE_P(Slots, RealPointerTest, ::testing::Values("cmO", "cmR", "cmT", "cmA"),
                         [](const auto& row) { return std::string(row.param); });

// A file dialog opens over the window it was asked from, not at the screen's corner: the
// system's own dialog, closed again as soon as it shows.
TEST_F(XServerTest, FileDialogOpensOverTheWindowThatAsked) {
    window.showForm3();
    QWidget& tools = *window.form3();
    tools.move(500, 300);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tools));
    CommonDialog system(&window); // with the system's chooser, not the test's
    QRect shown;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        shown = dialog->frameGeometry();
        dialog->close();
    });
    EXPECT_FALSE(system.ShowSave(FileChooser::Mode::Save, &tools));
    EXPECT_TRUE(shown.contains(tools.frameGeometry().center()))
        << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
}

#ifdef RAVIK_WITH_RECORDING
// The keys under X11, whose standard keys differ from other platforms' (Redo is Ctrl+Shift+Z
// there, and only that).
class RecordingKeysTest : public XServerTest {
protected:
    void SetUp() override {
        XServerTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        const std::filesystem::path examples =
            std::filesystem::path(RAVIK_SOURCE_FOLDER) / "examples";
        const std::string wav = dir.file("speech.wav");
        gap = dir.file("speech.gap");
        std::filesystem::copy_file(examples / "speech.wav", wav);
        std::filesystem::copy_file(examples / "speech.gap", gap);
        window.openRecording(QString::fromStdString(wav), QString::fromStdString(gap));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&recording()));
        recording().waveform().setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return recording().waveform().hasFocus(); }));
    }
    [[nodiscard]] RecordingWindow& recording() const { return *window.recordingWindow(); }
    // A key as the user types it: to whatever has the focus.
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, key, modifiers);
    }
    [[nodiscard]] std::size_t count() const { return recording().silenceList().size(); }

    std::string gap;
};

TEST_F(RecordingKeysTest, RedoIsCtrlShiftZAndCtrlY) {
    const std::size_t all = count();
    recording().waveform().select(0);
    type(Qt::Key_Delete);
    ASSERT_EQ(count(), all - 1);
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier},
          std::pair{Qt::Key_Y, Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
        type(Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(count(), all);
        type(key, modifiers);
        EXPECT_EQ(count(), all - 1) << QKeySequence(key | modifiers).toString().toStdString();
    }
}

class FieldUndoTest
    : public RecordingKeysTest,
      public ::testing::WithParamInterface<std::pair<const char*, QKeyCombination>> {};

// While typing in a field, undo and redo are the field's own, Ctrl+Y too (which is no redo key
// of X11's): the silences stay as they are, with an edit to undo and another to redo.
TEST_P(FieldUndoTest, UndoAndRedoInAFieldAreTheFieldsOwn) {
    const auto& [name, redo] = GetParam();
    const std::size_t all = count();
    recording().waveform().select(0);
    type(Qt::Key_Delete);
    recording().waveform().select(0);
    type(Qt::Key_Delete);
    type(Qt::Key_Z, Qt::ControlModifier); // the waveform's: one silence back, one to redo
    ASSERT_EQ(count(), all - 1);

    auto* field = recording().findChild<QLineEdit*>(QLatin1String(name));
    ASSERT_NE(field, nullptr);
    field->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }));
    const QString was = field->text();
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("-45"));
    type(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(field->text(), was);
    EXPECT_EQ(count(), all - 1);
    type(redo.key(), redo.keyboardModifiers());
    EXPECT_EQ(field->text(), QLatin1String("-45"));
    EXPECT_EQ(count(), all - 1);
}

INSTANTIATE_TEST_SUITE_P(Fields, FieldUndoTest,
                         ::testing::Values(std::pair{"threshold", Qt::CTRL | Qt::SHIFT | Qt::Key_Z},
                                           std::pair{"threshold", Qt::CTRL | Qt::Key_Y},
                                           std::pair{"leastSilence",
                                                     Qt::CTRL | Qt::SHIFT | Qt::Key_Z},
                                           std::pair{"leastSilence", Qt::CTRL | Qt::Key_Y}),
                         [](const auto& row) {
                             return std::string(row.param.first) +
                                    (row.param.second.keyboardModifiers() & Qt::ShiftModifier
                                         ? "_ctrl_shift_z"
                                         : "_ctrl_y");
                         });

// Every key sequence means one thing in each window: Qt does nothing for an ambiguous one.
TEST_F(RecordingKeysTest, NoWindowHasAKeyTwice) {
    window.showForm2();
    window.showForm3();
    window.showForm4();
    window.openPack(QString::fromStdString(dir.path().string()));
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isWindow() || !top->isVisible())
            continue;
        std::map<QString, int> uses;
        for (const QAction* action : top->findChildren<QAction*>())
            for (const QKeySequence& keys : action->shortcuts())
                ++uses[keys.toString()];
        for (const QShortcut* shortcut : top->findChildren<QShortcut*>())
            for (const QKeySequence& keys : shortcut->keys())
                ++uses[keys.toString()];
        for (const auto& [keys, times] : uses)
            EXPECT_EQ(times, 1) << keys.toStdString() << " in " << top->windowTitle().toStdString();
    }
}

// A menu opened with the pointer and closed with Escape leaves Tab and Shift+Tab choosing
// silences, as before it.
TEST_F(RecordingKeysTest, TabAndShiftTabChooseSilencesAfterAMenu) {
    WaveformView& view = recording().waveform();
    type(Qt::Key_Tab);
    type(Qt::Key_Tab);
    ASSERT_EQ(view.selected(), std::optional<std::size_t>(1));
    QMenuBar* bar = recording().menuBar();
    for (QAction* menu : bar->actions()) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu).center());
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }))
            << menu->text().toStdString();
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
        type(Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(view.selected(), std::optional<std::size_t>(0)) << menu->text().toStdString();
        type(Qt::Key_Tab);
        EXPECT_EQ(view.selected(), std::optional<std::size_t>(1)) << menu->text().toStdString();
        EXPECT_TRUE(view.hasFocus());
    }
}
#endif

} // namespace
} // namespace ravik::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    const pid_t server = listing ? 0 : ravik::test::startServer();
    if (server <= 0)
        qputenv("QT_QPA_PLATFORM", "offscreen"); // no test runs, but the fixture needs a screen
    int status = 0;
    {
        QApplication application(argc, argv);
        status = RUN_ALL_TESTS();
    }
    if (server > 0) {
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
    }
    return status;
}
