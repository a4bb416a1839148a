#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <optional>

// One edge of a screen; preferences, notifications and log lines carry its raw value.
enum class ScreenEdge { top, bottom, left, right };

// "Top", "Bottom", "Left" or "Right".
QString rawValue(ScreenEdge edge);
// Exactly one of the four raw values (case-sensitive); nothing for anything else.
std::optional<ScreenEdge> screenEdgeFromRaw(const QString& raw);
// top, bottom, left, right.
const QList<ScreenEdge>& allScreenEdges();

Q_DECLARE_METATYPE(ScreenEdge)
