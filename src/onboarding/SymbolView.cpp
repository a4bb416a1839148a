#include "onboarding/SymbolView.h"

#include "ui/Symbols.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QLinearGradient>
#include <QPainter>
#include <cmath>

SymbolView::SymbolView(const QString& symbol, int points, QWidget* parent)
    : QWidget(parent), symbol_(symbol), points_(points) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setSymbol(const QString& symbol) {
    if (symbol_ != symbol) {
        symbol_ = symbol;
        update();
    }
}

void SymbolView::setColor(Theme::Named color) {
    from_ = color;
    to_.reset();
    fixed_.reset();
    update();
}

void SymbolView::setColor(const QColor& color) {
    to_.reset();
    fixed_ = color;
    update();
}

void SymbolView::setGradient(Theme::Named from, Theme::Named to) {
    from_ = from;
    to_ = to;
    fixed_.reset();
    update();
}

void SymbolView::setGlow(Theme::Named color, qreal opacity, qreal radius) {
    glowColor_ = color;
    glowOpacity_ = opacity;
    glowRadius_ = radius;
    updateGlow();
}

void SymbolView::updateGlow() {
    if (!glowColor_) {
        return;
    }
    auto* effect = qobject_cast<QGraphicsDropShadowEffect*>(graphicsEffect());
    if (!effect) {
        effect = new QGraphicsDropShadowEffect(this);
        effect->setOffset(0, 0);
        setGraphicsEffect(effect);
    }
    effect->setBlurRadius(glowRadius_);
    effect->setColor(Theme::withAlpha(Theme::color(*glowColor_, palette()), glowOpacity_));
}

QSize SymbolView::sizeHint() const {
    const int side = static_cast<int>(std::lround(points_ * 1.1));
    return {side, side};
}

void SymbolView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        updateGlow();
    }
    QWidget::changeEvent(event);
}

void SymbolView::paintEvent(QPaintEvent*) {
    const int side = qMin(width(), height());
    const qreal ratio = devicePixelRatioF();
    const int pixels = qRound(side * ratio);
    QPixmap art;
    if (!to_) {
        art = Symbols::pixmapOfSide(symbol_, pixels,
                                    fixed_ ? *fixed_ : Theme::color(from_, palette()), ratio);
    } else {
        // The glyph in white, then the gradient kept only where the glyph is.
        QImage glyph = Symbols::pixmapOfSide(symbol_, pixels, Qt::white, ratio)
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        glyph.setDevicePixelRatio(ratio);
        QPainter fill(&glyph);
        fill.setCompositionMode(QPainter::CompositionMode_SourceIn);
        const QRectF square(0, 0, side, side);
        QLinearGradient gradient(square.topLeft(), square.bottomRight());
        gradient.setColorAt(0, Theme::color(from_, palette()));
        gradient.setColorAt(1, Theme::color(*to_, palette()));
        fill.fillRect(square, gradient);
        fill.end();
        art = QPixmap::fromImage(glyph);
    }
    QPainter painter(this);
    painter.drawPixmap(QPointF((width() - side) / 2.0, (height() - side) / 2.0), art);
}
