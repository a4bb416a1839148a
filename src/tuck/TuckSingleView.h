#pragma once

#include "model/Kippet.h"
#include "model/ScreenEdge.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <chrono>
#include <functional>

class ClockAnimation;
class TuckSpring;

// The content of one pull tab: the kippet's icon on a small tab in the translucent or the black
// cut-out style, a border while selected or while a drop hovers, a click that toggles the
// selection, a drag that moves the tab from edge to edge, the tab's menu, and drops that go
// straight into the kippet.
class TuckSingleView : public QWidget {
    Q_OBJECT
public:
    static inline const QString cutoutKey = QStringLiteral("kippet_tuck_cutout");
    static inline const QString monochromeKey = QStringLiteral("kippet_tuck_monochrome");
    // Beyond this many points from the press a gesture is a drag.
    static constexpr double dragThreshold = 5;
    static constexpr qreal iconPointSize = 14;
    static constexpr qreal selectedIconScale = 1.15;
    static constexpr qreal selectedBorderWidth = 4.5;
    static constexpr qreal dropBorderWidth = 3.5;
    // A selection shows and hides in an ease-in-out of this length; the icon's growth follows
    // its own spring.
    static constexpr std::chrono::milliseconds selectionDuration{150};
    static constexpr double iconSpringResponse = 0.35;
    static constexpr double iconSpringDamping = 0.55;

    TuckSingleView(Kippet* kippet, ScreenEdge initialEdge, qreal cornerRadius,
                   QWidget* parent = nullptr);

    // The untuck callback the tab's menu calls.
    std::function<void()> onUntuck;
    // Called on every move of a drag, with the pointer's global position in Qt's coordinates.
    std::function<void(QPointF globalPosition)> onPullTabDrag;

    bool isSelected() const { return isSelected_; }
    bool isDraggingTab() const { return isDraggingTab_; }
    bool isDraggingOver() const { return isDraggingOver_; }
    ScreenEdge currentEdge() const { return currentEdge_; }

    // What is drawn now, half-way through a change of selection included.
    QColor kippetColor() const;
    QColor iconColor() const;
    qreal iconScale() const;
    // 0 unselected, 1 selected, between while the selection changes.
    qreal selectionShown() const;
    // Zero while no border shows.
    qreal borderWidth() const;
    QColor borderColor() const;
    bool isCutout() const;
    // The shadow the tab casts around itself, drawn by the panel beneath the tab; nothing in the
    // cut-out style. `topLeft` is where the tab stands in the painter's coordinates.
    void paintShadow(QPainter& painter, QPointF topLeft) const;
    // How many times the tab was painted; a change of style must paint it again.
    int paintCount() const { return paintCount_; }

signals:
    // The shadow's colour or shape changed, or it came or went.
    void shadowChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void observe();
    void updateNames();
    void postSelection(bool selected);
    void setSelected(bool selected);
    void kippetColorChanged();

    QPointer<Kippet> kippet_;
    QUuid kippetId_;
    qreal cornerRadius_;
    ScreenEdge currentEdge_;
    bool isSelected_ = false;
    bool isDraggingTab_ = false;
    bool isDraggingOver_ = false;
    bool isPressed_ = false;
    QPointF pressPosition_;
    int paintCount_ = 0;
    ClockAnimation* selection_;
    // The last shadow drawn and what it was drawn for: it is asked for on every paint of the
    // panel, while the selection animates too.
    mutable QImage shadowImage_;
    mutable QPointF shadowOrigin_;
    mutable QString shadowKey_;
    TuckSpring* iconSpring_;
};
