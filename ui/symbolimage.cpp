#include "symbolimage.hpp"

#include <QPainter>

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
}

void SymbolImage::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    emit focusReceived();
}

} // namespace ravik
