// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/text/statuslines.hpp"

#include <QAbstractListModel>
#include <string_view>

namespace ravik {

/// The lines of the status list. Lines arrive in batches (a timeline brings one per silence, a
/// million for the largest file), each batch one insertion for the view.
class StatusListModel : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

    void append(std::string_view line);
    /// Appends lines [first, first + count) of `lines`.
    void append(const StatusLines& lines, std::size_t first, std::size_t count);
    void clear();

    [[nodiscard]] const StatusLines& lines() const { return lines_; }
    /// The line with the most bytes, the first of them; empty for an empty list.
    [[nodiscard]] std::string_view longestLine() const;

signals:
    /// A longer line came, or the list was cleared.
    void longestLineChanged();

private:
    void noteLengths(std::size_t first, std::size_t count);

    StatusLines lines_;
    std::size_t longestRow_ = 0;
    std::size_t longestSize_ = 0;
};

} // namespace ravik
