#include "onboarding/ConfettiPiece.h"

#include "onboarding/TourStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QRandomGenerator>
#include <cmath>
#include <numbers>

namespace {
double uniform(QRandomGenerator& random, double low, double high) {
    return low + random.generateDouble() * (high - low);
}

// One coordinate of the cubic Bézier from 0 to 1 with inner control values a and b.
double bezier(double t, double a, double b) {
    const double u = 1 - t;
    return 3 * u * u * t * a + 3 * u * t * t * b + t * t * t;
}

double bezierSlope(double t, double a, double b) {
    const double u = 1 - t;
    return 3 * u * u * a + 6 * u * t * (b - a) + 3 * t * t * (1 - b);
}
} // namespace

double ConfettiPiece::easeInOut(double progress) {
    const double x = std::clamp(progress, 0.0, 1.0);
    // The curve's parameter for this x, by Newton's method; the curve rises monotonically.
    double t = x;
    for (int i = 0; i < 8; ++i) {
        const double slope = bezierSlope(t, 0.42, 0.58);
        if (std::abs(slope) < 1e-9) {
            break;
        }
        t = std::clamp(t - (bezier(t, 0.42, 0.58) - x) / slope, 0.0, 1.0);
    }
    return bezier(t, 0.0, 1.0);
}

ConfettiPiece::Pose ConfettiPiece::at(double seconds) const {
    const double eased = easeInOut((seconds - delay) / fallSeconds);
    return {startY + (targetY - startY) * eased,
            startRotation + (endRotation - startRotation) * eased, 1.0 - eased};
}

QList<ConfettiPiece> ConfettiPiece::create(const QSizeF& size, QRandomGenerator& random) {
    using Theme::Named;
    const QPalette palette = QApplication::palette();
    const QList<QColor> colors{
        Theme::color(Named::red, palette),    Theme::color(Named::orange, palette),
        Theme::color(Named::yellow, palette), Theme::color(Named::green, palette),
        Theme::color(Named::blue, palette),   Theme::color(Named::purple, palette),
        Theme::color(Named::pink, palette)};
    QList<ConfettiPiece> pieces;
    pieces.reserve(count);
    for (int id = 0; id < count; ++id) {
        ConfettiPiece piece;
        piece.id = id;
        piece.color = colors[static_cast<int>(random.bounded(static_cast<int>(colors.size())))];
        piece.x = uniform(random, 0, size.width());
        piece.startY = uniform(random, -100, -50);
        piece.size = uniform(random, 8, 16);
        piece.startRotation = uniform(random, 0, 360);
        piece.delay = uniform(random, 0, 0.5);
        piece.targetY = size.height() + 50;
        pieces.append(piece);
    }
    // The end angles are drawn when the falls start, after every piece is made.
    for (ConfettiPiece& piece : pieces) {
        piece.endRotation = uniform(random, 720, 1080);
    }
    return pieces;
}

void ConfettiPiece::paint(QPainter& painter, const QList<ConfettiPiece>& pieces, double seconds) {
    // Placing a ready picture costs a fraction of filling a turned, rounded outline every frame.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    for (const ConfettiPiece& piece : pieces) {
        const Pose pose = piece.at(seconds);
        if (pose.opacity <= 0) {
            continue;
        }
        const QImage& sprite = piece.spriteFor(pose.rotation, ratio);
        const double half = sprite.width() / ratio / 2;
        painter.setOpacity(pose.opacity);
        painter.drawImage(QPointF(piece.x - half, pose.y - half), sprite);
    }
    painter.setOpacity(1);
}

const QImage& ConfettiPiece::spriteFor(double rotation, qreal ratio) const {
    constexpr int steps = 90 / angleStep;
    if (sprites.size() != steps ||
        (!sprites[0].isNull() && sprites[0].devicePixelRatio() != ratio)) {
        sprites = QList<QImage>(steps);
    }
    const double quarter = std::fmod(std::fmod(rotation, 90.0) + 90.0, 90.0);
    const int step = static_cast<int>(std::lround(quarter / angleStep)) % steps;
    QImage& sprite = sprites[step];
    if (!sprite.isNull()) {
        return sprite;
    }
    // Room for the turned square's corners and its soft edge.
    const int side = static_cast<int>(std::ceil((size * std::numbers::sqrt2 + 2) * ratio));
    sprite = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
    sprite.fill(Qt::transparent);
    QPainter draw(&sprite);
    draw.setRenderHint(QPainter::Antialiasing);
    draw.setPen(Qt::NoPen);
    draw.setBrush(color);
    draw.translate(side / 2.0, side / 2.0);
    draw.rotate(step * angleStep);
    const double extent = size * ratio;
    draw.drawRoundedRect(QRectF(-extent / 2, -extent / 2, extent, extent), cornerRadius * ratio,
                         cornerRadius * ratio);
    draw.end();
    sprite.setDevicePixelRatio(ratio);
    return sprite;
}
