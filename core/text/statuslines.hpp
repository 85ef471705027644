// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace ravik {

/// Appends one line to the status list: how a part that has no window of its own (registering
/// the file type) reports to the one that shows the lines.
using StatusSink = std::function<void(std::string_view line)>;

/// Lines for the status list, kept in one buffer: a timeline of a million silences is a million
/// lines, and one allocation per line would cost more than reading the file.
class StatusLines {
public:
    StatusLines() = default;
    StatusLines(std::initializer_list<std::string_view> lines);

    /// Makes room for `lines` more lines of `characters` in all, breaks included.
    void reserve(std::size_t lines, std::size_t characters);
    void add(std::string_view line) {
        text_.append(line);
        text_.push_back('\n');
        ends_.push_back(text_.size());
    }
    /// Appends one line made of the pieces, in order.
    void add(std::initializer_list<std::string_view> pieces);
    void append(const StatusLines& other);
    /// Appends lines [first, first + count) of `other`. Precondition: they exist.
    void append(const StatusLines& other, std::size_t first, std::size_t count);

    /// Empties the lines, keeping the room they took.
    void clear() {
        text_.clear();
        ends_.clear();
    }

    [[nodiscard]] std::size_t size() const { return ends_.size(); }
    [[nodiscard]] bool empty() const { return ends_.empty(); }
    /// Line i, without its line break. Precondition: i < size().
    [[nodiscard]] std::string_view operator[](std::size_t i) const;
    /// Every line followed by a line break, ready to print.
    [[nodiscard]] const std::string& text() const { return text_; }
    [[nodiscard]] std::vector<std::string> toVector() const;

    bool operator==(const StatusLines&) const = default;

private:
    std::string text_;
    std::vector<std::size_t> ends_; // one past each line's break
};

} // namespace ravik
