#include "statuslistmodel.hpp"

namespace ravik {

int StatusListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant StatusListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    const std::string_view line = lines_[static_cast<std::size_t>(index.row())];
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

void StatusListModel::append(std::string_view line) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    lines_.add(line);
    endInsertRows();
}

void StatusListModel::append(const StatusLines& lines, std::size_t first, std::size_t count) {
    if (count == 0)
        return;
    const int row = rowCount();
    beginInsertRows({}, row, row + static_cast<int>(count) - 1);
    lines_.append(lines, first, count);
    endInsertRows();
}

void StatusListModel::clear() {
    beginResetModel();
    lines_ = StatusLines();
    endResetModel();
}

} // namespace ravik
