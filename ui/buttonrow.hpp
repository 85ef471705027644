// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <array>

class QAbstractButton;
class QWidget;

namespace ravik {

class SymbolImage;

/// The main window's row of raised slots: each place shows a flat image until the pointer moves
/// over it or the keyboard's focus reaches it, then the raised button in its place; the window's
/// bare background flattens the row again.
class ButtonRow : public QObject {
    Q_OBJECT

public:
    /// One place of the row: its button and its flat image.
    struct Slot {
        QAbstractButton* button = nullptr;
        SymbolImage* image = nullptr;
    };
    /// `window` holds the places, in the order the background flattens them.
    ButtonRow(QWidget& window, std::array<Slot, 5> places);

    /// Every slot flat, the focus on the image of the one that had it.
    void flattenAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void raise(const Slot& slot);

    QWidget& window_;
    std::array<Slot, 5> places_;
};

} // namespace ravik
