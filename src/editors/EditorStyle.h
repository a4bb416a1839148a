#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QPainter;
class QPalette;
class QPointF;
class QWidget;

// The look the editor panels and todo rows share, in the sizes of the desktop they were first
// drawn for: one point there is one logical pixel here, so fonts are set in pixels.
namespace EditorStyle {
QFont font(double pixels, QFont::Weight weight = QFont::Normal);

// Text colours of the primary, secondary and tertiary styles, from the widget's palette.
QColor primary(const QPalette& palette);
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
QColor withAlpha(QColor color, double alpha);
QColor green();

// A soft round shadow around a circle of `radius` centred at `centre`: `blur` wide, darkest
// (`alpha` black) at the circle's edge.
void paintCircleShadow(QPainter& painter, QPointF centre, double radius, double blur, double alpha);

// A symbol `points` tall in the colour, rendered for the widget's screen.
QPixmap symbol(const QString& name, double points, const QColor& color, const QWidget* widget);

// Clears the widget's own background so the panel's backdrop shows through.
void makeTransparent(QWidget* widget);
} // namespace EditorStyle
