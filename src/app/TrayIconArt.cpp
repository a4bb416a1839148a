#include "app/TrayIconArt.h"

#include "ui/SymbolNames.h"
#include "ui/Symbols.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace {
const QString symbolName = SymbolNames::tray2Fill;
} // namespace

QImage TrayIconArt::image(int side) {
    // The outline is the dark symbol stamped around the light one; a tenth of the side keeps
    // it visible at 16 pixels without closing the symbol's gaps at 48.
    const int width = std::max(1, side / 10);
    const int inner = side - 2 * width;
    const QPixmap dark = Symbols::pixmapOfSide(symbolName, inner, QColor::fromRgba(outline), 1.0);
    const QPixmap light = Symbols::pixmapOfSide(symbolName, inner, QColor::fromRgba(fill), 1.0);
    QImage result(side, side, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    for (int dx = -width; dx <= width; ++dx) {
        for (int dy = -width; dy <= width; ++dy)
            painter.drawPixmap(width + dx, width + dy, dark);
    }
    painter.drawPixmap(width, width, light);
    painter.end();
    return result;
}

QIcon TrayIconArt::icon() {
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(image(side)));
    return icon;
}
