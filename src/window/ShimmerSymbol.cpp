#include "window/ShimmerSymbol.h"

#include "platform/Animations.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QLinearGradient>
#include <QPainter>
#include <QVariantAnimation>

namespace {
constexpr int pulsePeriod = 1600;
constexpr qreal dimmestPulse = 0.45;
} // namespace

ShimmerSymbol::ShimmerSymbol(const QString& systemName, qreal opacity, qreal peakOpacity,
                             int periodMs, QWidget* parent)
    : ShimmerSymbol(systemName, opacity, peakOpacity, periodMs, pointSize, bandWidth, parent) {}

ShimmerSymbol::ShimmerSymbol(const QString& systemName, qreal opacity, qreal peakOpacity,
                             int periodMs, qreal glyphPoints, qreal bandPoints, QWidget* parent)
    : QWidget(parent), systemName_(systemName), glyphPoints_(glyphPoints), bandPoints_(bandPoints),
      opacity_(opacity), peakOpacity_(peakOpacity), shimmer_(new QVariantAnimation(this)),
      pulseAnimation_(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(sizeHint());
    shimmer_->setDuration(periodMs);
    shimmer_->setStartValue(-100.0);
    shimmer_->setEndValue(100.0);
    shimmer_->setLoopCount(-1);
    connect(shimmer_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shimmerOffset_ = value.toReal();
        update();
    });
    pulseAnimation_->setDuration(pulsePeriod);
    pulseAnimation_->setKeyValueAt(0, 1.0);
    pulseAnimation_->setKeyValueAt(0.5, dimmestPulse);
    pulseAnimation_->setKeyValueAt(1, 1.0);
    pulseAnimation_->setLoopCount(-1);
    connect(pulseAnimation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { pulse_ = value.toReal(); });
}

QSize ShimmerSymbol::sizeHint() const {
    const int side = qCeil(glyphPoints_ * 1.1);
    return {side, side};
}

bool ShimmerSymbol::isAnimating() const {
    return shimmer_->state() == QAbstractAnimation::Running;
}

void ShimmerSymbol::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    startShimmer();
}

void ShimmerSymbol::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    shimmer_->stop();
    pulseAnimation_->stop();
    pulse_ = 1;
}

void ShimmerSymbol::startShimmer() {
    shimmerOffset_ = -100;
    if (!Animations::enabled())
        return;
    shimmer_->start();
    pulseAnimation_->start();
}

// The band as wide as the glyph's pixmap, cut out by the glyph.
QImage ShimmerSymbol::band(const QPixmap& glyph) const {
    QImage image(glyph.size(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(glyph.devicePixelRatio());
    image.fill(Qt::transparent);
    const QSizeF size = glyph.deviceIndependentSize();
    const bool dark = Theme::isDark(palette());
    QColor colour = dark ? Qt::white : Qt::black;
    QPainter painter(&image);
    const qreal left = size.width() / 2 + shimmerOffset_ - bandPoints_ / 2;
    QLinearGradient gradient(left, 0, left + bandPoints_, 0);
    colour.setAlphaF(0);
    gradient.setColorAt(0, colour);
    colour.setAlphaF(static_cast<float>(peakOpacity_));
    gradient.setColorAt(0.5, colour);
    colour.setAlphaF(0);
    gradient.setColorAt(1, colour);
    painter.fillRect(QRectF(QPointF(), size), gradient);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawPixmap(QPointF(), glyph);
    return image;
}

void ShimmerSymbol::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPixmap glyph = Symbols::pixmap(systemName_, glyphPoints_, Theme::secondary(palette()),
                                          devicePixelRatioF());
    QRectF target(QPointF(), glyph.deviceIndependentSize());
    target.moveCenter(QRectF(rect()).center());
    painter.setOpacity(opacity_ * pulse_);
    painter.drawPixmap(target, glyph, QRectF(glyph.rect()));
    painter.setOpacity(1);
    const QImage shimmer = band(glyph);
    painter.drawImage(target, shimmer, QRectF(shimmer.rect()));
}
