#include "platform/ScreenSpace.h"

QRectF ScreenSpace::toQt(const RectD& rect) const {
    return QRectF(rect.x + primary_.x(), baseline() - (rect.y + rect.height), rect.width,
                  rect.height);
}

RectD ScreenSpace::fromQt(const QRectF& rect) const {
    return RectD(rect.x() - primary_.x(), baseline() - (rect.y() + rect.height()), rect.width(),
                 rect.height());
}

QPointF ScreenSpace::toQtPoint(QPointF point) const {
    return QPointF(point.x() + primary_.x(), baseline() - point.y());
}

QPointF ScreenSpace::fromQtPoint(QPointF point) const {
    return QPointF(point.x() - primary_.x(), baseline() - point.y());
}
