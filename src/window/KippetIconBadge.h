#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

class QPainter;

// A kippet's symbol on a pale circle of its colour, glowing softly in that colour; brighter
// while its window is active. Where its colour would hardly show on the circle (a dark blue in
// the dark appearance, a pale yellow in the light one), the symbol is lightened or darkened just
// enough to stand out. The widget is the badge's size plus room for the glow around it.
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
    // Paints a badge with its glow into the square of outerSide(size) at `origin`, over the
    // opaque `backdrop`: for views that draw a badge among their own content rather than
    // holding a widget for it.
    static void paint(QPainter& painter, QPointF origin, const QColor& color, const QString& icon,
                      bool isActive, qreal size, qreal scale, const QColor& backdrop);

    void setColor(const QColor& color);
    void setIcon(const QString& icon);
    void setIsActive(bool isActive);
    // What shows behind the badge: a panel's tile unless set (a tray drawn black).
    void setBackdrop(const QColor& backdrop);
    QColor backdrop() const;
    // A kippet panel's tile, opaque: what a badge on a panel stands on.
    static QColor panelBackdrop(const QPalette& palette);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static void paintLook(QPainter& painter, const QColor& color, const QString& icon,
                          bool isActive, qreal size, qreal scale, const QColor& backdrop);

    QColor color_;
    QString icon_;
    bool isActive_;
    qreal size_;
    std::optional<QColor> backdrop_;
};
