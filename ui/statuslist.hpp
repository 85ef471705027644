// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTableView>

namespace ravik {

/// The status list: one column of lines, one line per row. A table view with fixed row heights,
/// because it places rows by arithmetic instead of visiting each one, so appending to a list of
/// a million lines costs no more than appending to a short one. Every line can be read and
/// taken: the column is as wide as the longest line (with a scroll bar when that is wider than
/// the list), a line still cut shows its whole text as its tooltip, and the selected lines are
/// copied as plain text (Ctrl+C, or "Copy" in the context menu; Ctrl+A selects all).
class StatusList : public QTableView {
    Q_OBJECT

public:
    explicit StatusList(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    /// The selected lines in list order, each ended by a line break.
    [[nodiscard]] QString selectedText() const;
    /// Puts the selected lines on the clipboard.
    void copySelection() const;

protected:
    bool viewportEvent(QEvent* event) override;

private:
    void fitColumn();
    [[nodiscard]] bool isCut(const QModelIndex& index) const;

    int longestWidth_ = 0; // of the longest line, measured once when it arrives
};

} // namespace ravik
