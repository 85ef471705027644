// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

namespace ravik {

class Form1;
class RecordingWindow;
class VoicePackWindow;

/// Brings `window` to the front, shown and active.
inline void showInFront(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

/// The windows beyond the main window's own four that it opens: the Recording window and the
/// Voice Pack window, which dialog starts where, and whether quitting may go on.
class CompanionWindows {
public:
    explicit CompanionWindows(Form1& main);
    CompanionWindows(const CompanionWindows&) = delete;
    CompanionWindows& operator=(const CompanionWindows&) = delete;
    ~CompanionWindows();

    /// The Recording window for the GAP file `gap`'s recording (the one beside it by the voice
    /// pack's pairing rule), else for one chosen through a dialog of its own, which starts in
    /// the GAP file's folder and then where the last recording was chosen.
    void showRecording(const QString& gap);
    /// Opens `recording` in the Recording window with the GAP file `gap`.
    void openRecording(const QString& recording, const QString& gap);
    /// Asks for a folder and opens the Voice Pack window on it.
    void chooseFolder();
    /// Opens the Voice Pack window on `folder`.
    void openPack(const QString& folder);
    /// Opens what was dropped on the main window when it is theirs (a folder, a recording), and
    /// says whether it was.
    [[nodiscard]] bool takeDropped(const QString& path);
    /// Whether the program may end: the one window with work to lose asks first, and its Cancel
    /// keeps every window open.
    [[nodiscard]] bool mayQuit();

    [[nodiscard]] RecordingWindow* recording() const { return recording_.get(); }
    [[nodiscard]] VoicePackWindow* pack() const { return pack_.get(); }

private:
    Form1& main_;
    std::unique_ptr<RecordingWindow> recording_;
    QString recordingFolder_; // where the recordings' dialog starts
    std::unique_ptr<VoicePackWindow> pack_;
};

} // namespace ravik
