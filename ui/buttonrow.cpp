// SPDX-License-Identifier: GPL-3.0-or-later
#include "buttonrow.hpp"

#include "symbolimage.hpp"

#include <QAbstractButton>
#include <QEvent>
#include <QWidget>

namespace ravik {

ButtonRow::ButtonRow(QWidget& window, std::array<Slot, 5> places)
    : QObject(&window)
    , window_(window)
    , places_(places) {
    for (const Slot& slot : places_) {
        slot.image->installEventFilter(this);
        // Only the keyboard raises a slot by its focus; the row hands the focus between a
        // slot's image and button itself, so that the pointer's rules alone decide the look.
        connect(slot.image, &SymbolImage::focusReceived, this,
                [this, slot](Qt::FocusReason reason) {
                    if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason)
                        return;
                    raise(slot);
                    slot.button->setFocus(reason);
                });
        connect(slot.image, &SymbolImage::activated, slot.button, &QAbstractButton::click);
    }
    flattenAll();
}

// A hidden widget with the focus passes it to the next one in the tab order, as if the user had
// pressed Tab, which would raise that slot: the look that takes the place takes the focus first.
void ButtonRow::raise(const Slot& slot) {
    slot.button->show();
    if (window_.focusWidget() == slot.image)
        slot.button->setFocus(Qt::OtherFocusReason);
    slot.image->hide();
}

void ButtonRow::flattenAll() {
    for (const Slot& slot : places_) {
        slot.image->show();
        if (window_.focusWidget() == slot.button)
            slot.image->setFocus(Qt::OtherFocusReason);
        slot.button->hide();
    }
}

bool ButtonRow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove)
        for (const Slot& slot : places_)
            if (watched == slot.image) {
                raise(slot);
                return true;
            }
    return QObject::eventFilter(watched, event);
}

} // namespace ravik
