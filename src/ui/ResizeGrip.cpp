#include "ui/ResizeGrip.h"

#include <QMouseEvent>
#include <algorithm>

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

ResizeGrip::ResizeGrip(Qt::Edges edges, QWidget* window) : QWidget(window), edges_(edges) {
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(cursorFor(edges));
}

QRect ResizeGrip::placement(QSize windowSize) const {
    const int width = windowSize.width();
    const int height = windowSize.height();
    const bool corner =
        (edges_ & (Qt::LeftEdge | Qt::RightEdge)) && (edges_ & (Qt::TopEdge | Qt::BottomEdge));
    const int across = corner ? cornerLength : thickness;
    const int left = (edges_ & Qt::RightEdge) ? width - across : 0;
    const int top = (edges_ & Qt::BottomEdge) ? height - across : 0;
    if (corner)
        return QRect(left, top, across, across);
    if (edges_ & (Qt::LeftEdge | Qt::RightEdge))
        return QRect(left, cornerLength, thickness, std::max(0, height - 2 * cornerLength));
    return QRect(cornerLength, top, std::max(0, width - 2 * cornerLength), thickness);
}

QRect ResizeGrip::resized(const QRect& start, Qt::Edges edges, QPoint delta, QSize minimum,
                          QSize maximum) {
    int left = start.left();
    int top = start.top();
    int width = start.width();
    int height = start.height();
    const auto bounded = [](int value, int low, int high) {
        return std::max(low, std::min(value, high));
    };
    if (edges & Qt::LeftEdge) {
        width = bounded(start.width() - delta.x(), minimum.width(), maximum.width());
        left = start.left() + start.width() - width;
    } else if (edges & Qt::RightEdge) {
        width = bounded(start.width() + delta.x(), minimum.width(), maximum.width());
    }
    if (edges & Qt::TopEdge) {
        height = bounded(start.height() - delta.y(), minimum.height(), maximum.height());
        top = start.top() + start.height() - height;
    } else if (edges & Qt::BottomEdge) {
        height = bounded(start.height() + delta.y(), minimum.height(), maximum.height());
    }
    return QRect(left, top, width, height);
}

void ResizeGrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressPosition_ = event->globalPosition().toPoint();
    startGeometry_ = window()->geometry();
    event->accept();
}

void ResizeGrip::mouseMoveEvent(QMouseEvent* event) {
    if (!pressPosition_ || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    event->accept();
    follow(event->globalPosition().toPoint());
}

void ResizeGrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    pressPosition_.reset();
    event->accept();
    emit released();
}

void ResizeGrip::follow(QPoint globalPosition) {
    // Handed to the window manager instead, the resize would start from wherever the pointer
    // is when the manager takes it, losing what it moved meanwhile; adding up the moves would
    // lose whatever the event queue merged.
    const QPoint delta = globalPosition - *pressPosition_;
    QWidget* target = window();
    const QRect frame =
        resized(startGeometry_, edges_, delta, target->minimumSize(), target->maximumSize());
    if (frame != target->geometry())
        target->setGeometry(frame);
}
