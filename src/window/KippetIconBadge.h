#pragma once

#include <QColor>
#include <QWidget>

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

    void setColor(const QColor& color);
    void setIcon(const QString& icon);
    void setIsActive(bool isActive);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintGlow(QPainter& painter, const QRectF& circle) const;

    QColor color_;
    QString icon_;
    bool isActive_;
    qreal size_;
};
