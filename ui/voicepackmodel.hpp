// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pack/voicepack.hpp"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace ravik {

/// The voice pack's lines as a table: one row a line, its scan shown once it has come.
class VoicePackModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        LineColumn,
        FormatColumn,
        LengthColumn,
        SilencesColumn,
        StatusColumn,
        ChangedColumn,
        ColumnCount
    };
    /// The role sorting goes by: numbers where the column shows them, the status's rank.
    static constexpr int SortRole = Qt::UserRole;
    /// The status's rank (voicepack::Status), or -1 while the line waits for its scan.
    static constexpr int StatusRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    /// Shows `lines`, none scanned yet.
    void setLines(std::vector<voicepack::Line> lines);
    /// Shows `lines` in place of those shown, each keeping the scan it had when it was there
    /// before with the same files (a folder listed again).
    void relist(std::vector<voicepack::Line> lines);
    [[nodiscard]] const std::vector<voicepack::Line>& lines() const { return lines_; }
    [[nodiscard]] const voicepack::Line& line(int row) const;
    [[nodiscard]] const std::optional<voicepack::Scan>& scan(int row) const;
    /// Takes in scans that came from the workers, as one change of the table.
    void setScans(std::vector<std::pair<int, voicepack::Scan>> scans);
    /// The line's GAP file exists now, or no more (after a batch or a change on disk).
    void setGap(int row, std::optional<std::string> gap);

    /// How many lines have each status; the last count is of lines not scanned yet.
    [[nodiscard]] std::array<int, voicepack::kStatusCount + 1> counts() const;
    /// The same of the rows given.
    [[nodiscard]] std::array<int, voicepack::kStatusCount + 1>
    counts(const std::vector<int>& rows) const;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

private:
    std::vector<voicepack::Line> lines_;
    std::vector<std::optional<voicepack::Scan>> scans_;
};

/// The rows the text filter (a part of the line's path, any case) and the status filter let
/// through, sorted by the model's SortRole.
class VoicePackFilter final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit VoicePackFilter(QObject* parent = nullptr);
    /// Only lines of this status; nothing for every line.
    void setStatus(std::optional<voicepack::Status> status);
    void setText(const QString& text);

protected:
    [[nodiscard]] bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    std::optional<voicepack::Status> status_;
    QString text_;
};

} // namespace ravik
