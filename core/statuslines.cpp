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
    const std::size_t base = text_.size();
    text_.append(other.text_);
    ends_.reserve(ends_.size() + other.ends_.size());
    for (std::size_t end : other.ends_)
        ends_.push_back(base + end);
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
