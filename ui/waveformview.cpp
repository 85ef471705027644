// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveformview.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace ravik {
namespace {

// A press this close to a silence's edge takes the edge.
constexpr double kEdgeGrip = 4.0;
// A drag shorter than this is a click.
constexpr double kLeastDrag = 3.0;
// The width of the frame that shows the view has the keyboard focus.
constexpr double kFocusMark = 2.0;

} // namespace

const QColor WaveformView::kBackground(0, 0, 0);
const QColor WaveformView::kWave(150, 220, 150);
const QColor WaveformView::kSilence(0, 0, 255, 110);
const QColor WaveformView::kSelected(90, 150, 255, 150);
const QColor WaveformView::kBeyondReach(128, 128, 128, 100);
const QColor WaveformView::kPastTheEnd(55, 55, 55);
const QColor WaveformView::kHatch(70, 110, 255);
const QColor WaveformView::kSelectedHatch(150, 190, 255);
const QColor WaveformView::kPlayHead(255, 60, 60);
const QColor WaveformView::kPlayFrom(255, 200, 0);

WaveformView::WaveformView(QWidget* parent)
    : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 120);
}

void WaveformView::setContent(const audio::Peaks* peaks, const std::vector<Silence>* list) {
    peaks_ = peaks;
    list_ = list;
    selected_.reset();
    playHead_.reset();
    playFrom_.reset();
    pointerMs_ = 0;
    waveStartMs_ = -1;
    fitAll();
    emit pointerMoved();
}

void WaveformView::select(std::optional<std::size_t> index, silences::Edge edge) {
    if (index && (!list_ || *index >= list_->size()))
        index.reset();
    selected_ = index;
    selectedEdge_ = edge;
    emit selectionChanged();
    update();
}

double WaveformView::totalMs() const {
    double total = peaks_ ? peaks_->lengthMs() : 0.0;
    if (list_ && !list_->empty())
        total = std::max(total, static_cast<double>(list_->back().end + 1));
    return std::max(total, 1.0);
}

void WaveformView::setScale(const TimeScale& scale) {
    TimeScale now = scale;
    now.widthPx = std::max(1, width());
    now.totalMs = totalMs();
    scale_ = now.at(now.startMs, now.msPerPixel);
    emit viewChanged();
    update();
}

void WaveformView::setView(double startMs, double msPerPixel) {
    TimeScale scale = scale_;
    scale.startMs = startMs;
    scale.msPerPixel = msPerPixel;
    setScale(scale);
}

void WaveformView::fitAll() {
    TimeScale scale = scale_;
    scale.widthPx = std::max(1, width());
    scale.totalMs = totalMs();
    setScale(scale.whole());
}

void WaveformView::zoomAround(double factor, double atMs) {
    setScale(scale_.zoomedAround(factor, atMs));
}

void WaveformView::setPointerMs(double ms) {
    pointerMs_ = std::clamp(ms, 0.0, totalMs());
    emit pointerMoved();
}

double WaveformView::recordingMs() const {
    return peaks_ ? peaks_->lengthMs() : 0.0;
}

void WaveformView::setPlayFrom(double ms) {
    playFrom_ = std::clamp(ms, 0.0, totalMs());
    emit playFromChanged();
    update();
}

void WaveformView::setPlayHead(std::optional<double> ms) {
    playHead_ = ms;
    update();
}

int WaveformView::wholeMsAt(double x) const {
    return static_cast<int>(std::lround(msAt(x)));
}

// --- Painting ---------------------------------------------------------------------------

