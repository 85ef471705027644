// SPDX-License-Identifier: GPL-3.0-or-later
#include "uitest.hpp"

#include "ui/statuslistmodel.hpp"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace ravik::test {

std::optional<QString> ScriptedChooser::choose(QWidget* parent, Mode mode, const QString& filter,
                                               const QString& start) {
    questions_.push_back({mode, filter, start, parent});
    if (answers_.empty())
        throw std::logic_error("the file dialog was shown more often than the test expected");
    std::optional<QString> answer = answers_.front();
    answers_.pop_front();
    return answer;
}

Asker::Answer ScriptedAsker::ask(QWidget*, Question question, const QString& text) {
    asked_.push_back(question);
    if (texts_ != nullptr)
        texts_->push_back(text);
    if (answers_.empty())
        return Answer::Cancel;
    const Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

MainWindowTest::MainWindowTest()
    : window([this](const StatusSink& appendLine) {
        ++registrations;
        appendLine("registered");
    }) {
    window.cmDialog1().setChooser(std::make_unique<ScriptedChooser>(answers, questions));
    window.show();
    window.activateWindow(); // shortcuts and the keyboard work in the active window only
    if (!QTest::qWaitForWindowActive(&window))
        ADD_FAILURE() << "the main window did not become active";
}

std::vector<std::string> MainWindowTest::statusLines() const {
    const auto* list = window.findChild<QAbstractItemView*>(QStringLiteral("Sts"));
    return static_cast<const StatusListModel*>(list->model())->lines().toVector();
}

QString MainWindowTest::text(const char* field) const {
    return window.findChild<QLineEdit*>(QLatin1String(field))->text();
}

QAbstractButton* MainWindowTest::button(const char* name) const {
    return window.findChild<QAbstractButton*>(QLatin1String(name));
}

QString MainWindowTest::file(const std::string& name, const Bytes& bytes) const {
    return QString::fromStdString(dir.write(name, bytes));
}

void MainWindowTest::click(const char* name) {
    QAbstractButton* target = button(name);
    if (!target->isVisible()) // a flat slot: the pointer raises the button first, as for a user
        QTest::mouseMove(&window, target->geometry().center());
    QTest::mouseClick(target, Qt::LeftButton);
}

} // namespace ravik::test
