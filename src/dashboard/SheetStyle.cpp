#include "dashboard/SheetStyle.h"

#include "ui/Symbols.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace SheetStyle {

QFont font(TextStyle style, QFont::Weight weight) {
    QFont font = QApplication::font();
    int pixels = 13;
    QFont::Weight styleWeight = QFont::Normal;
    switch (style) {
    case TextStyle::title2:
        pixels = 17;
        break;
    case TextStyle::title3:
        pixels = 15;
        break;
    case TextStyle::headline:
        pixels = 13;
        styleWeight = QFont::DemiBold;
        break;
    case TextStyle::subheadline:
        pixels = 11;
        break;
    case TextStyle::body:
        pixels = 13;
        break;
    case TextStyle::caption:
        pixels = 10;
        break;
    case TextStyle::caption2:
        pixels = 10;
        break;
    }
    font.setPixelSize(pixels);
    font.setWeight(weight == QFont::Normal ? styleWeight : weight);
    return font;
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor primary(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

QColor secondary(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::WindowText), isDark(palette) ? 0.55 : 0.5);
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(color.alphaF() * alpha));
    return color;
}

QColor orange() {
    return QColor(255, 149, 0);
}
QColor red() {
    return QColor(255, 59, 48);
}
QColor yellow() {
    return QColor(255, 204, 0);
}
QColor green() {
    return QColor(52, 199, 89);
}
QColor blue() {
    return QColor(0, 122, 255);
}
QColor purple() {
    return QColor(175, 82, 222);
}

void paintUltraThinMaterial(QPainter& painter, const QRectF& rect, qreal radius,
                            const QPalette& palette) {
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);
    const QColor tint = isDark(palette) ? QColor(255, 255, 255, 18) : QColor(255, 255, 255, 120);
    painter.fillPath(shape, tint);
}

QPixmap symbol(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio) {
    return Symbols::pixmap(name, points, color, devicePixelRatio, SymbolRole::ui);
}

QPixmap kippetIcon(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio) {
    return Symbols::pixmap(name, points, color, devicePixelRatio, SymbolRole::kippetIcon);
}

QIcon buttonIcon(const QString& name, const QColor& color) {
    return Symbols::icon(name, color);
}

} // namespace SheetStyle
