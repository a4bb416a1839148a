#pragma once

#include <QEasingCurve>
#include <QGraphicsEffect>
#include <chrono>

class ClockAnimation;
class QWidget;

// Brings a widget in by growing it from nothing about its centre while it fades in, and takes it
// out the same way, stepped on the Clock; its place in the layout stays taken throughout, only
// its drawing changes. With animations off, or off screen, it shows or hides at once. Installed
// as the widget's graphics effect, so the widget owns it.
class PopTransition : public QGraphicsEffect {
    Q_OBJECT
public:
    PopTransition(QWidget* target, const QEasingCurve& curve, std::chrono::milliseconds span);

    // How far the widget is in: 0 gone, 1 at its full size and opacity.
    qreal progress() const;
    void setShown(bool shown);

protected:
    void draw(QPainter* painter) override;

private:
    void settled();

    QWidget* target_;
    QEasingCurve curve_;
    std::chrono::milliseconds span_;
    ClockAnimation* animation_;
    bool shown_;
};
