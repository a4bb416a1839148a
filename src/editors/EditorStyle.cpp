#include "editors/EditorStyle.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPalette>
#include <QRadialGradient>
#include <QWidget>

namespace EditorStyle {

void paintCircleShadow(QPainter& painter, QPointF centre, double radius, double blur,
                       double alpha) {
    if (blur <= 0 || alpha <= 0)
        return;
    const double outer = radius + blur;
    QRadialGradient gradient(centre, outer);
    const double edge = radius / outer;
    gradient.setColorAt(0, QColor(0, 0, 0, 0));
    gradient.setColorAt(std::max(0.0, edge - 0.08), Theme::withAlpha(Qt::black, alpha));
    gradient.setColorAt(edge, Theme::withAlpha(Qt::black, alpha * 0.8));
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
