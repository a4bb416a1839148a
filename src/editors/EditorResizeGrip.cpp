#include "editors/EditorResizeGrip.h"

#include <QMouseEvent>

namespace {
Qt::CursorShape cursorFor(Qt::Edges edges) {
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling =
            edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge);
        return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    return horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}
} // namespace

EditorResizeGrip::EditorResizeGrip(Qt::Edges edges, QWidget* panel)
    : QWidget(panel), edges_(edges) {
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(cursorFor(edges));
    place();
}

void EditorResizeGrip::place() {
    const QRect bounds = parentWidget()->rect();
    const bool left = edges_ & Qt::LeftEdge;
    const bool right = edges_ & Qt::RightEdge;
    const bool top = edges_ & Qt::TopEdge;
    const bool bottom = edges_ & Qt::BottomEdge;
    const bool corner = (left || right) && (top || bottom);
    const int width = corner ? cornerLength : (left || right ? thickness : bounds.width());
    const int height = corner ? cornerLength : (top || bottom ? thickness : bounds.height());
    const int x = right ? bounds.width() - width : 0;
    const int y = bottom ? bounds.height() - height : 0;
    setGeometry(x, y, width, height);
    raise();
}

void EditorResizeGrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    window()->activateWindow();
    pressedAt_ = event->globalPosition().toPoint();
    startGeometry_ = window()->geometry();
    resizedPanel_ = false;
}

void EditorResizeGrip::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedAt_ || !(event->buttons() & Qt::LeftButton))
        return;
    const QRect target = resized(event->globalPosition().toPoint() - *pressedAt_);
    if (target != window()->geometry()) {
        window()->setGeometry(target);
        resizedPanel_ = true;
    }
}

void EditorResizeGrip::mouseReleaseEvent(QMouseEvent*) {
    const bool ended = pressedAt_ && resizedPanel_;
    pressedAt_.reset();
    resizedPanel_ = false;
    if (ended)
        emit resizeEnded();
}

QRect EditorResizeGrip::resized(QPoint delta) const {
    const QSize minimum = window()->minimumSize();
    QRect rect = startGeometry_;
    // The moving edge stops where the panel would get smaller than its minimum.
    if (edges_ & Qt::LeftEdge)
        rect.setLeft(std::min(rect.left() + delta.x(), rect.right() + 1 - minimum.width()));
    if (edges_ & Qt::RightEdge)
        rect.setRight(std::max(rect.right() + delta.x(), rect.left() + minimum.width() - 1));
    if (edges_ & Qt::TopEdge)
        rect.setTop(std::min(rect.top() + delta.y(), rect.bottom() + 1 - minimum.height()));
    if (edges_ & Qt::BottomEdge)
        rect.setBottom(std::max(rect.bottom() + delta.y(), rect.top() + minimum.height() - 1));
    return rect;
}
