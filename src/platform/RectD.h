#pragma once

#include <QMetaType>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <algorithm>

// A rectangle in the app's screen coordinates: points, origin at the bottom left of the primary
// screen, y growing upward. (x, y) is the bottom-left corner.
struct RectD {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    RectD() = default;
    RectD(double x, double y, double width, double height)
        : x(x), y(y), width(width), height(height) {}
    RectD(QPointF origin, QSizeF size)
        : x(origin.x()), y(origin.y()), width(size.width()), height(size.height()) {}

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    QPointF origin() const { return {x, y}; }
    QSizeF size() const { return {width, height}; }
    QPointF center() const { return {midX(), midY()}; }
    bool isEmpty() const { return width <= 0 || height <= 0; }

    // Half-open: the minimum edges belong to the rectangle, the maximum edges do not.
    bool contains(QPointF point) const {
        return !isEmpty() && point.x() >= minX() && point.x() < maxX() && point.y() >= minY() &&
               point.y() < maxY();
    }
    // The other rectangle lies wholly inside; shared edges count as inside.
    bool contains(const RectD& other) const {
        return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() &&
               other.maxY() <= maxY();
    }
    // Only a positive overlap counts: rectangles that merely touch do not intersect.
    bool intersects(const RectD& other) const {
        return std::max(minX(), other.minX()) < std::min(maxX(), other.maxX()) &&
               std::max(minY(), other.minY()) < std::min(maxY(), other.maxY());
    }

    bool operator==(const RectD&) const = default;
    QString toString() const;
};

Q_DECLARE_METATYPE(RectD)
