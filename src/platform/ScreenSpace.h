#pragma once

#include "platform/RectD.h"

#include <QPointF>
#include <QRect>
#include <QRectF>

// The one converter between the app's screen coordinates (origin at the bottom left of the
// primary screen, y up) and Qt's (origin at the top left of the virtual desktop, y down).
// Everything inside the app computes in the app's coordinates; only the Qt boundary converts.
class ScreenSpace {
public:
    // `primaryGeometry`: the primary screen's geometry in Qt's coordinates.
    explicit ScreenSpace(QRectF primaryGeometry = QRectF(0, 0, 1440, 900))
        : primary_(primaryGeometry) {}

    QRectF toQt(const RectD& rect) const;
    RectD fromQt(const QRectF& rect) const;
    // Qt's integer geometry of a window frame; rounds to whole pixels.
    QRect toQtRect(const RectD& rect) const { return toQt(rect).toRect(); }
    QPointF toQtPoint(QPointF point) const;
    QPointF fromQtPoint(QPointF point) const;

    QRectF primaryGeometry() const { return primary_; }

private:
    // The Qt y of the app's y = 0: the bottom edge of the primary screen.
    double baseline() const { return primary_.y() + primary_.height(); }

    QRectF primary_;
};
