// SPDX-License-Identifier: GPL-3.0-or-later
#include "symbolimage.hpp"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace ravik {

SymbolImage::SymbolImage(QWidget* parent)
    : QWidget(parent) {
    setMouseTracking(true); // the pointer moving over the image raises its button
    setFocusPolicy(Qt::TabFocus);
}

void SymbolImage::setIcon(const QIcon& icon) {
    icon_ = icon;
    update();
}

void SymbolImage::setIconSize(const QSize& size) {
    iconSize_ = size;
    update();
}

void SymbolImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRect area(QPoint(), iconSize_);
    area.moveCenter(rect().center());
    icon_.paint(&painter, area);
    if (hasFocus()) {
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }
}

void SymbolImage::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
    emit focusReceived(event->reason());
}

void SymbolImage::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void SymbolImage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit activated();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace ravik
