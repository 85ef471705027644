// SPDX-License-Identifier: GPL-3.0-or-later
#include "voicepackmodel.hpp"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <algorithm>
#include <map>
#include <tuple>

namespace ravik {

using voicepack::Line;
using voicepack::Scan;
using voicepack::Status;

void VoicePackModel::setLines(std::vector<Line> lines) {
    beginResetModel();
    lines_ = std::move(lines);
    scans_.assign(lines_.size(), std::nullopt);
    endResetModel();
}

void VoicePackModel::relist(std::vector<Line> lines) {
    std::map<std::tuple<std::string, std::optional<std::string>, std::optional<std::string>>,
             std::optional<Scan>>
        before;
    for (std::size_t row = 0; row < lines_.size(); ++row)
        before[{lines_[row].name, lines_[row].gap, lines_[row].recording}] = std::move(scans_[row]);
    beginResetModel();
    lines_ = std::move(lines);
    scans_.assign(lines_.size(), std::nullopt);
    for (std::size_t row = 0; row < lines_.size(); ++row)
        if (const auto found =
                before.find({lines_[row].name, lines_[row].gap, lines_[row].recording});
            found != before.end())
            scans_[row] = std::move(found->second);
    endResetModel();
}

const Line& VoicePackModel::line(int row) const {
    return lines_.at(static_cast<std::size_t>(row));
}

const std::optional<Scan>& VoicePackModel::scan(int row) const {
    return scans_.at(static_cast<std::size_t>(row));
}

void VoicePackModel::setScans(std::vector<std::pair<int, Scan>> scans) {
    std::erase_if(scans,
                  [this](const auto& scan) { return scan.first < 0 || scan.first >= rowCount(); });
    std::ranges::sort(scans, {}, &std::pair<int, Scan>::first);
    // One change for each run of neighbouring rows, and only of the columns a scan fills: the
    // line's name, which the table is most often sorted by, stays, so the rows stay in place.
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        const int row = scans[i].first;
        scans_[static_cast<std::size_t>(row)] = std::move(scans[i].second);
        const bool runEnds = i + 1 == scans.size() || scans[i + 1].first != row + 1;
        if (runEnds) {
            emit dataChanged(index(scans[runStart].first, FormatColumn),
                             index(row, ColumnCount - 1));
            runStart = i + 1;
        }
    }
}

void VoicePackModel::setGap(int row, std::optional<std::string> gap) {
    lines_.at(static_cast<std::size_t>(row)).gap = std::move(gap);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

std::array<int, voicepack::kStatusCount + 1>
VoicePackModel::counts(const std::vector<int>& rows) const {
    std::array<int, voicepack::kStatusCount + 1> counts{};
    for (const int row : rows) {
        const std::optional<Scan>& scan = scans_.at(static_cast<std::size_t>(row));
        ++counts[scan ? static_cast<std::size_t>(scan->status) : voicepack::kStatusCount];
    }
    return counts;
}

std::array<int, voicepack::kStatusCount + 1> VoicePackModel::counts() const {
    std::array<int, voicepack::kStatusCount + 1> counts{};
    for (const std::optional<Scan>& scan : scans_)
        ++counts[scan ? static_cast<std::size_t>(scan->status) : voicepack::kStatusCount];
    return counts;
}

int VoicePackModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int VoicePackModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant VoicePackModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Line& line = lines_[static_cast<std::size_t>(index.row())];
    const std::optional<Scan>& scan = scans_[static_cast<std::size_t>(index.row())];
    if (role == StatusRole)
        return scan ? static_cast<int>(scan->status) : -1;
    const bool sorting = role == SortRole;
    // A name the column is too narrow for is cut in its middle: its tooltip holds it whole, with
    // the folder's path before it.
    if (role == Qt::ToolTipRole && index.column() == LineColumn)
        return QDir::toNativeSeparators(
            QString::fromStdString(line.gap ? *line.gap : line.recording.value_or(line.name)));
    if (role != Qt::DisplayRole && !sorting) {
        if (role == Qt::TextAlignmentRole && index.column() != LineColumn &&
            index.column() != StatusColumn && index.column() != FormatColumn)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    switch (index.column()) {
    case LineColumn:
        return QString::fromStdString(line.name);
    case FormatColumn:
        return scan ? QString::fromStdString(scan->format) : QString();
    case LengthColumn:
        if (!scan || !scan->seconds)
            return sorting ? QVariant(-1.0) : QVariant(QString());
        return sorting ? QVariant(*scan->seconds)
                       : QVariant(QLocale::c().toString(*scan->seconds, 'f', 2) + " s");
    case SilencesColumn:
        if (!scan || !scan->silences)
            return sorting ? QVariant(-1LL) : QVariant(QString());
        return sorting ? QVariant(static_cast<qlonglong>(*scan->silences))
                       : QVariant(QString::number(*scan->silences));
    case StatusColumn:
        if (!scan)
            return sorting ? QVariant(static_cast<int>(voicepack::kStatusCount))
                           : QVariant(QString());
        return sorting ? QVariant(static_cast<int>(scan->status))
                       : QVariant(QString::fromStdString(voicepack::statusText(*scan)));
    case ChangedColumn: {
        if (!scan)
            return sorting ? QVariant(0LL) : QVariant(QString());
        const qint64 ms = scan->changedNs() / 1'000'000;
        return sorting ? QVariant(static_cast<qlonglong>(ms))
                       : QVariant(QDateTime::fromMSecsSinceEpoch(ms).toString(
                             QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    default:
        return {};
    }
}

QVariant VoicePackModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case LineColumn:
        return tr("Line");
    case FormatColumn:
        return tr("Format");
    case LengthColumn:
        return tr("Length");
    case SilencesColumn:
        return tr("Silences");
    case StatusColumn:
        return tr("Status");
    case ChangedColumn:
        return tr("Changed");
    default:
        return {};
    }
}

VoicePackFilter::VoicePackFilter(QObject* parent)
    : QSortFilterProxyModel(parent) {
    setSortRole(VoicePackModel::SortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    // A row is judged again when its status changes; the text filter's column never does.
    setFilterKeyColumn(VoicePackModel::StatusColumn);
}

void VoicePackFilter::setStatus(std::optional<Status> status) {
    status_ = status;
    invalidateRowsFilter();
}

void VoicePackFilter::setText(const QString& text) {
    text_ = text;
    invalidateRowsFilter();
}

bool VoicePackFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
    const QModelIndex line = sourceModel()->index(row, VoicePackModel::LineColumn, parent);
    if (status_ &&
        sourceModel()->data(line, VoicePackModel::StatusRole).toInt() != static_cast<int>(*status_))
        return false;
    return text_.isEmpty() ||
           sourceModel()->data(line).toString().contains(text_, Qt::CaseInsensitive);
}

} // namespace ravik
