// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <mutex>
#include <string>

namespace ravik::cli {

/// Whether standard error is a terminal, where progress is shown; main says so at the start.
/// The line is redrawn at most every `redraw`.
void setProgressShown(bool shown,
                      std::chrono::milliseconds redraw = std::chrono::milliseconds(100));

/// The progress of a command over many files, on standard error as one line that updates
/// itself ("120 of 2000 files, 1 min 5 s left"), only when standard error is a terminal and
/// there is more than one file. The line is taken away again at the end.
class Progress {
public:
    Progress(std::ostream& err, std::size_t total);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress();

    /// One more file done; may be called from any thread.
    void advance();
    /// Whether the line is shown at all (standard error is a terminal).
    [[nodiscard]] bool shown() const { return shown_; }
    /// Takes the line away until the next advance(), so that the report written meanwhile on
    /// the same terminal starts on a clean line.
    void hide();

    /// The line for `done` of `total` files after `elapsed`: the time left reckoned from the
    /// pace so far.
    [[nodiscard]] static std::string line(std::size_t done, std::size_t total,
                                          std::chrono::milliseconds elapsed);

private:
    void draw(const std::string& text);

    std::ostream& err_;
    std::size_t total_;
    bool shown_;
    std::mutex mutex_;
    std::size_t done_ = 0;
    std::size_t drawnLength_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point drawn_;
};

} // namespace ravik::cli