QImage& WaveformView::waveImage() {
    const QSize size(width(), height());
    if (wave_.size() == size && waveStartMs_ == scale_.startMs &&
        waveMsPerPixel_ == scale_.msPerPixel)
        return wave_;
    wave_ = QImage(size, QImage::Format_RGB32);
    wave_.fill(kBackground);
    waveStartMs_ = scale_.startMs;
    waveMsPerPixel_ = scale_.msPerPixel;
    if (!peaks_ || peaks_->sampleRate() <= 0)
        return wave_;
    const double framesPerMs = peaks_->sampleRate() / 1000.0;
    const int top = kRulerHeight;
    const double middle = top + (height() - top) / 2.0;
    const double half = (height() - top) / 2.0 - 1.0;
    const QRgb colour = kWave.rgb();
    for (int x = 0; x < width(); ++x) {
        const auto first = static_cast<std::int64_t>(std::floor(msAt(x) * framesPerMs));
        const auto last =
            std::max(first + 1, static_cast<std::int64_t>(std::floor(msAt(x + 1) * framesPerMs)));
        const std::optional<audio::PeakRange> range = peaks_->range(first, last);
        if (!range)
            continue;
        const int y0 =
            std::clamp(static_cast<int>(std::lround(middle - range->high / 32767.0 * half)), top,
                       height() - 1);
        const int y1 = std::clamp(
            static_cast<int>(std::lround(middle - range->low / 32767.0 * half)), top, height() - 1);
        for (int y = y0; y <= y1; ++y)
            reinterpret_cast<QRgb*>(wave_.scanLine(y))[x] = colour;
    }
    return wave_;
}

void WaveformView::paintRuler(QPainter& painter) const {
    painter.fillRect(0, 0, width(), kRulerHeight, QColor(45, 45, 45));
    painter.setPen(QColor(200, 200, 200));
    const double step = scale_.rulerStep();
    const double minor = step / 5.0;
    for (double ms = std::floor(scale_.startMs / minor) * minor; xAt(ms) < width(); ms += minor) {
        const int x = static_cast<int>(std::lround(xAt(ms)));
        const bool major = std::fmod(std::round(ms / minor), 5.0) == 0.0;
        painter.drawLine(x, kRulerHeight - (major ? 8 : 4), x, kRulerHeight - 1);
        if (major)
            painter.drawText(x + 3, kRulerHeight - 8, QString::number(std::llround(ms)));
    }
}

void WaveformView::paintSilences(QPainter& painter) const {
    const int top = kRulerHeight;
    const int bottom = height();
    const auto box = [&](const Silence& silence) {
        const double x0 = xAt(static_cast<double>(silence.start));
        const double x1 = std::max(xAt(static_cast<double>(silence.end)), x0 + 1.0);
        return QRectF(x0, top, x1 - x0, bottom - top);
    };
    const double end = peaks_ ? std::max(0.0, xAt(recordingMs())) : static_cast<double>(width());
    if (end < width()) // outside the waveform's area: a GAP file may list times there
        painter.fillRect(QRectF(end, top, width() - end, bottom - top), kPastTheEnd);
    if (list_) {
        const auto first = std::ranges::lower_bound(
            *list_, static_cast<int>(std::floor(scale_.startMs)), {}, &Silence::end);
        for (auto at = first; at != list_->end() && xAt(static_cast<double>(at->start)) < width();
             ++at) {
            const bool chosen =
                selected_ && *selected_ == static_cast<std::size_t>(at - list_->begin());
            const QRectF whole = box(*at);
            QRectF within = whole;
            within.setRight(std::min(whole.right(), end));
            QRectF past = whole;
            past.setLeft(std::max(whole.left(), end));
            if (within.width() > 0)
                painter.fillRect(within, chosen ? kSelected : kSilence);
            if (past.width() > 0) { // hatched and outlined: no sound lies under it
                const QColor hatch = chosen ? kSelectedHatch : kHatch;
                painter.fillRect(past, QBrush(hatch, Qt::BDiagPattern));
                painter.setPen(QPen(hatch, 1));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(past.adjusted(0.5, 0.5, -0.5, -0.5));
            }
            if (chosen) {
                const double edge = xAt(static_cast<double>(
                    selectedEdge_ == silences::Edge::Start ? at->start : at->end));
                painter.setPen(QPen(QColor(255, 255, 255), 2));
                painter.drawLine(QPointF(edge, top), QPointF(edge, bottom));
            }
        }
    }
    if (drawn_)
        painter.fillRect(box(*drawn_), kSelected);
}

