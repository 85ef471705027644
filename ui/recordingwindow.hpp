#pragma once

#include "asker.hpp"
#include "audio/peaks.hpp"
#include "core/silences.hpp"

#include <QMainWindow>
#include <QUndoStack>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace ravik {

class Player;
class WaveformView;
class Workbench;

/// The Recording window: a recording's waveform with its GAP file's silences over it, to see,
/// hear, detect and edit them. Every edit is one step on its undo stack and keeps the list a
/// valid GAP file; saving writes the file under the writers' lock and hands it to the main
/// window.
class RecordingWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit RecordingWindow(Workbench& workbench, QWidget* parent = nullptr);
    ~RecordingWindow() override;

    /// Shows the recording at `recording` with the silences of the GAP file at `gap` (which
    /// need not exist). Asks about unsaved changes first; false when the user cancelled or the
    /// recording or the GAP file could not be read (the main window reports why).
    bool openRecording(const QString& recording, const QString& gap);
    /// Writes the GAP file; false when nothing was written.
    bool save();

    void setAsker(std::unique_ptr<Asker> asker);

    [[nodiscard]] const std::vector<Silence>& silenceList() const { return list_; }
    [[nodiscard]] QUndoStack& undoStack() { return undo_; }
    [[nodiscard]] WaveformView& waveform() const { return *view_; }
    [[nodiscard]] QString recordingPath() const { return recording_; }
    [[nodiscard]] QString gapPath() const { return gap_; }
    [[nodiscard]] QString statusText() const;

    /// Replaces the list (an undo step), selecting `select` afterwards. Each command calls this.
    void setSilences(std::vector<Silence> list, std::optional<std::size_t> select);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setUpActions();
    QWidget* makeControls();
    void loadGap(std::vector<std::uint8_t> bytes);
    bool settleUnsaved();
    void detect();
    void moveEdge(std::size_t index, silences::Edge edge, int ms, int drag);
    void moveSelectedEdge(int by);
    void addSilence(const Silence& silence);
    void removeSelected();
    void selectNeighbour(int step);
    void play(std::optional<double> toMs, double fromMs);
    void togglePlay();
    void playSelected();
    void showStatus();
    void syncScrollBar();
    void updateTitle();

    Workbench& workbench_;
    std::unique_ptr<Asker> asker_;
    QUndoStack undo_;
    std::vector<Silence> list_;
    std::optional<audio::Peaks> peaks_;
    QString recording_;
    QString gap_;
    std::vector<std::uint8_t> loaded_; // the GAP file's bytes when it was read or written
    QString notice_;                   // the last message of the window's own

    WaveformView* view_;
    QScrollBar* scroll_;
    QLineEdit* threshold_;
    QLineEdit* leastSilence_;
    QPushButton* detect_;
    QPushButton* play_;
    QLabel* status_;
    Player* player_;
};

} // namespace ravik
