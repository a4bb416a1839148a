#pragma once

#include "ui/Materials.h"
#include "ui/NamedColors.h"
#include "ui/TypeScale.h"

#include <QIcon>
#include <QPixmap>
#include <QString>

// The look every window shares: the type scale, the named colours, the materials and the
// bundled symbols drawn in them. Window folders keep only their own layout numbers.
namespace Theme {
// A symbol the app draws itself, `points` tall, filled with `color`.
QPixmap symbol(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio);
// A kippet's icon: an unknown name draws the kippet fallback.
QPixmap kippetIcon(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio);
// A button's symbol in the colour, drawn at whatever size the button asks for.
QIcon buttonIcon(const QString& name, const QColor& color);
} // namespace Theme
