// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/peaks.hpp"
#include "core/format/silences.hpp"
#include "timescale.hpp"

#include <QImage>
#include <QWidget>
#include <cstddef>
#include <optional>
#include <vector>

namespace ravik {

/// The recording's waveform with the GAP file's silences over it, a millisecond ruler above and
/// the part a GAP file cannot reach shaded. It paints from the recording's peaks only; edits
/// it asks for through its signals, and the owner changes the list and calls update().
class WaveformView : public QWidget {
    Q_OBJECT

public:
    /// The timeline's blue, and the other colours of the picture.
    static const QColor kBackground;
    static const QColor kWave;
    static const QColor kSilence;
    static const QColor kSelected;
    static const QColor kBeyondReach;
    static const QColor kPastTheEnd; // the area after the recording's end
    static const QColor kHatch;      // a silence's hatching there
    static const QColor kSelectedHatch;
    static const QColor kPlayHead;
    static const QColor kPlayFrom;
    static constexpr int kRulerHeight = 20;

    explicit WaveformView(QWidget* parent = nullptr);

    /// What to draw (null: nothing); both must outlive the view or be replaced. Silences past
    /// the recording's end are hatched. Fits the whole recording and every silence, the pointer
    /// at its start.
    void setContent(const audio::Peaks* peaks, const std::vector<Silence>* list);

    [[nodiscard]] std::optional<std::size_t> selected() const { return selected_; }
    [[nodiscard]] silences::Edge selectedEdge() const { return selectedEdge_; }
    void select(std::optional<std::size_t> index, silences::Edge edge = silences::Edge::Start);

    [[nodiscard]] double totalMs() const;
    [[nodiscard]] const TimeScale& scale() const { return scale_; }
    [[nodiscard]] double viewStartMs() const { return scale_.startMs; }
    [[nodiscard]] double msPerPixel() const { return scale_.msPerPixel; }
    /// Shows from `startMs` at the given scale, kept within the recording and the zoom limits.
    void setView(double startMs, double msPerPixel);
    /// Shows what `scale` shows, kept within the recording and the zoom limits.
    void setScale(const TimeScale& scale);
    void fitAll();
    /// Zooms by `factor` (above 1: closer) keeping `atMs` where it is on screen.
    void zoomAround(double factor, double atMs);
    [[nodiscard]] double msAt(double x) const { return scale_.msAt(x); }
    [[nodiscard]] double xAt(double ms) const { return scale_.xAt(ms); }

    /// Where the recording itself ends; silences may lie past it.
    [[nodiscard]] double recordingMs() const;

    /// The time the pointer last pointed at or clicked.
    [[nodiscard]] double pointerMs() const { return pointerMs_; }
    void setPointerMs(double ms);
    /// Where playing starts: the play position once one is set (a click on the ruler, Home,
    /// End), until then the pointer's time.
    [[nodiscard]] double playFromMs() const { return playFrom_.value_or(pointerMs_); }
    [[nodiscard]] bool hasPlayFrom() const { return playFrom_.has_value(); }
    void setPlayFrom(double ms);
    void setPlayHead(std::optional<double> ms);
    [[nodiscard]] std::optional<double> playHead() const { return playHead_; }

signals:
    void viewChanged();
    void pointerMoved();
    void playFromChanged();
    void selectionChanged();
    /// An edge is being dragged to `ms`; `drag` numbers the drag, so one drag is one edit.
    void edgeDragged(std::size_t index, silences::Edge edge, int ms, int drag);
    /// The user drew a new silence.
    void silenceDrawn(const Silence& silence);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    enum class Drag { None, Edge, New, Ruler };

    [[nodiscard]] int wholeMsAt(double x) const;
    [[nodiscard]] QImage& waveImage();
    void paintRuler(QPainter& painter) const;
    void paintSilences(QPainter& painter) const;

    const audio::Peaks* peaks_ = nullptr;
    const std::vector<Silence>* list_ = nullptr;
    TimeScale scale_;
    double pointerMs_ = 0;
    std::optional<double> playFrom_;
    std::optional<double> playHead_;
    std::optional<std::size_t> selected_;
    silences::Edge selectedEdge_ = silences::Edge::Start;

    Drag drag_ = Drag::None;
    int dragSerial_ = 0;
    int anchorMs_ = 0;
    double pressX_ = 0;
    std::optional<Silence> drawn_;

    // The waveform of the current view, made again only when the view or the size changes.
    QImage wave_;
    double waveStartMs_ = -1;
    double waveMsPerPixel_ = -1;
};

} // namespace ravik
