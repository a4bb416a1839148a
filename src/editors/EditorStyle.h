#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

class QPainter;
class QPointF;
class QWidget;

// Drawing helpers the editor panels and todo rows share; their fonts, colours and materials are
// the shared ones of ui/Theme.h.
namespace EditorStyle {
// A soft round shadow around a circle of `radius` centred at `centre`: `blur` wide, darkest
// (`alpha` black) at the circle's edge.
void paintCircleShadow(QPainter& painter, QPointF centre, double radius, double blur, double alpha);

// A symbol `points` tall in the colour, rendered for the widget's screen.
QPixmap symbol(const QString& name, double points, const QColor& color, const QWidget* widget);

// Clears the widget's own background so the panel's backdrop shows through.
void makeTransparent(QWidget* widget);
} // namespace EditorStyle
