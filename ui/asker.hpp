// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>

class QWidget;

namespace ravik {

/// What stands behind the Recording and Voice Pack windows' questions: asks the user and returns
/// the answer. Tests put scripted answers in its place.
class Asker {
public:
    enum class Question {
        UnsavedChanges, ///< Save, Discard or Cancel
        ChangedOnDisk,  ///< Reload, Overwrite or Cancel
        ReplaceFiles,   ///< Overwrite (with backups) or Cancel
    };
    enum class Answer { Save, Discard, Reload, Overwrite, Cancel };

    virtual ~Asker() = default;
    [[nodiscard]] virtual Answer ask(QWidget* parent, Question question, const QString& text) = 0;
};

/// Asks with a message box.
[[nodiscard]] std::unique_ptr<Asker> makeMessageBoxAsker();

} // namespace ravik
