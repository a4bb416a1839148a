#include "window/LayoutSwitchButton.h"

#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>

namespace {
constexpr int side = 26;
constexpr qreal radius = 6;
} // namespace

LayoutSwitchButton::LayoutSwitchButton(ItemLayoutMode mode, QWidget* parent)
    : QAbstractButton(parent), mode_(mode) {
    setFixedSize(side, side);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setMode(mode);
}

void LayoutSwitchButton::setMode(ItemLayoutMode mode) {
    mode_ = mode;
    const QString help = mode == ItemLayoutMode::list ? QStringLiteral("Switch to grid view")
                                                      : QStringLiteral("Switch to list view");
    setToolTip(help);
    setAccessibleName(help);
    update();
}

QString LayoutSwitchButton::systemName() const {
    return mode_ == ItemLayoutMode::list ? SymbolNames::squareGrid2x2 : SymbolNames::listBullet;
}

QSize LayoutSwitchButton::sizeHint() const {
    return {side, side};
}

void LayoutSwitchButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    Theme::paintUltraThinMaterial(painter, bounds, radius, palette());
    painter.setPen(QPen(Theme::withAlpha(Theme::primary(palette()), 0.08), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(bounds, radius, radius);
    const QPixmap glyph =
        Symbols::pixmap(systemName(), 13, Theme::primary(palette()), devicePixelRatioF());
    QRectF target(QPointF(), glyph.deviceIndependentSize());
    target.moveCenter(QRectF(rect()).center());
    painter.drawPixmap(target, glyph, QRectF(glyph.rect()));
}
