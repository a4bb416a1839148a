#include "ui/CrossFade.h"

#include "platform/Animations.h"
#include "platform/ClockAnimation.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPainter>

CrossFade::CrossFade(QWidget* target)
    : QWidget(target->parentWidget()), target_(target), animation_(new ClockAnimation(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    animation_->jumpTo(1);
    connect(animation_, &ClockAnimation::valueChanged, this, &CrossFade::stepped);
    connect(animation_, &ClockAnimation::finished, this, &CrossFade::finish);
    target->installEventFilter(this);
    hide();
}

bool CrossFade::isRunning() const {
    return animation_->isRunning();
}

qreal CrossFade::progress() const {
    return animation_->value();
}

void CrossFade::capture() {
    before_ = QPixmap();
    if (!target_ || !target_->isVisible() || !Animations::enabled())
        return;
    // Without the window's background, so that the old look lies over the same backdrop as the
    // new one; and as it shows now, a fade under way included.
    const qreal ratio = target_->devicePixelRatioF();
    QPixmap picture(target_->size() * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    if (isVisible()) {
        QPainter painter(&picture);
        render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    target_->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
    before_ = picture;
}

void CrossFade::start(std::chrono::milliseconds span, const QEasingCurve& curve) {
    if (before_.isNull() || !target_) {
        animation_->jumpTo(1);
        finish();
        return;
    }
    animation_->jumpTo(0);
    follow();
    raise();
    show();
    animation_->animateTo(1, span, curve);
}

void CrossFade::stepped() {
    if (!target_)
        return;
    const qreal shown = progress();
    if (shown >= 1)
        return;
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(target_->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(target_);
        target_->setGraphicsEffect(effect);
    }
    effect->setOpacity(shown);
    update();
}

void CrossFade::finish() {
    if (animation_->value() < 1)
        return;
    if (target_)
        target_->setGraphicsEffect(nullptr);
    before_ = QPixmap();
    hide();
}

void CrossFade::follow() {
    if (!target_)
        return;
    const QSize pictured = before_.isNull() ? QSize() : before_.deviceIndependentSize().toSize();
    setGeometry(QRect(target_->pos(), target_->size().expandedTo(pictured)));
}

bool CrossFade::eventFilter(QObject* watched, QEvent* event) {
    if (watched == target_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        follow();
    return QWidget::eventFilter(watched, event);
}

void CrossFade::paintEvent(QPaintEvent*) {
    if (before_.isNull())
        return;
    QPainter painter(this);
    painter.setOpacity(1 - progress());
    painter.drawPixmap(QPointF(0, 0), before_);
}
