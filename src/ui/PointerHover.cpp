#include "ui/PointerHover.h"

#include <QCursor>
#include <QWidget>

namespace PointerHover {

bool isUnderPointer(const QWidget* widget) {
    if (!widget || !widget->isVisible())
        return false;
    const QPoint pointer = QCursor::pos(widget->screen());
    if (!widget->window()->geometry().contains(pointer))
        return false;
    // Clipped by every parent: a card scrolled under the edge of its view is not pointed at.
    return widget->visibleRegion().contains(widget->mapFromGlobal(pointer));
}

} // namespace PointerHover
