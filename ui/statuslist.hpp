#pragma once

#include <QTableView>

namespace ravik {

/// The status list: one column of lines, one line per row. A table view with fixed row heights,
/// because it places rows by arithmetic instead of visiting each one, so appending to a list of
/// a million lines costs no more than appending to a short one.
class StatusList : public QTableView {
    Q_OBJECT

public:
    explicit StatusList(QWidget* parent = nullptr);
};

} // namespace ravik
