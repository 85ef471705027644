// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress.hpp"

#include <ostream>

namespace ravik::cli {
namespace {

bool progressShown = false;
// A terminal takes a redraw ten times a second without flicker or cost.
std::chrono::milliseconds redrawEvery{100};

std::string duration(long long seconds) {
    if (seconds < 60)
        return std::to_string(seconds) + " s";
    if (seconds < 3600)
        return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
    return std::to_string(seconds / 3600) + " h " + std::to_string(seconds / 60 % 60) + " min";
}

} // namespace

void setProgressShown(bool shown, std::chrono::milliseconds redraw) {
    progressShown = shown;
    redrawEvery = redraw;
}

Progress::Progress(std::ostream& err, std::size_t total)
    : err_(err)
    , total_(total)
    , shown_(progressShown && total > 1)
    , start_(std::chrono::steady_clock::now())
    , drawn_(start_) {}

Progress::~Progress() {
    if (shown_ && drawnLength_ > 0)
        draw(std::string());
}

std::string Progress::line(std::size_t done, std::size_t total, std::chrono::milliseconds elapsed) {
    std::string text = std::to_string(done) + " of " + std::to_string(total) + " files";
    if (done > 0 && done < total) {
        const long long left = elapsed.count() * static_cast<long long>(total - done) /
                               static_cast<long long>(done) / 1000;
        text += ", " + duration(left) + " left";
    }
    return text;
}

void Progress::advance() {
    if (!shown_)
        return;
    const std::lock_guard lock(mutex_);
    ++done_;
    const auto now = std::chrono::steady_clock::now();
    if (now - drawn_ < redrawEvery && done_ < total_)
        return;
    drawn_ = now;
    draw(line(done_, total_, std::chrono::duration_cast<std::chrono::milliseconds>(now - start_)));
}

void Progress::hide() {
    if (!shown_)
        return;
    const std::lock_guard lock(mutex_);
    if (drawnLength_ > 0)
        draw(std::string());
}

// Back to the line's start, the text, blanks over what the last text left, and back again, so
// that whatever is written next starts at the line's start.
void Progress::draw(const std::string& text) {
    std::string shown = '\r' + text;
    if (text.size() < drawnLength_)
        shown.append(drawnLength_ - text.size(), ' ');
    shown += '\r';
    drawnLength_ = text.size();
    err_ << shown << std::flush;
}

} // namespace ravik::cli
