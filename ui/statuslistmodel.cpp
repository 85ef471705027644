// SPDX-License-Identifier: GPL-3.0-or-later
#include "statuslistmodel.hpp"

#include "utf8text.hpp"

namespace ravik {

int StatusListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant StatusListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    const std::string_view line = lines_[static_cast<std::size_t>(index.row())];
    return fromUtf8(line);
}

void StatusListModel::append(std::string_view line) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    lines_.add(line);
    endInsertRows();
    noteLengths(lines_.size() - 1, 1);
}

void StatusListModel::append(const StatusLines& lines, std::size_t first, std::size_t count) {
    if (count == 0)
        return;
    const int row = rowCount();
    beginInsertRows({}, row, row + static_cast<int>(count) - 1);
    lines_.append(lines, first, count);
    endInsertRows();
    noteLengths(lines_.size() - count, count);
}

void StatusListModel::clear() {
    beginResetModel();
    lines_ = StatusLines();
    longestRow_ = 0;
    longestSize_ = 0;
    endResetModel();
    emit longestLineChanged();
}

std::string_view StatusListModel::longestLine() const {
    return lines_.empty() ? std::string_view() : lines_[longestRow_];
}

void StatusListModel::noteLengths(std::size_t first, std::size_t count) {
    const std::size_t before = longestSize_;
    for (std::size_t row = first; row < first + count; ++row)
        if (lines_[row].size() > longestSize_) {
            longestSize_ = lines_[row].size();
            longestRow_ = row;
        }
    if (longestSize_ != before)
        emit longestLineChanged();
}

} // namespace ravik
