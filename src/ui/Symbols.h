#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// What a symbol stands for decides where an unknown name ends up.
enum class SymbolRole {
    // A kippet's stored icon: names from older data quietly become "tray.fill".
    kippetIcon,
    // A symbol the app draws itself: an unknown one is a mistake, shown as "questionmark.circle"
    // and logged.
    ui,
};

// The bundled symbols, looked up by the system symbol names the app stores and draws ("tray.fill",
// "doc.text.fill"); the names stay the identity, the drawings come from the bundled set. GUI thread
// only: pixmaps are rendered on demand and kept in QPixmapCache.
class Symbols {
public:
    // Whether the name is bundled exactly as given.
    static bool contains(const QString& name);

    // The bundled name drawn for `name`: the name itself when bundled; else, for a ".fill" name,
    // its first component + ".fill"; else its leading components, dropping one dotted component
    // at a time; else the role's last resort.
    static QString resolve(const QString& name, SymbolRole role = SymbolRole::ui);

    // The resource holding a bundled name's drawing.
    static QString resourcePath(const QString& bundledName);

    // The symbol at `pointSize` points: a square of about 1.1 × pointSize logical pixels, rendered
    // for the device pixel ratio and filled with the colour (its alpha included).
    static QPixmap pixmap(const QString& name, qreal pointSize, const QColor& color,
                          qreal devicePixelRatio, SymbolRole role = SymbolRole::ui);

    // The symbol filling a square of `side` device pixels; `pixmap` in other units.
    static QPixmap pixmapOfSide(const QString& name, int side, const QColor& color,
                                qreal devicePixelRatio, SymbolRole role = SymbolRole::ui);

    // An icon that renders the symbol at whatever size and scale it is asked for; disabled, it
    // is drawn faded.
    static QIcon icon(const QString& name, const QColor& color, SymbolRole role = SymbolRole::ui);

private:
    static QString resolveUncached(const QString& name, SymbolRole role);
};
