// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/timeline.hpp"

#include <QImage>
#include <QWidget>
#include <vector>

namespace ravik {

/// The timeline picture: black speech with a blue box for every silence. It keeps its boxes, so
/// a window that covered it takes nothing away.
class TimelinePicture : public QWidget {
    Q_OBJECT

public:
    explicit TimelinePicture(QWidget* parent = nullptr);

    /// Back to plain black.
    void clear();
    /// Boxes in the picture's own units (its pixels), each across `height` from the top.
    void setBoxes(std::vector<Box> boxes, int height);
    [[nodiscard]] const std::vector<Box>& boxes() const { return boxes_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] QImage render(qreal pixelRatio) const;

    std::vector<Box> boxes_;
    int boxHeight_ = 0;
    QImage cache_; // the boxes drawn at the screen's resolution; redrawn when they change
};

} // namespace ravik
