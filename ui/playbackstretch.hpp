// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/soundfile.hpp"

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

/// What every sound output of the Player shares: the stretch of a recording to play, read from
/// the file as the output asks for it, and when playing it is over.
namespace ravik::playback {

/// Sound kept queued ahead of the output, enough to ride out a busy machine (the output is fed
/// from the window's thread); stopping drops what is queued, so it costs no delay.
inline constexpr int kQueuedMs = 500;
/// How long past the stretch's end playing may take before it is given up (a stalled output).
inline constexpr double kPatienceMs = 3'000.0;
/// The silence played after the stretch before stopping: stopping drops whatever is still queued,
/// and an output's count of what was played is an estimate between its timing updates.
inline constexpr double kTailMs = 100.0;

/// A stretch of a recording, handed out as frames of the output's format, then as silence, so
/// that the output never runs dry at the end and everything up to it is heard.
class Stretch {
public:
    struct Opened;
    /// Opens `path` from `fromMs` up to `toMs` (its end when nothing), both clamped to the
    /// recording, and moves to its start.
    [[nodiscard]] static Opened open(const QString& path, double fromMs,
                                     std::optional<double> toMs);

    [[nodiscard]] int sampleRate() const { return file_.sampleRate(); }
    /// The channels an output is given: the recording's, at most two.
    [[nodiscard]] int outChannels() const { return std::min(file_.channels(), 2); }
    /// Where the stretch starts, and how long it is, in the recording's whole frames.
    [[nodiscard]] double fromMs() const { return fromMs_; }
    [[nodiscard]] double lengthMs() const { return lengthMs_; }

    enum class Sample { Float, Int16 };
    /// Fills `out` with whole frames of `sample` values: the recording's next frames, then
    /// silence. Returns the bytes written.
    std::size_t fill(std::span<char> out, Sample sample);

    /// Whether playing is over once `playedMs` of it were heard, `elapsedMs` after it started.
    [[nodiscard]] bool over(double playedMs, double elapsedMs) const {
        return playedMs >= lengthMs_ + kTailMs || elapsedMs > lengthMs_ + kPatienceMs;
    }

private:
    explicit Stretch(audio::SoundFile file)
        : file_(std::move(file)) {}

    audio::SoundFile file_;
    std::int64_t left_ = 0;
    double fromMs_ = 0;
    double lengthMs_ = 0;
    std::vector<float> buffer_;
};

struct Stretch::Opened {
    std::optional<Stretch> stretch;
    QString failure; ///< the sentence to show when it did not open
};

} // namespace ravik::playback
