#pragma once

#include <QRect>
#include <QWidget>
#include <optional>

// An invisible strip along an edge (or a square at a corner) of a resizable frameless window.
// Dragging it resizes the window: every frame is worked out from the frame at the press and how
// far the pointer now is from where it was pressed, so the dragged edges stay under the pointer
// at any speed; a plain click resizes nothing.
class ResizeGrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int thickness = 6;
    static constexpr int cornerLength = 16;

    ResizeGrip(Qt::Edges edges, QWidget* window);

    Qt::Edges edges() const { return edges_; }
    // Its place along the window's rectangle of the given size.
    QRect placement(QSize windowSize) const;

    // The window's geometry (Qt's coordinates) after dragging the edges by `delta`, within the
    // size limits; the opposite edges stay put.
    static QRect resized(const QRect& start, Qt::Edges edges, QPoint delta, QSize minimum,
                         QSize maximum);

signals:
    // The mouse went up after a press on the grip.
    void released();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void follow(QPoint globalPosition);

    Qt::Edges edges_;
    std::optional<QPoint> pressPosition_;
    QRect startGeometry_;
};
