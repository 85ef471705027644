// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commondialog.hpp"
#include "core/actions/actions.hpp"
#include "core/text/statuslines.hpp"
#include "registrar.hpp"
#include "workbench.hpp"

#include <QWidget>
#include <functional>
#include <memory>
#include <string_view>

class QAbstractButton;

namespace Ui {
class Form1;
}

namespace ravik {

class ButtonRow;
class CompanionWindows;
class Form2;
class Form3;
class Form4;
class RecordingWindow;
class VoicePackWindow;
class StatusListModel;

/// The main window: the current file's path, its timeline, statistics and verdict, the status
/// list, the button row and the one file dialog. Its operations read the file named in the path
/// field afresh from disk and render what the core's actions make of it. The windows it opens
/// beyond its own four are CompanionWindows', the row's raised slots ButtonRow's.
class Form1 : public QWidget, public Workbench, public ActionView {
    Q_OBJECT

public:
    explicit Form1(Registrar registrar, QWidget* parent = nullptr);
    ~Form1() override;

    /// The open command: asks for a file through the dialog, then draws and checks it.
    void load();
    /// Draws the timeline and fills the statistics; does nothing without a path.
    void Graph();
    /// Checks the structure and shows the verdict; does nothing without a path.
    void ValidateGAP();
    /// Removes the silences of 50 ms or less from the file, then draws it again.
    void Defrag();
    /// Ctrl+Z: takes back the last "Defrag GAP" or "Create Generic GAP", then draws and checks
    /// the file; or says why it cannot.
    void Undo();

    /// Start-up with the program's argument text, which is the path exactly as given.
    void startWith(const QString& argumentText);
    /// Opens `path` as the open command opens a chosen file (a file dropped on the window).
    void openPath(const QString& path);

    [[nodiscard]] CommonDialog& cmDialog1() { return dialog_; }
    [[nodiscard]] QString path() const;
    void setPath(const QString& path);

    // Workbench
    [[nodiscard]] ActionView& actionView() override { return *this; }
    [[nodiscard]] CommonDialog& fileDialog() override { return dialog_; }

    // ActionView
    [[nodiscard]] std::string currentPath() const override;
    void setCurrentPath(const std::string& path) override;
    void clearStatus() override;
    void appendStatus(std::string_view line) override;
    /// Appends many lines in batches, showing the list between them.
    void appendStatus(const StatusLines& lines) override;
    void reportFailure(const Failure& failure) override;
    void showTimeline(const Timeline& timeline) override;
    void showCheck(const StructureCheck& check) override;
    void clearVerdict() override;
    [[nodiscard]] PictureSize pictureSize() const override;
    [[nodiscard]] std::string decimalSeparator() const override;
    void keepForUndo(std::optional<Replacement> replacement) override;
    [[nodiscard]] std::optional<Replacement> takeForUndo() override;

    void showForm2();
    void showForm3();
    void showForm4();
    /// The secondary windows once shown, or null.
    [[nodiscard]] Form2* form2() const { return form2_.get(); }
    [[nodiscard]] Form3* form3() const { return form3_.get(); }
    [[nodiscard]] Form4* form4() const { return form4_.get(); }

#ifdef RAVIK_WITH_RECORDING
    /// Ctrl+R: the Recording window for the current file's recording (see CompanionWindows).
    void showRecording();
    /// Opens `recording` in the Recording window with the GAP file `gap`.
    void openRecording(const QString& recording, const QString& gap);
    [[nodiscard]] RecordingWindow* recordingWindow() const;
    /// Ctrl+Shift+O: asks for a folder and opens the Voice Pack window on it.
    void chooseFolder();
    /// Opens the Voice Pack window on `folder` (also a folder dropped on the window, or
    /// `ravik --pack FOLDER`).
    void openPack(const QString& folder);
    [[nodiscard]] VoicePackWindow* voicePackWindow() const;
#endif

    /// Ends the program with all its windows.
    void exitProgram();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setUpButtonRow();
    void setUpShortcuts();

    std::unique_ptr<Ui::Form1> ui_;
    StatusListModel* status_;
    CommonDialog dialog_;
    Registrar registrar_;
    ButtonRow* buttonRow_ = nullptr;
    std::unique_ptr<Form2> form2_;
    std::unique_ptr<Form3> form3_;
    std::unique_ptr<Form4> form4_;
    std::optional<Replacement> undoable_;
#ifdef RAVIK_WITH_RECORDING
    std::unique_ptr<CompanionWindows> companions_;
#endif
};

} // namespace ravik
