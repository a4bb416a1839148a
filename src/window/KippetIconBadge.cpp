#include "window/KippetIconBadge.h"

#include "ui/Materials.h"
#include "ui/NamedColors.h"
#include "ui/Symbols.h"
#include "window/PaintCache.h"

#include <QPainter>
#include <QRadialGradient>
#include <optional>
#include <utility>

namespace {
QColor withAlpha(QColor color, qreal alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}
} // namespace

KippetIconBadge::KippetIconBadge(const QColor& color, const QString& icon, bool isActive,
                                 qreal size, QWidget* parent)
    : QWidget(parent), color_(color), icon_(icon), isActive_(isActive), size_(size) {
    const int side = outerSide(size);
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QRectF KippetIconBadge::circleRect() const {
    return {glowMargin, glowMargin, size_, size_};
}

void KippetIconBadge::setColor(const QColor& color) {
    color_ = color;
    update();
}

void KippetIconBadge::setIcon(const QString& icon) {
    icon_ = icon;
    update();
}

void KippetIconBadge::setIsActive(bool isActive) {
    isActive_ = isActive;
    update();
}

void KippetIconBadge::setBackdrop(const QColor& backdrop) {
    backdrop_ = backdrop;
    update();
}

QColor KippetIconBadge::backdrop() const {
    return backdrop_.value_or(panelBackdrop(palette()));
}

QColor KippetIconBadge::panelBackdrop(const QPalette& palette) {
    return Theme::windowFill(Theme::Material::underWindowBackground, palette,
                             Theme::Backdrop::opaque);
}

namespace {
// A soft shadow of the badge's colour, 2 points down: wider while the window is active.
void paintGlow(QPainter& painter, const QRectF& circle, const QColor& color, bool isActive,
               qreal size) {
    const qreal radius = isActive ? 6 : 2;
    const QPointF centre = circle.center() + QPointF(0, 2);
    const qreal outer = size / 2 + radius;
    QRadialGradient glow(centre, outer);
    const qreal inner = (size / 2 - radius) / outer;
    glow.setColorAt(0, withAlpha(color, 0.25));
    glow.setColorAt(std::max(0.0, inner), withAlpha(color, 0.25));
    glow.setColorAt(1, withAlpha(color, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, outer, outer);
}
} // namespace

void KippetIconBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QPointF(0, 0), color_, icon_, isActive_, size_, devicePixelRatioF(), backdrop());
}

// The disc, its glow and the symbol are one drawing per look, shared by every badge of it.
void KippetIconBadge::paint(QPainter& painter, QPointF origin, const QColor& color,
                            const QString& icon, bool isActive, qreal size, qreal scale,
                            const QColor& backdrop) {
    // Panels at rest mostly share one look: the last one is kept at hand, which spares building
    // the cache key for each of them. Never destroyed: a pixmap must not outlive the app.
    struct Look {
        QString icon;
        qreal size;
        QRgb color;
        QRgb backdrop;
        bool isActive;
        qreal scale;
        bool operator==(const Look&) const = default;
    };
    static auto& last = *new std::pair<std::optional<Look>, QPixmap>;
    const Look look{icon, size, color.rgba(), backdrop.rgba(), isActive, scale};
    if (last.first != look) {
        const int side = outerSide(size);
        const QString key = QStringLiteral("badge-") + icon + u'-' + QString::number(size) + u'-' +
                            QString::number(color.rgba(), 16) + u'-' +
                            QString::number(backdrop.rgba(), 16) +
                            QLatin1String(isActive ? "-1" : "-0");
        last = {look, PaintCache::drawing(key, QSize(side, side), scale, [&](QPainter& badge) {
                    paintLook(badge, color, icon, isActive, size, scale, backdrop);
                })};
    }
    painter.drawPixmap(origin, last.second);
}

void KippetIconBadge::paintLook(QPainter& painter, const QColor& color, const QString& icon,
                                bool isActive, qreal size, qreal scale, const QColor& backdrop) {
    const QRectF circle(glowMargin, glowMargin, size, size);
    paintGlow(painter, circle, color, isActive, size);
    const QColor disc = withAlpha(color, isActive ? 0.2 : 0.15);
    painter.setBrush(disc);
    painter.drawEllipse(circle);
    const qreal pointSize = size * 0.45;
    const QPixmap shadow =
        Symbols::pixmap(icon, pointSize, QColor(0, 0, 0, 38), scale, SymbolRole::kippetIcon);
    // The disc as it shows in the middle: the glow beneath it, the backdrop beneath both.
    const QColor seenDisc = Theme::over(disc, Theme::over(withAlpha(color, 0.25), backdrop));
    const QColor tint = withAlpha(color, isActive ? 1 : 0.65);
    const QColor legible = Theme::legibleOn(tint, seenDisc);
    const bool asItIs = Theme::over(tint, seenDisc).rgb() == legible.rgb();
    const QPixmap symbol =
        Symbols::pixmap(icon, pointSize, asItIs ? tint : legible, scale, SymbolRole::kippetIcon);
    QRectF target(QPointF(), symbol.deviceIndependentSize());
    target.moveCenter(circle.center());
    painter.drawPixmap(target.translated(0, 1), shadow, QRectF(shadow.rect()));
    painter.drawPixmap(target, symbol, QRectF(symbol.rect()));
}
