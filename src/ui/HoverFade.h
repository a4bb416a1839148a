#pragma once

#include <QEasingCurve>
#include <QPointer>

class QVariantAnimation;
class QWidget;

// How far a widget is under the pointer: 0 away from it, 1 under it, eased between the two and
// repainting the widget at each step. The animation is made at the first hover, since most of
// the widgets that have one never see the pointer; with animations off the value jumps.
class HoverFade {
public:
    HoverFade(QWidget* owner, int durationMs, QEasingCurve::Type curve);

    qreal value() const { return value_; }
    // Eases towards 1 while hovering, else towards 0.
    void fadeTo(bool hovering);

private:
    QWidget* owner_;
    int durationMs_;
    QEasingCurve::Type curve_;
    qreal value_ = 0;
    QPointer<QVariantAnimation> animation_;
};
