#include "editors/KippetCardFrame.h"

#include "app/DailyKippet.h"
#include "model/Kippet.h"
#include "ui/PointerHover.h"
#include "ui/Theme.h"

#include <QEnterEvent>
#include <QPainter>
#include <utility>

KippetCardFrame::KippetCardFrame(Kippet* kippet, QWidget* parent)
    : QWidget(parent), kippet_(kippet), hover_(this, hoverAnimationMs, QEasingCurve::InOutQuad) {
    // Inside the window's scroll area the texts would take the view's text role and draw in
    // the plain text colour, whatever shade their own window-text colour gives them.
    setBackgroundRole(QPalette::Window);
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
    if (hover_.value() <= 0)
        return Qt::transparent;
    QColor colour = accent();
    colour.setAlphaF(float(colour.alphaF() * 0.5 * hover_.value()));
    return colour;
}

void KippetCardFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect());
    Theme::paintUltraThinMaterial(painter, bounds, cornerRadius, palette());
    if (hover_.value() > 0) {
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

void KippetCardFrame::followPointer() {
    setHovering(PointerHover::isUnderPointer(this));
}

void KippetCardFrame::setHovering(bool hovering) {
    if (std::exchange(isHovering_, hovering) == hovering)
        return;
    hover_.fadeTo(hovering);
}
