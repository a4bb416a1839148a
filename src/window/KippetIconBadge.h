#pragma once

#include <QColor>
#include <QWidget>

class QPainter;

// A kippet's symbol on a pale circle of its colour, glowing softly in that colour; brighter
// while its window is active. The widget is the badge's size plus room for the glow around it.
class KippetIconBadge : public QWidget {
    Q_OBJECT
public:
    // Room on each side of the badge for its glow.
    static constexpr int glowMargin = 8;

    KippetIconBadge(const QColor& color, const QString& icon, bool isActive, qreal size,
                    QWidget* parent = nullptr);

    QColor color() const { return color_; }
    QString icon() const { return icon_; }
    bool isActive() const { return isActive_; }
    qreal badgeSize() const { return size_; }
    // The badge's circle within the widget.
    QRectF circleRect() const;
    // The side of the widget (or of the area painted) for a badge of `size`.
    static int outerSide(qreal size) { return qRound(size) + 2 * glowMargin; }
    // Paints a badge with its glow into the square of outerSide(size) at `origin`: for views
    // that draw a badge among their own content rather than holding a widget for it.
    static void paint(QPainter& painter, QPointF origin, const QColor& color, const QString& icon,
                      bool isActive, qreal size, qreal scale);

    void setColor(const QColor& color);
    void setIcon(const QString& icon);
    void setIsActive(bool isActive);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static void paintLook(QPainter& painter, const QColor& color, const QString& icon,
                          bool isActive, qreal size, qreal scale);

    QColor color_;
    QString icon_;
    bool isActive_;
    qreal size_;
};
