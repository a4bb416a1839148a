#include "editors/KippetCardFrame.h"

#include "app/DailyKippet.h"
#include "dashboard/SheetStyle.h"
#include "model/Kippet.h"
#include "platform/Animations.h"

#include <QEnterEvent>
#include <QPainter>
#include <QVariantAnimation>

KippetCardFrame::KippetCardFrame(Kippet* kippet, QWidget* parent)
    : QWidget(parent), kippet_(kippet) {
    if (kippet_) {
        connect(kippet_, &Kippet::colorChanged, this, [this] { updateLook(); });
        connect(kippet_, &Kippet::isDailyKippetChanged, this, [this] { updateLook(); });
    }
}

QColor KippetCardFrame::accent() const {
    if (!kippet_)
        return palette().color(QPalette::Highlight);
    return kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
}

QColor KippetCardFrame::borderColor() const {
    if (hover_ <= 0)
        return Qt::transparent;
    QColor colour = accent();
    colour.setAlphaF(float(colour.alphaF() * 0.5 * hover_));
    return colour;
}

void KippetCardFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect());
    SheetStyle::paintUltraThinMaterial(painter, bounds, cornerRadius, palette());
    if (hover_ > 0) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(borderColor(), 2));
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), cornerRadius, cornerRadius);
    }
}

void KippetCardFrame::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    setHovering(true);
}

void KippetCardFrame::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHovering(false);
}

void KippetCardFrame::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateLook();
}

void KippetCardFrame::setHovering(bool hovering) {
    isHovering_ = hovering;
    const qreal target = hovering ? 1.0 : 0.0;
    if (!Animations::enabled()) {
        hover_ = target;
        update();
        return;
    }
    if (!hoverAnimation_) {
        hoverAnimation_ = new QVariantAnimation(this);
        hoverAnimation_->setDuration(hoverAnimationMs);
        hoverAnimation_->setEasingCurve(QEasingCurve::InOutQuad);
        connect(hoverAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            hover_ = v.toReal();
            update();
        });
    }
    hoverAnimation_->stop();
    hoverAnimation_->setStartValue(hover_);
    hoverAnimation_->setEndValue(target);
    hoverAnimation_->start();
}
