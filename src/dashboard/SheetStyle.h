#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QPalette;
class QPainter;
class QRectF;

// The look the kippet sheets share: the text styles, named colours and materials they are drawn
// with, in the sizes of the desktop platform they were first drawn for (1 point = 1 pixel).
namespace SheetStyle {
enum class TextStyle { title2, title3, headline, subheadline, body, caption, caption2 };

QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);

bool isDark(const QPalette& palette);
// Text in the primary and secondary styles.
QColor primary(const QPalette& palette);
QColor secondary(const QPalette& palette);
QColor withAlpha(QColor color, double alpha);

// The platform's named colours.
QColor orange();
QColor red();
QColor yellow();
QColor green();
QColor blue();
QColor purple();

// A translucent fill that lets the sheet's own background show through.
void paintUltraThinMaterial(QPainter& painter, const QRectF& rect, qreal radius,
                            const QPalette& palette);

// The named symbol filled with `color`, `points` tall, at the device pixel ratio.
QPixmap symbol(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio);
} // namespace SheetStyle
