#include "dashboard/KeyboardGrid.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>

KeyboardGrid::KeyboardGrid(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::TabFocus);
}

bool KeyboardGrid::isGridKey(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    default:
        return false;
    }
}

bool KeyboardGrid::event(QEvent* event) {
    // The sheet's Return is its confirm button's; on a focused grid it chooses the cell.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if (isGridKey(key->key())) {
                event->accept();
                return true;
            }
        }
    }
    return QWidget::event(event);
}

void KeyboardGrid::keyPressEvent(QKeyEvent* event) {
    const int columns = columnCount();
    switch (event->key()) {
    case Qt::Key_Left:
        moveFocus(focused_ - 1);
        break;
    case Qt::Key_Right:
        moveFocus(focused_ + 1);
        break;
    case Qt::Key_Up:
        moveFocus(focused_ - columns);
        break;
    case Qt::Key_Down:
        moveFocus(focused_ + columns);
        break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        chooseCell(focused_);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void KeyboardGrid::moveFocus(int cell) {
    // Within the grid: a move past its edge stays where it is.
    if (cell < 0 || cell >= cellCount() || cell == focused_)
        return;
    update(cellRect(focused_).adjusted(-focusMargin, -focusMargin, focusMargin, focusMargin));
    focused_ = cell;
    update(cellRect(focused_).adjusted(-focusMargin, -focusMargin, focusMargin, focusMargin));
    revealFocusedCell();
}

void KeyboardGrid::revealFocusedCell() {
    // In a scrolling form the cell the keyboard moved to comes into view.
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        auto* area = qobject_cast<QScrollArea*>(ancestor);
        if (!area || !area->widget() || !area->widget()->isAncestorOf(this))
            continue;
        const QRect cell = cellRect(focused_);
        const QPoint centre = mapTo(area->widget(), cell.center());
        area->ensureVisible(centre.x(), centre.y(), cell.width() / 2 + focusMargin,
                            cell.height() / 2 + focusMargin);
        return;
    }
}

void KeyboardGrid::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    const int selected = selectedCell();
    focused_ = selected >= 0 ? selected : 0;
    update();
    revealFocusedCell();
}

void KeyboardGrid::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void KeyboardGrid::paintFocus(QPainter& painter) const {
    if (!hasFocus() || focused_ < 0 || focused_ >= cellCount())
        return;
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2.5));
    paintFocusRing(painter, QRectF(cellRect(focused_)));
    painter.restore();
}
