#include "dashboard/DisplayMode.h"

#include "ui/SymbolNames.h"

const QList<DisplayMode>& allDisplayModes() {
    static const QList<DisplayMode> modes{DisplayMode::grid, DisplayMode::list};
    return modes;
}

QString rawValue(DisplayMode mode) {
    return mode == DisplayMode::grid ? QStringLiteral("Grid") : QStringLiteral("List");
}

QString symbolName(DisplayMode mode) {
    return mode == DisplayMode::grid ? SymbolNames::squareGrid2x2 : SymbolNames::listBullet;
}

std::optional<DisplayMode> displayModeFromRawValue(const QString& raw) {
    for (DisplayMode mode : allDisplayModes())
        if (rawValue(mode) == raw)
            return mode;
    return std::nullopt;
}
