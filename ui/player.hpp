// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace ravik {

/// Plays a stretch of a recording on the default audio output, reading it from the file as it
/// goes. Where the program was built without Qt Multimedia or there is no output device, it
/// cannot play and says why.
class Player : public QObject {
    Q_OBJECT

public:
    explicit Player(QObject* parent = nullptr);
    ~Player() override;

    /// Why nothing can be played here, or nothing when playing works.
    [[nodiscard]] std::optional<QString> unavailableReason() const;
    [[nodiscard]] bool isPlaying() const;

    /// Plays the recording at `path` from `fromMs` up to `toMs` (its end when nothing), and stops
    /// there once it has been heard, however often the sound output ran short meanwhile.
    /// Failures come as `failed`.
    void play(const QString& path, double fromMs, std::optional<double> toMs);
    void stop();

signals:
    /// Where playing has got to, several times a second.
    void positionChanged(double ms);
    void stopped();
    void failed(const QString& reason);

private:
    void tick();

    struct State;
    std::unique_ptr<State> state_;
};

} // namespace ravik
