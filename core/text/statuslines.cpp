// SPDX-License-Identifier: GPL-3.0-or-later
#include "statuslines.hpp"

namespace ravik {

StatusLines::StatusLines(std::initializer_list<std::string_view> lines) {
    for (std::string_view line : lines)
        add(line);
}

void StatusLines::reserve(std::size_t lines, std::size_t characters) {
    ends_.reserve(ends_.size() + lines);
    text_.reserve(text_.size() + characters);
}

void StatusLines::add(std::initializer_list<std::string_view> pieces) {
    for (std::string_view piece : pieces)
        text_.append(piece);
    text_.push_back('\n');
    ends_.push_back(text_.size());
}

void StatusLines::append(const StatusLines& other) {
    append(other, 0, other.size());
}

void StatusLines::append(const StatusLines& other, std::size_t first, std::size_t count) {
    if (count == 0)
        return;
    const std::size_t from = first == 0 ? 0 : other.ends_[first - 1];
    const std::size_t to = other.ends_[first + count - 1];
    const std::size_t shift = text_.size() - from;
    text_.append(other.text_, from, to - from);
    ends_.reserve(ends_.size() + count);
    for (std::size_t i = first; i < first + count; ++i)
        ends_.push_back(other.ends_[i] + shift);
}

std::string_view StatusLines::operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(begin, ends_[i] - begin - 1);
}

std::vector<std::string> StatusLines::toVector() const {
    std::vector<std::string> lines;
    lines.reserve(size());
    for (std::size_t i = 0; i < size(); ++i)
        lines.emplace_back((*this)[i]);
    return lines;
}

} // namespace ravik
