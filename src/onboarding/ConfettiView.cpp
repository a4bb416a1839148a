#include "onboarding/ConfettiView.h"

#include "platform/Clock.h"
#include "platform/ClockTimer.h"

#include <QPainter>
#include <QRandomGenerator>

ConfettiView::ConfettiView(quint32 seed, QWidget* parent)
    : QWidget(parent), seed_(seed), frames_(new ClockTimer(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    frames_->setInterval(frameInterval);
    connect(frames_, &ClockTimer::timeout, this, [this] {
        update();
        // Nothing moves once the last piece has landed.
        if (elapsedSeconds() > ConfettiPiece::fallSeconds + 0.5) {
            frames_->stop();
        }
    });
}

double ConfettiView::elapsedSeconds() const {
    if (!start_.isValid()) {
        return 0;
    }
    return start_.msecsTo(Clock::shared().now()) / 1000.0;
}

bool ConfettiView::isAnimating() const {
    return frames_->isActive();
}

void ConfettiView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (pieces_.isEmpty()) {
        QRandomGenerator random(seed_);
        pieces_ = ConfettiPiece::create(QSizeF(size()), random);
        start_ = Clock::shared().now();
        frames_->start();
    }
}

void ConfettiView::hideEvent(QHideEvent* event) {
    frames_->stop();
    QWidget::hideEvent(event);
}

void ConfettiView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    ConfettiPiece::paint(painter, pieces_, elapsedSeconds());
}
