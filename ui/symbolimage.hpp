// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QWidget>

namespace ravik {

/// The flat twin of a picture button: the same symbol at the same place, on a flat face.
/// Holding the focus, it shows a focus frame. Painted from the icon at the screen's own resolution,
/// so it stays crisp on high-DPI screens.
class SymbolImage : public QWidget {
    Q_OBJECT

public:
    explicit SymbolImage(QWidget* parent = nullptr);

    void setIcon(const QIcon& icon);
    void setIconSize(const QSize& size);

signals:
    /// The image got the focus: from the keyboard (Tab), its button should take its place.
    void focusReceived(Qt::FocusReason reason);
    /// Space or Enter while the image holds the focus: its button's action.
    void activated();

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QIcon icon_;
    QSize iconSize_{16, 16};
};

} // namespace ravik
