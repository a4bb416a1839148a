#include "editors/EditorStyle.h"

#include "ui/Symbols.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QRadialGradient>
#include <QWidget>

namespace EditorStyle {

QFont font(double pixels, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(qRound(pixels));
    font.setWeight(weight);
    return font;
}

namespace {
bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}
} // namespace

QColor primary(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

QColor secondary(const QPalette& palette) {
    return withAlpha(primary(palette), isDark(palette) ? 0.55 : 0.5);
}

QColor tertiary(const QPalette& palette) {
    return withAlpha(primary(palette), isDark(palette) ? 0.25 : 0.26);
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(color.alphaF() * alpha));
    return color;
}

QColor green() {
    return QColor(52, 199, 89);
}

void paintCircleShadow(QPainter& painter, QPointF centre, double radius, double blur,
                       double alpha) {
    if (blur <= 0 || alpha <= 0)
        return;
    const double outer = radius + blur;
    QRadialGradient gradient(centre, outer);
    const double edge = radius / outer;
    gradient.setColorAt(0, QColor(0, 0, 0, 0));
    gradient.setColorAt(std::max(0.0, edge - 0.08), withAlpha(Qt::black, alpha));
    gradient.setColorAt(edge, withAlpha(Qt::black, alpha * 0.8));
    gradient.setColorAt(1, QColor(0, 0, 0, 0));
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(centre, outer, outer);
    painter.restore();
}

QPixmap symbol(const QString& name, double points, const QColor& color, const QWidget* widget) {
    return Symbols::pixmap(name, points, color, widget ? widget->devicePixelRatioF() : 1.0);
}

void makeTransparent(QWidget* widget) {
    widget->setAutoFillBackground(false);
    widget->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Window, Qt::transparent);
    widget->setPalette(palette);
}

} // namespace EditorStyle
