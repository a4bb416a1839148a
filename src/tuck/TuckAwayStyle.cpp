#include "tuck/TuckAwayStyle.h"

#include "app/DailyKippet.h"
#include "model/Kippet.h"
#include "platform/Preferences.h"
#include "ui/Theme.h"

#include <QPainter>

bool TuckAwayStyle::cutoutEnabled() {
    return Preferences::shared().boolOr(cutoutKey, false);
}

bool TuckAwayStyle::monochromeIcons() {
    return Preferences::shared().boolOr(monochromeKey, true);
}

QColor TuckAwayStyle::foreground(bool cutout, const QPalette& palette) {
    return cutout ? QColor(Qt::white) : palette.color(QPalette::WindowText);
}

QColor TuckAwayStyle::fill(bool cutout, const QPalette& palette) {
    return cutout ? QColor(Qt::black) : Theme::windowFill(Theme::Material::ultraThin, palette);
}

QColor TuckAwayStyle::kippetColor(const Kippet& kippet) {
    return kippet.isDailyKippet() ? dailyKippetColor() : kippet.color().toQColor();
}

void TuckAwayStyle::paintShadow(QPainter& painter, const QPainterPath& shape, double opacity,
                                double radius, QPointF offset) {
    painter.save();
    QPainterPath outside;
    outside.addRect(shape.boundingRect().adjusted(-2 * radius - 4, -2 * radius - 4, 2 * radius + 4,
                                                  2 * radius + 4));
    painter.setClipPath(outside.subtracted(shape));
    painter.setBrush(Qt::NoBrush);
    const QPainterPath moved = shape.translated(offset);
    // Rings of growing width, each faint: together they fade out from the shape's border.
    const int steps = std::max(1, static_cast<int>(radius));
    for (int step = steps; step >= 1; --step) {
        QColor colour(0, 0, 0);
        colour.setAlphaF(static_cast<float>(opacity * 2.0 / (steps + 1)));
        painter.setPen(QPen(colour, 2.0 * step * radius / steps));
        painter.drawPath(moved);
    }
    painter.restore();
}

QPainterPath TuckAwayStyle::tabShape(const QRectF& rect, double radius, ScreenEdge edge) {
    // Rounded corners: top left, top right, bottom right, bottom left.
    bool rounded[4] = {true, true, true, true};
    switch (edge) {
    case ScreenEdge::top:
        rounded[0] = rounded[1] = false;
        break;
    case ScreenEdge::bottom:
        rounded[2] = rounded[3] = false;
        break;
    case ScreenEdge::left:
        rounded[0] = rounded[3] = false;
        break;
    case ScreenEdge::right:
        rounded[1] = rounded[2] = false;
        break;
    }
    const double r = std::min(radius, std::min(rect.width(), rect.height()) / 2);
    const double left = rect.left();
    const double top = rect.top();
    const double right = rect.right();
    const double bottom = rect.bottom();
    QPainterPath path;
    path.moveTo(left + (rounded[0] ? r : 0), top);
    path.lineTo(right - (rounded[1] ? r : 0), top);
    if (rounded[1])
        path.arcTo(QRectF(right - 2 * r, top, 2 * r, 2 * r), 90, -90);
    path.lineTo(right, bottom - (rounded[2] ? r : 0));
    if (rounded[2])
        path.arcTo(QRectF(right - 2 * r, bottom - 2 * r, 2 * r, 2 * r), 0, -90);
    path.lineTo(left + (rounded[3] ? r : 0), bottom);
    if (rounded[3])
        path.arcTo(QRectF(left, bottom - 2 * r, 2 * r, 2 * r), 270, -90);
    path.lineTo(left, top + (rounded[0] ? r : 0));
    if (rounded[0])
        path.arcTo(QRectF(left, top, 2 * r, 2 * r), 180, -90);
    path.closeSubpath();
    return path;
}