void WaveformView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, waveImage());
    paintSilences(painter);
    const double reach = xAt(silences::kLastMs);
    if (reach < width())
        painter.fillRect(QRectF(std::max(0.0, reach), kRulerHeight, width(), height()),
                         kBeyondReach);
    paintRuler(painter);
    const double pointer = xAt(pointerMs_);
    painter.setPen(QPen(QColor(255, 255, 255, 140), 1, Qt::DashLine));
    painter.drawLine(QPointF(pointer, kRulerHeight), QPointF(pointer, height()));
    if (playHead_) {
        painter.setPen(QPen(kPlayHead, 1));
        painter.drawLine(QPointF(xAt(*playHead_), 0), QPointF(xAt(*playHead_), height()));
    }
    if (hasFocus()) { // where the keys go, as every other control shows it
        painter.setPen(QPen(palette().color(QPalette::Highlight), kFocusMark));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(kFocusMark / 2.0, kFocusMark / 2.0,
                                                 -kFocusMark / 2.0, -kFocusMark / 2.0));
    }
    // A line and a mark on the ruler, apart from the play-head's red; over the focus frame and
    // inside the view, so that Home's and End's are seen at the edges.
    if (playFrom_ && scale_.shows(*playFrom_)) {
        const double x =
            std::clamp(std::floor(xAt(*playFrom_)), 0.0, static_cast<double>(width() - 1)) + 0.5;
        painter.setPen(QPen(kPlayFrom, 1));
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
        painter.setBrush(kPlayFrom);
        painter.drawPolygon(QPolygonF({QPointF(x - 5, 0), QPointF(x + 5, 0), QPointF(x, 7)}));
    }
}

void WaveformView::resizeEvent(QResizeEvent*) {
    setScale(scale_);
}

void WaveformView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void WaveformView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

// --- The pointer ------------------------------------------------------------------------

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !list_)
        return QWidget::mousePressEvent(event);
    const double x = event->position().x();
    pressX_ = x;
    setPointerMs(msAt(x));
    if (event->position().y() < kRulerHeight) { // the ruler sets the play position, nothing else
        drag_ = Drag::Ruler;
        setPlayFrom(msAt(x));
        return;
    }
    // The nearest edge within grip, else the silence under the pointer, else new room.
    std::optional<std::size_t> edgeOf;
    silences::Edge edge = silences::Edge::Start;
    double nearest = kEdgeGrip;
    for (std::size_t i = 0; i < list_->size(); ++i) {
        for (const auto& [which, ms] : {std::pair{silences::Edge::Start, (*list_)[i].start},
                                        std::pair{silences::Edge::End, (*list_)[i].end}}) {
            const double distance = std::abs(xAt(static_cast<double>(ms)) - x);
            if (distance <= nearest) {
                nearest = distance;
                edgeOf = i;
                edge = which;
            }
        }
    }
    if (edgeOf) {
        drag_ = Drag::Edge;
        ++dragSerial_;
        select(edgeOf, edge);
        return;
    }
    if (const auto inside = silences::silenceAt(*list_, wholeMsAt(x))) {
        select(inside, selectedEdge_);
        return;
    }
    select(std::nullopt);
    drag_ = Drag::New;
    anchorMs_ = wholeMsAt(x);
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    setPointerMs(msAt(x));
    if (drag_ == Drag::Ruler)
        setPlayFrom(msAt(x));
    else if (drag_ == Drag::Edge && selected_)
        emit edgeDragged(*selected_, selectedEdge_, wholeMsAt(x), dragSerial_);
    else if (drag_ == Drag::New && list_ && std::abs(x - pressX_) >= kLeastDrag) {
        drawn_ = silences::newSilence(*list_, anchorMs_, wholeMsAt(x));
        update();
    }
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const Drag was = drag_;
    drag_ = Drag::None;
    if (was == Drag::New && drawn_) {
        const Silence silence = *drawn_;
        drawn_.reset();
        emit silenceDrawn(silence);
    }
    update();
}

void WaveformView::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    const double notches = (angle.y() != 0 ? angle.y() : angle.x()) / 120.0;
    if (event->modifiers() & Qt::ControlModifier)
        zoomAround(std::pow(1.25, notches), msAt(event->position().x()));
    else
        setView(scale_.startMs - notches * width() * scale_.msPerPixel / 10.0, scale_.msPerPixel);
    event->accept();
}

} // namespace ravik
