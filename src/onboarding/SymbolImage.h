#pragma once

#include <QImage>
#include <QString>

// The bundled symbol `name` as a square image `points` logical pixels wide at the given device
// pixel ratio, drawn in opaque white on transparent, ready to be filled by compositing.
QImage symbolMask(const QString& name, int points, qreal devicePixelRatio);

class QColor;
class QIcon;

// The symbol filled with one colour, as an icon for buttons.
QIcon symbolIcon(const QString& name, int points, const QColor& color, qreal devicePixelRatio);
