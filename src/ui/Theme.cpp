#include "ui/Theme.h"

#include "ui/Symbols.h"

namespace Theme {

QPixmap symbol(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio) {
    return Symbols::pixmap(name, points, color, devicePixelRatio, SymbolRole::ui);
}

QPixmap kippetIcon(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio) {
    return Symbols::pixmap(name, points, color, devicePixelRatio, SymbolRole::kippetIcon);
}

QIcon buttonIcon(const QString& name, const QColor& color) {
    return Symbols::icon(name, color);
}

} // namespace Theme
