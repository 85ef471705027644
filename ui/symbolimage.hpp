#pragma once

#include <QIcon>
#include <QWidget>

namespace ravik {

/// The flat twin of a picture button: the same symbol at the same place, on a flat face.
/// Painted from the icon at the screen's own resolution, so it stays crisp on high-DPI screens.
class SymbolImage : public QWidget {
    Q_OBJECT

public:
    explicit SymbolImage(QWidget* parent = nullptr);

    void setIcon(const QIcon& icon);
    void setIconSize(const QSize& size);

signals:
    /// The keyboard reached the image: its button should take its place and the focus.
    void focusReceived();

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    QIcon icon_;
    QSize iconSize_{16, 16};
};

} // namespace ravik
