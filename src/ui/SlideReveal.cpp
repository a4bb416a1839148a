#include "ui/SlideReveal.h"

#include "platform/Animations.h"
#include "platform/ClockAnimation.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>

SlideReveal::SlideReveal(QWidget* content, QWidget* parent)
    : QWidget(parent), content_(content), animation_(new ClockAnimation(this)) {
    content_->setParent(this);
    content_->installEventFilter(this);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    animation_->jumpTo(1);
    connect(animation_, &ClockAnimation::valueChanged, this, &SlideReveal::stepped);
    connect(animation_, &ClockAnimation::finished, this, &SlideReveal::settled);
}

qreal SlideReveal::fraction() const {
    return animation_->value();
}

void SlideReveal::setRevealed(bool revealed) {
    if (revealed == revealed_)
        return;
    revealed_ = revealed;
    // Off screen there is nothing to watch; the part is simply there or not.
    const bool onScreen = parentWidget() && parentWidget()->isVisible();
    if (!Animations::enabled() || !onScreen) {
        animation_->jumpTo(revealed ? 1 : 0);
        setVisible(revealed);
        return;
    }
    if (revealed)
        show();
    animation_->animateTo(revealed ? 1 : 0, Animations::settlingTime(Animations::formSpring),
                          Animations::formSpringCurve());
}

int SlideReveal::contentHeight(int width) const {
    if (content_->hasHeightForWidth() && width > 0)
        return content_->heightForWidth(width);
    return content_->sizeHint().height();
}

QSize SlideReveal::sizeHint() const {
    const QSize full = content_->sizeHint();
    return {full.width(), qRound(full.height() * fraction())};
}

QSize SlideReveal::minimumSizeHint() const {
    return {content_->minimumSizeHint().width(), sizeHint().height()};
}

bool SlideReveal::hasHeightForWidth() const {
    return content_->hasHeightForWidth();
}

int SlideReveal::heightForWidth(int width) const {
    return qRound(contentHeight(width) * fraction());
}

bool SlideReveal::eventFilter(QObject* watched, QEvent* event) {
    // The part's own size changed (a longer text): the box follows.
    if (watched == content_ && event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        placeContent();
    }
    return QWidget::eventFilter(watched, event);
}

void SlideReveal::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeContent();
}

void SlideReveal::stepped() {
    updateGeometry();
    placeContent();
}

void SlideReveal::settled() {
    if (!revealed_)
        hide();
    placeContent();
}

// The part hangs from the box's bottom edge, so that a growing box lets it down from the top.
void SlideReveal::placeContent() {
    const int full = contentHeight(width());
    content_->setGeometry(0, height() - full, width(), full);
    const qreal shown = fraction();
    if (shown >= 1) {
        content_->setGraphicsEffect(nullptr);
        return;
    }
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(content_->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(content_);
        content_->setGraphicsEffect(effect);
    }
    effect->setOpacity(shown);
}
