#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
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

// A symbol the sheets draw themselves, `points` tall, filled with `color`.
QPixmap symbol(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio);
// A kippet's icon: an unknown name draws the kippet fallback.
QPixmap kippetIcon(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio);
// A button's symbol, drawn in the palette's button text colour.
QIcon buttonIcon(const QString& name, const QColor& color);
} // namespace SheetStyle
