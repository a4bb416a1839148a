#include "dashboard/DisplayMode.h"

const QList<DisplayMode>& allDisplayModes() {
    static const QList<DisplayMode> modes{DisplayMode::grid, DisplayMode::list};
    return modes;
}

QString rawValue(DisplayMode mode) {
    return mode == DisplayMode::grid ? QStringLiteral("Grid") : QStringLiteral("List");
}

QString symbolName(DisplayMode mode) {
    return mode == DisplayMode::grid ? QStringLiteral("square.grid.2x2")
                                     : QStringLiteral("list.bullet");
}

std::optional<DisplayMode> displayModeFromRawValue(const QString& raw) {
    for (DisplayMode mode : allDisplayModes())
        if (rawValue(mode) == raw)
            return mode;
    return std::nullopt;
}
