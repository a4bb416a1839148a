#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>
#include <optional>

// An invisible strip along one edge or corner of a frameless panel that resizes the panel when
// dragged, keeping the opposite edges in place and the panel's minimum size. It lies over the
// panel's content, so editable content reaching the edge never hides the edge from the pointer.
class EditorResizeGrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int thickness = 6;
    static constexpr int cornerLength = 14;

    EditorResizeGrip(Qt::Edges edges, QWidget* panel);

    Qt::Edges edges() const { return edges_; }
    // Puts the grip at its place along the panel's current bounds.
    void place();

signals:
    // The drag that resized the panel ended.
    void resizeEnded();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect resized(QPoint delta) const;

    Qt::Edges edges_;
    std::optional<QPoint> pressedAt_;
    QRect startGeometry_;
    bool resizedPanel_ = false;
};
