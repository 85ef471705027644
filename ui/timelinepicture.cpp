// SPDX-License-Identifier: GPL-3.0-or-later
#include "timelinepicture.hpp"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace ravik {
namespace {
const QColor kSpeech(0, 0, 0);
const QColor kSilence(0, 0, 255);
} // namespace

TimelinePicture::TimelinePicture(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TimelinePicture::clear() {
    setBoxes({}, 0);
}

void TimelinePicture::setBoxes(std::vector<Box> boxes, int height) {
    boxes_ = std::move(boxes);
    boxHeight_ = height;
    cache_ = QImage();
    update();
}

void TimelinePicture::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    if (cache_.isNull() || cache_.devicePixelRatio() != ratio)
        cache_ = render(ratio);
    QPainter(this).drawImage(QPoint(0, 0), cache_);
}

// Every box reaches from the top down the same height, so the picture is a set of blue columns:
// each box marks the columns it touches in a difference array, however many boxes there are.
// A box narrower than a column still shows as one column, so no silence disappears.
QImage TimelinePicture::render(qreal ratio) const {
    const int columns = static_cast<int>(std::ceil(width() * ratio));
    QImage image(columns, static_cast<int>(std::ceil(height() * ratio)), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(kSpeech);
    if (boxes_.empty() || boxHeight_ <= 0)
        return image;

    std::vector<int> starts(static_cast<std::size_t>(columns) + 1, 0);
    for (const Box& box : boxes_) {
        const double a = static_cast<double>(box.left) * ratio;
        const double b = (static_cast<double>(box.left) + static_cast<double>(box.width)) * ratio;
        const double low = std::min(a, b);
        const double high = std::max(a, b);
        if (!(high >= 0 && low < columns)) // outside the picture, or not a number
            continue;
        const auto first = static_cast<int>(std::max(0.0, std::floor(low)));
        const auto last = static_cast<int>(
            std::min<double>(columns - 1, std::max(std::floor(low), std::ceil(high) - 1)));
        ++starts[static_cast<std::size_t>(first)];
        --starts[static_cast<std::size_t>(last) + 1];
    }
    QPainter painter(&image);
    int covering = 0;
    for (int column = 0, runStart = -1; column <= columns; ++column) {
        covering += column < columns ? starts[static_cast<std::size_t>(column)] : 0;
        const bool blue = column < columns && covering > 0;
        if (blue && runStart < 0)
            runStart = column;
        if (!blue && runStart >= 0) {
            painter.fillRect(QRectF(runStart / ratio, 0, (column - runStart) / ratio, boxHeight_),
                             kSilence);
            runStart = -1;
        }
    }
    return image;
}

} // namespace ravik
