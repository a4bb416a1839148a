#pragma once

#include <QList>
#include <QString>
#include <optional>

// How the dashboard lays out its kippets: cards in a grid, or rows in a list.
enum class DisplayMode { grid, list };

const QList<DisplayMode>& allDisplayModes();
// "Grid", "List".
QString rawValue(DisplayMode mode);
QString symbolName(DisplayMode mode);
std::optional<DisplayMode> displayModeFromRawValue(const QString& raw);
