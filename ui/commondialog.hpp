// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileDialog>
#include <QString>
#include <memory>
#include <optional>

class QWidget;

namespace ravik {

/// What stands behind the file dialog: asks the user for a file. Tests put a scripted chooser
/// in its place.
class FileChooser {
public:
    /// Save chooses a file to replace, so an existing one is confirmed first; Append chooses
    /// one to add to, which replaces nothing and asks nothing; Folder chooses a folder.
    enum class Mode { Open, Save, Append, Folder };
    virtual ~FileChooser() = default;
    /// The chosen path, or nothing when the user cancelled. `qtFilter` is in Qt's filter form
    /// ("GAP files (*.gap)"), empty for every file; `start` is the file name to offer.
    [[nodiscard]] virtual std::optional<QString>
    choose(QWidget* parent, Mode mode, const QString& qtFilter, const QString& start) = 0;
};

/// The program's one file dialog, shared by the open command, "Create Generic GAP" and the
/// Silence Info window. Its filter and its file name persist from one use to the next,
/// whichever window used it last; a cancelled dialog leaves the file name as it was.
class CommonDialog {
public:
    explicit CommonDialog(QWidget* parent);
    ~CommonDialog();

    /// The filter in its stored form, pairs of description and pattern separated by '|':
    /// "GAP files (*.gap) | *.gap".
    QString Filter;
    /// The full path of the file last chosen through the dialog; empty until one is chosen.
    QString FileName;

    /// Shows the dialog in its open form over `over` (the main window when null); true when the
    /// user chose a file.
    bool ShowOpen(QWidget* over = nullptr);
    /// Shows the dialog in its save form (Save or Append) over `over` (the main window when
    /// null); true when the user chose a file.
    bool ShowSave(FileChooser::Mode mode = FileChooser::Mode::Save, QWidget* over = nullptr);

    /// Asks through the same chooser for a file that is none of the shared dialog's business:
    /// its filter and file name stay as they are.
    [[nodiscard]] std::optional<QString> chooseOther(QWidget* over, FileChooser::Mode mode,
                                                     const QString& qtFilter, const QString& start);

    /// Replaces what asks the user, for tests.
    void setChooser(std::unique_ptr<FileChooser> chooser);

    /// The options of the system's dialog for `mode`.
    [[nodiscard]] static QFileDialog::Options dialogOptions(FileChooser::Mode mode);

    /// The stored filter in Qt's form: "GAP files (*.gap) | *.gap" gives "GAP files (*.gap)".
    [[nodiscard]] static QString qtFilter(const QString& storedFilter);

private:
    bool show(FileChooser::Mode mode, QWidget* over);

    QWidget* parent_;
    std::unique_ptr<FileChooser> chooser_;
};

} // namespace ravik
