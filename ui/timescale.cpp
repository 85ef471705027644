// SPDX-License-Identifier: GPL-3.0-or-later
#include "timescale.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace ravik {

TimeScale TimeScale::at(double start, double perPixel) const {
    TimeScale moved = *this;
    const double width = std::max(1.0, widthPx);
    const double widest = std::max(totalMs / width, 1.0 / kMostPixelsPerMs);
    moved.msPerPixel = std::clamp(perPixel, 1.0 / kMostPixelsPerMs, widest);
    moved.startMs = std::clamp(start, 0.0, std::max(0.0, totalMs - width * moved.msPerPixel));
    return moved;
}

TimeScale TimeScale::whole() const {
    return at(0, totalMs / std::max(1.0, widthPx));
}

TimeScale TimeScale::zoomedAround(double factor, double atMs) const {
    const double x = xAt(atMs);
    const double perPixel = std::max(msPerPixel / factor, 1.0 / kMostPixelsPerMs);
    return at(atMs - x * perPixel, perPixel);
}

TimeScale TimeScale::showing(double fromMs, double toMs) const {
    if (shows(fromMs) && shows(toMs))
        return *this;
    return at((fromMs + toMs) / 2.0 - widthPx * msPerPixel / 2.0, msPerPixel);
}

TimeScale TimeScale::resized(double width) const {
    TimeScale wider = *this;
    wider.widthPx = width;
    return wider.at(startMs, msPerPixel);
}

TimeScale::Scroll TimeScale::scroll() const {
    Scroll bar;
    bar.maximum = static_cast<int>(std::max(0.0, std::ceil(totalMs / msPerPixel - widthPx)));
    bar.pageStep = std::max(1, static_cast<int>(widthPx));
    bar.singleStep = std::max(1, static_cast<int>(widthPx / 10));
    bar.value = std::min(bar.maximum, static_cast<int>(std::lround(startMs / msPerPixel)));
    return bar;
}

TimeScale TimeScale::scrolledTo(int value) const {
    return at(value * msPerPixel, msPerPixel);
}

double TimeScale::rulerStep(double labelPx) const {
    const double least = msPerPixel * labelPx;
    constexpr std::array<double, 3> kFactors{2.0, 2.5, 2.0}; // 1, 2, 5, 10, 20, 50, ...
    double step = 1.0;
    for (std::size_t i = 0; step < least; ++i)
        step *= kFactors[i % kFactors.size()];
    return step;
}

} // namespace ravik
