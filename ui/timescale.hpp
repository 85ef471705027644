// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace ravik {

/// Where the waveform's times fall on screen: the first millisecond shown, the milliseconds a
/// pixel stands for, the width in pixels and the recording's length. Every position, zoom and
/// scroll step of the Recording window is computed here, and nowhere else.
struct TimeScale {
    /// The closest zoom: this many pixels per millisecond.
    static constexpr double kMostPixelsPerMs = 20.0;

    double startMs = 0;
    double msPerPixel = 1;
    double widthPx = 1;
    double totalMs = 1;

    [[nodiscard]] double xAt(double ms) const { return (ms - startMs) / msPerPixel; }
    [[nodiscard]] double msAt(double x) const { return startMs + x * msPerPixel; }
    [[nodiscard]] double endMs() const { return msAt(widthPx); }
    [[nodiscard]] bool shows(double ms) const { return ms >= startMs && ms <= endMs(); }

    /// This scale moved to `start` at `perPixel`, kept within the recording and the zoom limits:
    /// no closer than kMostPixelsPerMs, no wider than the whole recording, never past either end.
    [[nodiscard]] TimeScale at(double start, double perPixel) const;
    /// The whole recording across the width.
    [[nodiscard]] TimeScale whole() const;
    /// Zoomed by `factor` (above 1: closer), keeping `atMs` where it is on screen.
    [[nodiscard]] TimeScale zoomedAround(double factor, double atMs) const;
    /// Scrolled so that `fromMs` to `toMs` is in view; unchanged when it is already.
    [[nodiscard]] TimeScale showing(double fromMs, double toMs) const;
    /// This scale with another width (the zoom stays, the start is kept within the recording).
    [[nodiscard]] TimeScale resized(double width) const;

    /// The scroll bar over the recording, in pixels at this zoom.
    struct Scroll {
        int maximum = 0;
        int pageStep = 1;
        int singleStep = 1;
        int value = 0;
        bool operator==(const Scroll&) const = default;
    };
    [[nodiscard]] Scroll scroll() const;
    /// The scale scrolled to the scroll bar's `value`.
    [[nodiscard]] TimeScale scrolledTo(int value) const;

    /// The ruler's labelled step: 1, 2 or 5 times a power of ten ms, the least that leaves
    /// `labelPx` pixels between labels. Minor ticks fall every fifth of it.
    [[nodiscard]] double rulerStep(double labelPx = 80.0) const;

    bool operator==(const TimeScale&) const = default;
};

} // namespace ravik
