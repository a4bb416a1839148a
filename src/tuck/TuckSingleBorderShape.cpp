#include "tuck/TuckSingleBorderShape.h"

#include <numbers>

namespace {
constexpr double pi = std::numbers::pi;

// A quarter circle about (cx, cy) from angle `from` to `to`, measured from +x towards +y as in
// y-down drawing; QPainterPath turns the other way, hence the negated angles.
void arc(QPainterPath& path, qreal cx, qreal cy, qreal r, double from, double to) {
    const auto degrees = [](double radians) { return radians * 180.0 / pi; };
    path.arcTo(QRectF(cx - r, cy - r, 2 * r, 2 * r), -degrees(from), -degrees(to - from));
}
} // namespace

QPainterPath TuckSingleBorderShape::border(const QRectF& rect, qreal r, ScreenEdge edge) {
    const qreal minX = rect.left(), maxX = rect.right(), minY = rect.top(), maxY = rect.bottom();
    QPainterPath path;
    switch (edge) {
    case ScreenEdge::top:
        path.moveTo(minX, minY);
        path.lineTo(minX, maxY - r);
        arc(path, minX + r, maxY - r, r, pi, pi / 2);
        path.lineTo(maxX - r, maxY);
        arc(path, maxX - r, maxY - r, r, pi / 2, 0);
        path.lineTo(maxX, minY);
        break;
    case ScreenEdge::bottom:
        path.moveTo(minX, maxY);
        path.lineTo(minX, minY + r);
        arc(path, minX + r, minY + r, r, pi, 3 * pi / 2);
        path.lineTo(maxX - r, minY);
        arc(path, maxX - r, minY + r, r, 3 * pi / 2, 2 * pi);
        path.lineTo(maxX, maxY);
        break;
    case ScreenEdge::left:
        path.moveTo(minX, minY);
        path.lineTo(maxX - r, minY);
        arc(path, maxX - r, minY + r, r, -pi / 2, 0);
        path.lineTo(maxX, maxY - r);
        arc(path, maxX - r, maxY - r, r, 0, pi / 2);
        path.lineTo(minX, maxY);
        break;
    case ScreenEdge::right:
        path.moveTo(maxX, minY);
        path.lineTo(minX + r, minY);
        arc(path, minX + r, minY + r, r, -pi / 2, -pi);
        path.lineTo(minX, maxY - r);
        arc(path, minX + r, maxY - r, r, pi, pi / 2);
        path.lineTo(maxX, maxY);
        break;
    }
    return path;
}

QPainterPath TuckSingleBorderShape::fill(const QRectF& rect, qreal r, ScreenEdge edge) {
    // Corner radii clockwise from the top left; the corners on the screen edge stay square.
    qreal topLeft = 0, topRight = 0, bottomRight = 0, bottomLeft = 0;
    switch (edge) {
    case ScreenEdge::top:
        bottomLeft = bottomRight = r;
        break;
    case ScreenEdge::bottom:
        topLeft = topRight = r;
        break;
    case ScreenEdge::left:
        topRight = bottomRight = r;
        break;
    case ScreenEdge::right:
        topLeft = bottomLeft = r;
        break;
    }
    const qreal minX = rect.left(), maxX = rect.right(), minY = rect.top(), maxY = rect.bottom();
    QPainterPath path;
    path.moveTo(minX + topLeft, minY);
    path.lineTo(maxX - topRight, minY);
    if (topRight > 0)
        arc(path, maxX - topRight, minY + topRight, topRight, -pi / 2, 0);
    path.lineTo(maxX, maxY - bottomRight);
    if (bottomRight > 0)
        arc(path, maxX - bottomRight, maxY - bottomRight, bottomRight, 0, pi / 2);
    path.lineTo(minX + bottomLeft, maxY);
    if (bottomLeft > 0)
        arc(path, minX + bottomLeft, maxY - bottomLeft, bottomLeft, pi / 2, pi);
    path.lineTo(minX, minY + topLeft);
    if (topLeft > 0)
        arc(path, minX + topLeft, minY + topLeft, topLeft, pi, 3 * pi / 2);
    path.closeSubpath();
    return path;
}
