// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "asker.hpp"
#include "core/format/silences.hpp"
#include "document/silencedocument.hpp"

#include <QMainWindow>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QHelpEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTextEdit;
class QUndoStack;

namespace ravik {

class Player;
class WaveformView;
class Workbench;

/// Which of the Recording window's undo steps merge into one: those of one kind in a row with
/// the same serial (one drag, the nudges of one edge).
struct UndoMerging {
    enum class Kind { None = -1, Drag = 1, Nudge = 2 }; // QUndoCommand's ids
    Kind kind = Kind::None;
    int serial = 0;
};

/// The Recording window: a recording's waveform with its GAP file's silences over it, to see,
/// hear, detect and edit them. The silences and their edits belong to its SilenceDocument; the
/// window asks the user (through the Asker), keeps the undo steps and renders.
class RecordingWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit RecordingWindow(Workbench& workbench, QWidget* parent = nullptr);
    ~RecordingWindow() override;

    enum class Opening {
        Opened,    ///< the recording is shown
        Failed,    ///< the window shows what failed, and nothing else
        Cancelled, ///< the user kept what was open, with its changes
    };
    /// Shows the recording at `recording` with the silences of the GAP file at `gap` (which
    /// need not exist), asking about unsaved changes first. The same pair, open with changes,
    /// stays as it is.
    Opening openRecording(const QString& recording, const QString& gap);
    /// Writes the GAP file; false when nothing was written.
    bool save();
    /// Gives the window a size and place inside the available area of `owner`'s screen, over
    /// `owner`.
    void placeOver(const QWidget& owner);

    void setAsker(std::unique_ptr<Asker> asker);

    [[nodiscard]] const document::SilenceDocument& document() const { return document_; }
    [[nodiscard]] const std::vector<Silence>& silenceList() const { return document_.silences(); }
    [[nodiscard]] QUndoStack& undoStack() const { return *undo_; }
    [[nodiscard]] WaveformView& waveform() const { return *view_; }
    [[nodiscard]] QString recordingPath() const;
    [[nodiscard]] QString gapPath() const;
    [[nodiscard]] QString statusText() const;

    /// Replaces the list, selecting `select` afterwards: each undo step's two sides.
    void setSilences(std::vector<Silence> list, std::optional<std::size_t> select);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Every action whose state follows the document or the selection.
    struct Actions {
        QAction* save = nullptr;
        QAction* remove = nullptr;
        QAction* next = nullptr;
        QAction* previous = nullptr;
        QList<QAction*> edge;    // the arrow keys
        QList<QAction*> viewing; // zoom and move along
        QAction* play = nullptr;
        QAction* playSilence = nullptr;
        QAction* undo = nullptr; // the silence edits'
        QAction* redo = nullptr;
    };

    void setUpActions();
    QWidget* makeControls();
    void setUpProblem();
    bool settleUnsaved();
    void discard();
    void edit(const std::optional<document::SilenceDocument::Edit>& change,
              UndoMerging merging = {});
    void detect();
    void moveSelectedEdge(int by);
    void selectNeighbour(int step);
    void play(std::optional<double> toMs, double fromMs);
    void togglePlay();
    /// Sets the play position (and the pointer) at `ms` and scrolls it into view.
    void playFromAndShow(double ms);
    void playSelected();
    void say(const QString& notice);
    /// Renders the document: title, status line, what failed, and every action's state.
    void updateActions();
    void syncScrollBar();
    /// Names the silence under the pointer when it lies past the recording's end.
    bool showPastTheEnd(const QHelpEvent& help) const;
    /// Gives undo and redo to the field being typed in, as its own.
    bool fieldKey(QLineEdit& field, QKeyEvent& key) const;

    Workbench& workbench_;
    std::unique_ptr<Asker> asker_;
    document::SilenceDocument document_;
    QUndoStack* undo_;
    QString notice_; // the last message of the window's own
    bool placed_ = false;
    // The last nudge from the keyboard, and where the undo stack stood after it.
    struct Nudge {
        std::size_t index = 0;
        silences::Edge edge = silences::Edge::Start;
        int stackIndex = 0;
    };
    std::optional<Nudge> lastNudge_;
    int nudgeSerial_ = 0;

    WaveformView* view_;
    QScrollBar* scroll_;
    QLineEdit* threshold_;
    QLineEdit* leastSilence_;
    QPushButton* detect_;
    QPushButton* play_;
    QTextEdit* problem_; // why the recording could not be opened
    QLabel* status_;
    Player* player_;
    Actions actions_;
};

} // namespace ravik
