// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/testfiles.hpp"
#include "ui/Form1.hpp"
#include "ui/asker.hpp"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QLineEdit>
#include <QString>
#include <deque>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace ravik::test {

/// Answers the file dialog from a script instead of asking anybody, and records each question.
class ScriptedChooser : public FileChooser {
public:
    struct Question {
        Mode mode;
        QString filter;
        QString start;
        QWidget* parent; ///< the window the dialog opens over
    };

    explicit ScriptedChooser(std::deque<std::optional<QString>>& answers,
                             std::vector<Question>& questions)
        : answers_(answers)
        , questions_(questions) {}

    std::optional<QString> choose(QWidget*, Mode mode, const QString& filter,
                                  const QString& start) override;

private:
    std::deque<std::optional<QString>>& answers_;
    std::vector<Question>& questions_;
};

/// Answers the windows' questions from a script and records each one (and, when given a list
/// for them, its text). A question the script holds no answer for is cancelled.
class ScriptedAsker final : public Asker {
public:
    ScriptedAsker(std::deque<Answer>& answers, std::vector<Question>& asked,
                  std::vector<QString>* texts = nullptr)
        : answers_(answers)
        , asked_(asked)
        , texts_(texts) {}
    Answer ask(QWidget*, Question question, const QString& text) override;

private:
    std::deque<Answer>& answers_;
    std::vector<Question>& asked_;
    std::vector<QString>* texts_;
};

/// A main window with a scripted dialog and a registrar that only says it was called.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest();

    /// The next answer of the file dialog: a path, or nothing for a cancel.
    void answer(std::optional<QString> path) { answers.push_back(std::move(path)); }
    [[nodiscard]] std::vector<std::string> statusLines() const;
    [[nodiscard]] QString text(const char* field) const;
    [[nodiscard]] QAbstractButton* button(const char* name) const;
    [[nodiscard]] QString file(const std::string& name, const Bytes& bytes) const;
    void click(const char* name);

    TempDir dir;
    std::deque<std::optional<QString>> answers;
    std::vector<ScriptedChooser::Question> questions;
    int registrations = 0;
    Form1 window;
};

} // namespace ravik::test
