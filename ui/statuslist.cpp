// SPDX-License-Identifier: GPL-3.0-or-later
#include "statuslist.hpp"

#include "statuslistmodel.hpp"
#include "utf8text.hpp"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>
#include <algorithm>
#include <vector>

namespace ravik {
namespace {

// Room left and right of a line's text inside its cell, as the item delegate draws it.
int textMargin(const QWidget* view) {
    return view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
}

} // namespace

StatusList::StatusList(QWidget* parent)
    : QTableView(parent) {
    horizontalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(0);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false); // Tab goes on to the next control, as in every other one
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    auto* copy = new QAction(tr("&Copy"), this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &StatusList::copySelection);
    auto* selectEverything = new QAction(tr("Select &All"), this);
    selectEverything->setShortcut(QKeySequence::SelectAll);
    selectEverything->setShortcutContext(Qt::WidgetShortcut);
    connect(selectEverything, &QAction::triggered, this, &QAbstractItemView::selectAll);
    addAction(copy);
    addAction(selectEverything);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void StatusList::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    longestWidth_ = 0;
    if (auto* lines = qobject_cast<StatusListModel*>(model)) {
        const auto measure = [this, lines] {
            const std::string_view longest = lines->longestLine();
            longestWidth_ = fontMetrics().horizontalAdvance(fromUtf8(longest));
            fitColumn();
        };
        connect(lines, &StatusListModel::longestLineChanged, this, measure);
    }
    fitColumn();
}

void StatusList::fitColumn() {
    if (model() == nullptr || model()->columnCount() == 0)
        return;
    // Lines are measured by their length in bytes, so a shorter line of wider letters can
    // still reach past the column: some slack, and the tooltip for whatever is still cut.
    const int needed = longestWidth_ + 2 * textMargin(this) + fontMetrics().averageCharWidth();
    horizontalHeader()->resizeSection(0, std::max(viewport()->width(), needed));
}

bool StatusList::isCut(const QModelIndex& index) const {
    const QRect cell = visualRect(index);
    const int textLeft = cell.left() + textMargin(this);
    const int textRight =
        textLeft + fontMetrics().horizontalAdvance(index.data(Qt::DisplayRole).toString());
    return textLeft < 0 ||
           textRight > std::min(cell.right() - textMargin(this) + 1, viewport()->width());
}

bool StatusList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        const bool handled = QTableView::viewportEvent(event);
        fitColumn();
        return handled;
    }
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid() && isCut(index))
            QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(),
                               viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QTableView::viewportEvent(event);
}

QString StatusList::selectedText() const {
    std::vector<std::pair<int, int>> ranges; // first and last row of each selected range
    for (const QItemSelectionRange& range : selectionModel()->selection())
        ranges.emplace_back(range.top(), range.bottom());
    std::ranges::sort(ranges);
    QString text;
    int next = 0; // rows before it are taken already
    for (const auto& [top, bottom] : ranges)
        for (int row = std::max(top, next); row <= bottom; ++row) {
            text += model()->index(row, 0).data(Qt::DisplayRole).toString();
            text += QLatin1Char('\n');
            next = row + 1;
        }
    return text;
}

void StatusList::copySelection() const {
    QGuiApplication::clipboard()->setText(selectedText());
}

} // namespace ravik
